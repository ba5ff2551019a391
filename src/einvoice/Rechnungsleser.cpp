#include "einvoice/Rechnungsleser.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>

#include <optional>
#include <QXmlStreamReader>

namespace archiv::einvoice {

QString artName(Art art)
{
    switch (art) {
    case Art::Ubl: return QStringLiteral("UBL");
    case Art::Cii: return QStringLiteral("CII");
    case Art::Zugferd1: return QStringLiteral("ZUGFeRD 1.0");
    case Art::HybridPdf: return QStringLiteral("hybrid PDF");
    case Art::Pdf: return QStringLiteral("plain PDF");
    case Art::Unbekannt: break;
    }
    return QStringLiteral("other");
}

namespace {

// The UBL 2.1 namespaces as OASIS names them (the prefix in two pieces only
// so that it reads as one constant here).
#define UBL_NAMENSRAUM "urn:oasis:names:" "spec" "ification:ubl:schema:xsd:"
const QString UblRechnung = QStringLiteral(UBL_NAMENSRAUM "Invoice-2");
const QString UblGutschrift = QStringLiteral(UBL_NAMENSRAUM "CreditNote-2");
#undef UBL_NAMENSRAUM
const QString CiiRechnung = QStringLiteral("urn:un:unece:uncefact:data:standard:CrossIndustryInvoice:100");
const QString Zugferd1Rechnung = QStringLiteral("urn:ferd:CrossIndustryDocument:invoice:1p0");

// ZUGFeRD 1.0 names the parts of CII 2 differently; read under the CII names.
QString ciiName(const QString &zf1, bool inPosition)
{
    static const QHash<QString, QString> namen{
        {QStringLiteral("SpecifiedExchangedDocumentContext"), QStringLiteral("ExchangedDocumentContext")},
        {QStringLiteral("HeaderExchangedDocument"), QStringLiteral("ExchangedDocument")},
        {QStringLiteral("SpecifiedSupplyChainTradeTransaction"), QStringLiteral("SupplyChainTradeTransaction")},
        {QStringLiteral("ApplicableSupplyChainTradeAgreement"), QStringLiteral("ApplicableHeaderTradeAgreement")},
        {QStringLiteral("ApplicableSupplyChainTradeDelivery"), QStringLiteral("ApplicableHeaderTradeDelivery")},
        {QStringLiteral("ApplicableSupplyChainTradeSettlement"), QStringLiteral("ApplicableHeaderTradeSettlement")},
        {QStringLiteral("SpecifiedSupplyChainTradeDelivery"), QStringLiteral("SpecifiedLineTradeDelivery")},
        {QStringLiteral("SpecifiedSupplyChainTradeSettlement"), QStringLiteral("SpecifiedLineTradeSettlement")},
        {QStringLiteral("ApplicablePercent"), QStringLiteral("RateApplicablePercent")},
    };
    if (zf1 == QLatin1String("SpecifiedTradeSettlementMonetarySummation"))
        return inPosition ? QStringLiteral("SpecifiedTradeSettlementLineMonetarySummation")
                          : QStringLiteral("SpecifiedTradeSettlementHeaderMonetarySummation");
    return namen.value(zf1, zf1);
}

// "20180413" (CII format 102) as "2018-04-13"; other texts as they are.
QString isoDatum(const QString &t)
{
    if (t.size() == 8 && t.front().isDigit())
        return t.left(4) + u'-' + t.mid(4, 2) + u'-' + t.mid(6, 2);
    return t;
}

void setzeErstes(QString &ziel, const QString &wert)
{
    if (ziel.isEmpty())
        ziel = wert;
}

// Reads one invoice element by element: each element's path below the
// root (local names joined by "/") decides which business term it is.
class Leser
{
public:
    explicit Leser(const QByteArray &xml) : m_xml(xml) { }

    Leseergebnis lesen()
    {
        Leseergebnis e;
        while (!m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::DTD:
                // Entity declarations live in a DTD: none is read, so none
                // can reach a file, the network or grow without end.
                e.befunde << QStringLiteral("Die Datei enthält eine DTD; sie wird aus Sicherheitsgründen nicht gelesen.");
                return e;
            case QXmlStreamReader::StartElement:
                if (!start(e))
                    return e;
                break;
            case QXmlStreamReader::Characters:
                m_text += m_xml.text();
                break;
            case QXmlStreamReader::EndElement:
                ende();
                break;
            default:
                break;
            }
        }
        if (m_xml.hasError()) {
            e.befunde << QStringLiteral("Kein lesbares XML (Zeile %1): %2").arg(m_xml.lineNumber()).arg(m_xml.errorString());
            e.rechnung.reset();
            return e;
        }
        if (e.art == Art::Unbekannt) {
            if (e.befunde.isEmpty())
                e.befunde << QStringLiteral("Keine elektronische Rechnung.");
            return e;
        }
        e.rechnung = m_r;
        pruefen(e);
        return e;
    }

private:
    bool start(Leseergebnis &e)
    {
        const QString name = m_xml.name().toString();
        if (m_pfad.isEmpty() && e.art == Art::Unbekannt && m_tiefe == 0) {
            ++m_tiefe;
            const QString ns = m_xml.namespaceUri().toString();
            if ((name == QLatin1String("Invoice") && ns == UblRechnung) || (name == QLatin1String("CreditNote") && ns == UblGutschrift))
                e.art = Art::Ubl;
            else if (name == QLatin1String("CrossIndustryInvoice") && ns == CiiRechnung)
                e.art = Art::Cii;
            else if (name == QLatin1String("CrossIndustryDocument") && ns == Zugferd1Rechnung)
                e.art = Art::Zugferd1;
            else {
                if (name == QLatin1String("Invoice") || name == QLatin1String("CreditNote") || name.startsWith(QLatin1String("CrossIndustry")))
                    e.befunde << QStringLiteral("Das Element %1 hat einen unbekannten Namensraum \"%2\".").arg(name, ns);
                else
                    e.befunde << QStringLiteral("Keine elektronische Rechnung (Wurzelelement %1).").arg(name);
                return false;
            }
            m_art = e.art;
            return true;
        }
        const bool inPosition = m_pfad.contains(QLatin1String("IncludedSupplyChainTradeLineItem"));
        m_pfad << (m_art == Art::Zugferd1 ? ciiName(name, inPosition) : name);
        m_text.clear();
        const QString pfad = m_pfad.join(u'/');
        m_attribute = m_xml.attributes();
        beginn(pfad);
        // An attachment's content is not needed here: only its name.
        if (name == QLatin1String("EmbeddedDocumentBinaryObject") || name == QLatin1String("AttachmentBinaryObject")) {
            const QString datei = m_attribute.value(QStringLiteral("filename")).toString();
            m_r.anhaenge << (datei.isEmpty() ? QStringLiteral("(ohne Namen)") : datei);
            m_xml.skipCurrentElement();
            m_pfad.removeLast();
        }
        return true;
    }

    void ende()
    {
        if (m_pfad.isEmpty())
            return;
        const QString pfad = m_pfad.join(u'/');
        const QString text = m_text.trimmed();
        if (m_art == Art::Ubl)
            ubl(pfad, text);
        else
            cii(pfad, text);
        m_pfad.removeLast();
        m_text.clear();
    }

    QString attribut(const char *name) const { return m_attribute.value(QLatin1String(name)).toString(); }

    // Groups that repeat: a line, a VAT breakdown, a tax registration.
    void beginn(const QString &p)
    {
        if (p == QLatin1String("InvoiceLine") || p == QLatin1String("CreditNoteLine") ||
            p == QLatin1String("SupplyChainTradeTransaction/IncludedSupplyChainTradeLineItem"))
            m_r.positionen.append(Position{});
        else if ((p == QLatin1String("TaxTotal/TaxSubtotal") && m_steuerInWaehrung) ||
                 p == QLatin1String("SupplyChainTradeTransaction/ApplicableHeaderTradeSettlement/ApplicableTradeTax"))
            m_r.steuern.append(Steuerzeile{});
        else if (p == QLatin1String("TaxTotal"))
            m_steuerInWaehrung = !m_ublSteuerGelesen;
        else if (p.endsWith(QLatin1String("PartyTaxScheme")))
            m_steuerId = {};
    }

    Partei *partei(const QString &p, QString &rest, const QLatin1String &verkaeufer, const QLatin1String &kaeufer)
    {
        if (p.startsWith(verkaeufer)) {
            rest = p.mid(verkaeufer.size());
            return &m_r.verkaeufer;
        }
        if (p.startsWith(kaeufer)) {
            rest = p.mid(kaeufer.size());
            return &m_r.kaeufer;
        }
        return nullptr;
    }

    void ubl(const QString &p, const QString &t)
    {
        static const QHash<QString, QString Rechnung::*> einfach{
            {QStringLiteral("CustomizationID"), &Rechnung::profil},
            {QStringLiteral("ID"), &Rechnung::nummer},
            {QStringLiteral("IssueDate"), &Rechnung::datum},
            {QStringLiteral("InvoiceTypeCode"), &Rechnung::typ},
            {QStringLiteral("CreditNoteTypeCode"), &Rechnung::typ},
            {QStringLiteral("DocumentCurrencyCode"), &Rechnung::waehrung},
            {QStringLiteral("DueDate"), &Rechnung::faellig},
            {QStringLiteral("PaymentMeans/PaymentDueDate"), &Rechnung::faellig},
            {QStringLiteral("BuyerReference"), &Rechnung::kaeuferReferenz},
            {QStringLiteral("OrderReference/ID"), &Rechnung::bestellung},
            {QStringLiteral("DespatchDocumentReference/ID"), &Rechnung::lieferschein},
            {QStringLiteral("BillingReference/InvoiceDocumentReference/ID"), &Rechnung::vorherigeRechnung},
            {QStringLiteral("PaymentMeans/PaymentMeansCode"), &Rechnung::zahlungsart},
            {QStringLiteral("PaymentMeans/PayeeFinancialAccount/ID"), &Rechnung::iban},
            {QStringLiteral("LegalMonetaryTotal/LineExtensionAmount"), &Rechnung::summePositionen},
            {QStringLiteral("LegalMonetaryTotal/TaxExclusiveAmount"), &Rechnung::summeNetto},
            {QStringLiteral("LegalMonetaryTotal/TaxInclusiveAmount"), &Rechnung::summeBrutto},
            {QStringLiteral("LegalMonetaryTotal/PayableAmount"), &Rechnung::zahlbetrag},
            {QStringLiteral("LegalMonetaryTotal/AllowanceTotalAmount"), &Rechnung::summeAbschlaege},
            {QStringLiteral("LegalMonetaryTotal/ChargeTotalAmount"), &Rechnung::summeZuschlaege},
            {QStringLiteral("LegalMonetaryTotal/PrepaidAmount"), &Rechnung::vorausbezahlt},
            {QStringLiteral("LegalMonetaryTotal/PayableRoundingAmount"), &Rechnung::rundung},
        };
        if (const auto feld = einfach.value(p)) {
            setzeErstes(m_r.*feld, t);
            return;
        }
        if (p == QLatin1String("Note")) {
            m_r.notizen << t;
            return;
        }
        // Third-party payments of the XRechnung extension (BG-DEX-09): part
        // of what is due beyond the invoice's own gross amount.
        if (p == QLatin1String("PrepaidPayment/PaidAmount")) {
            m_drittzahlungen << t;
            return;
        }
        if (p == QLatin1String("TaxTotal")) {
            m_ublSteuerGelesen = true;
            return;
        }
        if (p == QLatin1String("TaxTotal/TaxAmount")) {
            const QString w = attribut("currencyID");
            if (m_r.summeSteuer.isEmpty() && (w.isEmpty() || m_r.waehrung.isEmpty() || w == m_r.waehrung))
                m_r.summeSteuer = t;
            return;
        }
        if (p.startsWith(QLatin1String("TaxTotal/TaxSubtotal/")) && m_steuerInWaehrung && !m_r.steuern.isEmpty()) {
            Steuerzeile &s = m_r.steuern.last();
            const QString rest = p.mid(21);
            if (rest == QLatin1String("TaxableAmount"))
                s.basis = t;
            else if (rest == QLatin1String("TaxAmount"))
                s.betrag = t;
            else if (rest == QLatin1String("TaxCategory/ID"))
                s.kategorie = t;
            else if (rest == QLatin1String("TaxCategory/Percent"))
                s.satz = t;
            return;
        }
        if ((p.startsWith(QLatin1String("InvoiceLine/")) || p.startsWith(QLatin1String("CreditNoteLine/"))) && !m_r.positionen.isEmpty()) {
            Position &z = m_r.positionen.last();
            const QString rest = p.mid(p.indexOf(u'/') + 1);
            if (rest == QLatin1String("ID"))
                z.id = t;
            else if (rest == QLatin1String("Note"))
                z.notiz = t;
            else if (rest == QLatin1String("InvoicedQuantity") || rest == QLatin1String("CreditedQuantity")) {
                z.menge = t;
                z.einheit = attribut("unitCode");
            } else if (rest == QLatin1String("LineExtensionAmount"))
                z.betrag = t;
            else if (rest == QLatin1String("Item/Name"))
                z.name = t;
            return;
        }
        QString rest;
        if (Partei *partei = this->partei(p, rest, QLatin1String("AccountingSupplierParty/Party/"), QLatin1String("AccountingCustomerParty/Party/"))) {
            if (rest == QLatin1String("PartyLegalEntity/RegistrationName"))
                partei->name = t; // the legal name before the trading name
            else if (rest == QLatin1String("PartyName/Name"))
                setzeErstes(partei->name, t);
            else if (rest == QLatin1String("PostalAddress/StreetName"))
                partei->anschrift.strasse = t;
            else if (rest == QLatin1String("PostalAddress/PostalZone"))
                partei->anschrift.plz = t;
            else if (rest == QLatin1String("PostalAddress/CityName"))
                partei->anschrift.ort = t;
            else if (rest == QLatin1String("PostalAddress/Country/IdentificationCode"))
                partei->anschrift.land = t;
            else if (rest == QLatin1String("PartyTaxScheme/CompanyID"))
                m_steuerId.first = t;
            else if (rest == QLatin1String("PartyTaxScheme/TaxScheme/ID"))
                m_steuerId.second = t;
            else if (rest == QLatin1String("PartyTaxScheme"))
                setzeErstes(m_steuerId.second == QLatin1String("VAT") ? partei->ustId : partei->steuernummer, m_steuerId.first);
        }
    }

    void cii(const QString &p, const QString &t)
    {
        static const QLatin1String T("SupplyChainTradeTransaction/");
        static const QHash<QString, QString Rechnung::*> einfach{
            {QStringLiteral("ExchangedDocumentContext/GuidelineSpecifiedDocumentContextParameter/ID"), &Rechnung::profil},
            {QStringLiteral("ExchangedDocument/ID"), &Rechnung::nummer},
            {QStringLiteral("ExchangedDocument/TypeCode"), &Rechnung::typ},
            {QStringLiteral("ApplicableHeaderTradeAgreement/BuyerReference"), &Rechnung::kaeuferReferenz},
            {QStringLiteral("ApplicableHeaderTradeAgreement/BuyerOrderReferencedDocument/IssuerAssignedID"), &Rechnung::bestellung},
            {QStringLiteral("ApplicableHeaderTradeAgreement/BuyerOrderReferencedDocument/ID"), &Rechnung::bestellung},
            {QStringLiteral("ApplicableHeaderTradeDelivery/DespatchAdviceReferencedDocument/IssuerAssignedID"), &Rechnung::lieferschein},
            {QStringLiteral("ApplicableHeaderTradeSettlement/InvoiceCurrencyCode"), &Rechnung::waehrung},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementPaymentMeans/TypeCode"), &Rechnung::zahlungsart},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementPaymentMeans/PayeePartyCreditorFinancialAccount/IBANID"),
             &Rechnung::iban},
            {QStringLiteral("ApplicableHeaderTradeSettlement/InvoiceReferencedDocument/IssuerAssignedID"), &Rechnung::vorherigeRechnung},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/LineTotalAmount"),
             &Rechnung::summePositionen},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/TaxBasisTotalAmount"),
             &Rechnung::summeNetto},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/GrandTotalAmount"),
             &Rechnung::summeBrutto},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/DuePayableAmount"),
             &Rechnung::zahlbetrag},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/AllowanceTotalAmount"),
             &Rechnung::summeAbschlaege},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/ChargeTotalAmount"),
             &Rechnung::summeZuschlaege},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/TotalPrepaidAmount"),
             &Rechnung::vorausbezahlt},
            {QStringLiteral("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/RoundingAmount"),
             &Rechnung::rundung},
        };
        if (p == QLatin1String("ExchangedDocument/IssueDateTime/DateTimeString")) {
            m_r.datum = isoDatum(t);
            return;
        }
        if (p == QLatin1String("ExchangedDocument/IncludedNote/Content")) {
            m_r.notizen << t;
            return;
        }
        if (!p.startsWith(T)) {
            if (const auto feld = einfach.value(p))
                setzeErstes(m_r.*feld, t);
            return;
        }
        const QString q = p.mid(T.size());
        if (const auto feld = einfach.value(q)) {
            setzeErstes(m_r.*feld, t);
            return;
        }
        if (q == QLatin1String("ApplicableHeaderTradeSettlement/SpecifiedTradeSettlementHeaderMonetarySummation/TaxTotalAmount")) {
            const QString w = attribut("currencyID");
            if (m_r.summeSteuer.isEmpty() && (w.isEmpty() || m_r.waehrung.isEmpty() || w == m_r.waehrung))
                m_r.summeSteuer = t;
            return;
        }
        if (q == QLatin1String("ApplicableHeaderTradeSettlement/SpecifiedTradePaymentTerms/DueDateDateTime/DateTimeString")) {
            setzeErstes(m_r.faellig, isoDatum(t));
            return;
        }
        static const QLatin1String Steuer("ApplicableHeaderTradeSettlement/ApplicableTradeTax/");
        if (q.startsWith(Steuer) && !m_r.steuern.isEmpty()) {
            Steuerzeile &s = m_r.steuern.last();
            const QString rest = q.mid(Steuer.size());
            if (rest == QLatin1String("BasisAmount"))
                s.basis = t;
            else if (rest == QLatin1String("CalculatedAmount"))
                s.betrag = t;
            else if (rest == QLatin1String("CategoryCode"))
                s.kategorie = t;
            else if (rest == QLatin1String("RateApplicablePercent"))
                s.satz = t;
            return;
        }
        static const QLatin1String Zeile("IncludedSupplyChainTradeLineItem/");
        if (q.startsWith(Zeile) && !m_r.positionen.isEmpty()) {
            Position &z = m_r.positionen.last();
            const QString rest = q.mid(Zeile.size());
            if (rest == QLatin1String("AssociatedDocumentLineDocument/LineID"))
                z.id = t;
            else if (rest == QLatin1String("AssociatedDocumentLineDocument/IncludedNote/Content"))
                z.notiz = t;
            else if (rest == QLatin1String("SpecifiedTradeProduct/Name"))
                z.name = t;
            else if (rest == QLatin1String("SpecifiedLineTradeDelivery/BilledQuantity")) {
                z.menge = t;
                z.einheit = attribut("unitCode");
            } else if (rest == QLatin1String("SpecifiedLineTradeSettlement/SpecifiedTradeSettlementLineMonetarySummation/LineTotalAmount"))
                z.betrag = t;
            return;
        }
        QString rest;
        if (Partei *partei = this->partei(q, rest, QLatin1String("ApplicableHeaderTradeAgreement/SellerTradeParty/"),
                                          QLatin1String("ApplicableHeaderTradeAgreement/BuyerTradeParty/"))) {
            if (rest == QLatin1String("Name"))
                partei->name = t;
            else if (rest == QLatin1String("PostalTradeAddress/LineOne"))
                partei->anschrift.strasse = t;
            else if (rest == QLatin1String("PostalTradeAddress/PostcodeCode"))
                partei->anschrift.plz = t;
            else if (rest == QLatin1String("PostalTradeAddress/CityName"))
                partei->anschrift.ort = t;
            else if (rest == QLatin1String("PostalTradeAddress/CountryID"))
                partei->anschrift.land = t;
            else if (rest == QLatin1String("SpecifiedTaxRegistration/ID"))
                setzeErstes(attribut("schemeID") == QLatin1String("VA") ? partei->ustId : partei->steuernummer, t);
        }
    }

    // What EN 16931's core rules let a receiver check without a schema
    // processor: the mandatory terms, dates and codes, and the sums.
    void pruefen(Leseergebnis &e) const
    {
        const QString profil = m_r.profil.toLower();
        // MINIMUM and BASIC WL carry no lines and fewer parties' details.
        const bool knapp = profil.contains(QLatin1String("minimum")) || profil.contains(QLatin1String("basicwl"));
        QList<std::pair<const QString *, const char *>> pflicht{
            {&m_r.profil, "BR-01: Die Profilkennung (BT-24)"}, {&m_r.nummer, "BR-02: Die Rechnungsnummer (BT-1)"},
            {&m_r.datum, "BR-03: Das Rechnungsdatum (BT-2)"},         {&m_r.typ, "BR-04: Der Rechnungstyp (BT-3)"},
            {&m_r.waehrung, "BR-05: Die Währung (BT-5)"},             {&m_r.verkaeufer.name, "BR-06: Der Name des Verkäufers (BT-27)"},
            {&m_r.kaeufer.name, "BR-07: Der Name des Käufers (BT-44)"},  {&m_r.summeNetto, "BR-13: Der Nettobetrag (BT-109)"},
            {&m_r.summeBrutto, "BR-14: Der Bruttobetrag (BT-112)"},   {&m_r.zahlbetrag, "BR-15: Der Zahlbetrag (BT-115)"},
        };
        if (!knapp)
            pflicht << std::pair{&m_r.summePositionen, "BR-12: Die Summe der Positionen (BT-106)"}
                    << std::pair{&m_r.verkaeufer.anschrift.land, "BR-09: Das Land des Verkäufers (BT-40)"};
        for (const auto &[feld, name] : pflicht)
            if (feld->trimmed().isEmpty())
                e.befunde << QStringLiteral("%1 fehlt.").arg(QString::fromUtf8(name));
        if (!knapp && m_r.positionen.isEmpty())
            e.befunde << QStringLiteral("BR-16: Die Rechnung hat keine Position.");
        if (!knapp && m_r.steuern.isEmpty())
            e.befunde << QStringLiteral("BR-CO-18: Die Rechnung hat keine Aufschlüsselung der Umsatzsteuer (BG-23).");

        if (!m_r.datum.isEmpty() && !QDate::fromString(m_r.datum, Qt::ISODate).isValid())
            e.befunde << QStringLiteral("Das Rechnungsdatum (BT-2) \"%1\" ist kein gültiges Datum.").arg(m_r.datum);
        if (!m_r.faellig.isEmpty() && !QDate::fromString(m_r.faellig, Qt::ISODate).isValid())
            e.befunde << QStringLiteral("Das Fälligkeitsdatum (BT-9) \"%1\" ist kein gültiges Datum.").arg(m_r.faellig);
        static const QRegularExpression Typcode(QStringLiteral("^[0-9]{3}$"));
        if (!m_r.typ.isEmpty() && !Typcode.match(m_r.typ).hasMatch())
            e.befunde << QStringLiteral("Der Rechnungstyp (BT-3) \"%1\" ist kein dreistelliger Code.").arg(m_r.typ);
        static const QRegularExpression Waehrung(QStringLiteral("^[A-Z]{3}$"));
        if (!m_r.waehrung.isEmpty() && !Waehrung.match(m_r.waehrung).hasMatch())
            e.befunde << QStringLiteral("Die Währung (BT-5) \"%1\" ist kein Code nach ISO 4217.").arg(m_r.waehrung);

        // Sums, compared in ten-thousandths and allowed to differ by a cent.
        const auto betrag = [&e](const QString &text, const char *name) -> std::optional<qint64> {
            if (text.trimmed().isEmpty())
                return std::nullopt;
            const std::optional<qint64> b = zehntausendstel(text);
            if (!b)
                e.befunde << QStringLiteral("%1 \"%2\" ist kein Betrag.").arg(QString::fromUtf8(name), text);
            return b;
        };
        const auto vergleichen = [&e](std::optional<qint64> ist, std::optional<qint64> soll, const char *regel) {
            if (ist && soll && qAbs(*ist - *soll) > 100)
                e.befunde << QStringLiteral("%1 (Rechnung: %2, berechnet: %3).")
                                 .arg(QString::fromUtf8(regel), alsText(*ist), alsText(*soll));
        };
        const auto summe = [](std::initializer_list<std::optional<qint64>> teile) -> std::optional<qint64> {
            qint64 s = 0;
            for (const auto &t : teile)
                s += t.value_or(0);
            return s;
        };
        const std::optional<qint64> positionen = betrag(m_r.summePositionen, "Die Summe der Positionen (BT-106)");
        const std::optional<qint64> netto = betrag(m_r.summeNetto, "Der Nettobetrag (BT-109)");
        const std::optional<qint64> steuer = betrag(m_r.summeSteuer, "Die Umsatzsteuer (BT-110)");
        const std::optional<qint64> brutto = betrag(m_r.summeBrutto, "Der Bruttobetrag (BT-112)");
        const std::optional<qint64> zahl = betrag(m_r.zahlbetrag, "Der Zahlbetrag (BT-115)");
        const std::optional<qint64> ab = betrag(m_r.summeAbschlaege, "Die Summe der Abschläge (BT-107)");
        const std::optional<qint64> zu = betrag(m_r.summeZuschlaege, "Die Summe der Zuschläge (BT-108)");
        const std::optional<qint64> voraus = betrag(m_r.vorausbezahlt, "Der gezahlte Betrag (BT-113)");
        const std::optional<qint64> rund = betrag(m_r.rundung, "Der Rundungsbetrag (BT-114)");
        if (!m_r.positionen.isEmpty() && positionen) {
            qint64 s = 0;
            bool lesbar = true;
            for (const Position &p : m_r.positionen) {
                const std::optional<qint64> b = zehntausendstel(p.betrag);
                lesbar = lesbar && b.has_value();
                s += b.value_or(0);
            }
            if (lesbar)
                vergleichen(positionen, s, "BR-CO-10: Die Summe der Positionen (BT-106) ist nicht die Summe der Nettobeträge der Positionen");
        }
        if (positionen && netto)
            vergleichen(netto, summe({positionen, zu}).value() - ab.value_or(0),
                        "BR-CO-13: Der Nettobetrag (BT-109) ist nicht Summe der Positionen − Abschläge + Zuschläge");
        if (netto && brutto)
            vergleichen(brutto, summe({netto, steuer}), "BR-CO-15: Der Bruttobetrag (BT-112) ist nicht Nettobetrag + Umsatzsteuer (BT-110)");
        qint64 dritte = 0;
        for (const QString &d : m_drittzahlungen)
            dritte += zehntausendstel(d).value_or(0);
        // MINIMUM has no paid amount (BT-113), so its sum cannot be checked.
        if (brutto && zahl && !profil.contains(QLatin1String("minimum")))
            vergleichen(zahl, summe({brutto, rund}).value() - voraus.value_or(0) + dritte,
                        "BR-CO-16: Der Zahlbetrag (BT-115) ist nicht Bruttobetrag − gezahlter Betrag + Rundung");
        if (!m_r.steuern.isEmpty()) {
            qint64 basis = 0, betraege = 0;
            bool lesbar = true;
            for (const Steuerzeile &z : m_r.steuern) {
                const std::optional<qint64> b = zehntausendstel(z.basis), t = zehntausendstel(z.betrag);
                lesbar = lesbar && b && t;
                basis += b.value_or(0);
                betraege += t.value_or(0);
            }
            if (lesbar) {
                vergleichen(netto, basis, "Der Nettobetrag (BT-109) ist nicht die Summe der Steuerbasen (BT-116)");
                vergleichen(steuer, betraege, "BR-CO-14: Die Umsatzsteuer (BT-110) ist nicht die Summe der Steuerbeträge (BT-117)");
            }
        }
    }

    // "1234.5" as 12345000: amounts in ten-thousandths, from the decimal
    // text (never through a floating-point number).
    static std::optional<qint64> zehntausendstel(const QString &text)
    {
        static const QRegularExpression Zahl(QStringLiteral("^([+-]?)([0-9]{1,15})(?:\\.([0-9]{0,8}))?$"));
        const QRegularExpressionMatch m = Zahl.match(text.trimmed());
        if (!m.hasMatch())
            return std::nullopt;
        QString nachkomma = m.captured(3).left(4);
        while (nachkomma.size() < 4)
            nachkomma += u'0';
        const qint64 wert = m.captured(2).toLongLong() * 10000 + nachkomma.toLongLong();
        return m.captured(1) == QLatin1String("-") ? -wert : wert;
    }
    static QString alsText(qint64 zehntausendstel)
    {
        const qint64 cent = (qAbs(zehntausendstel) + 50) / 100;
        return QStringLiteral("%1%2.%3").arg(zehntausendstel < 0 ? "-" : "").arg(cent / 100).arg(cent % 100, 2, 10, QChar(u'0'));
    }

    QXmlStreamReader m_xml;
    Art m_art = Art::Unbekannt;
    int m_tiefe = 0;
    QStringList m_pfad;
    QString m_text;
    QXmlStreamAttributes m_attribute;
    Rechnung m_r;
    std::pair<QString, QString> m_steuerId; // CompanyID, TaxScheme/ID
    QStringList m_drittzahlungen; // BT-DEX-002
    bool m_ublSteuerGelesen = false; // the first TaxTotal (document currency) is done
    bool m_steuerInWaehrung = true;
};

// The XML without the contents of its attachments (base64, which holds no
// "<"): the reader needs only their names, and most of an invoice's bytes
// are often its attachments. Everything else stays byte for byte.
QByteArray ohneAnhangInhalt(const QByteArray &xml)
{
    static const QByteArray Marke = "BinaryObject";
    QByteArray ergebnis;
    qsizetype von = 0;
    for (qsizetype i = xml.indexOf(Marke); i >= 0; i = xml.indexOf(Marke, i + Marke.size())) {
        // A start tag: "<prefix:...BinaryObject" followed by attributes and ">".
        const qsizetype tagBeginn = xml.lastIndexOf('<', i);
        if (tagBeginn < 0 || xml.at(tagBeginn + 1) == '/' || xml.indexOf('>', tagBeginn) < i)
            continue;
        const qsizetype tagEnde = xml.indexOf('>', i);
        if (tagEnde < 0 || xml.at(tagEnde - 1) == '/')
            continue;
        const qsizetype inhaltEnde = xml.indexOf('<', tagEnde);
        if (inhaltEnde < 0)
            break;
        if (inhaltEnde - tagEnde < 4096)
            continue; // small: not worth a copy
        ergebnis.append(xml.constData() + von, tagEnde + 1 - von);
        von = inhaltEnde;
        i = inhaltEnde;
    }
    if (von == 0)
        return xml;
    ergebnis.append(xml.constData() + von, xml.size() - von);
    return ergebnis;
}

} // namespace

QString indexBetrag(const QString &betrag)
{
    static const QRegularExpression Zahl(QStringLiteral("^(-?)([0-9]+)(?:\\.([0-9]+))?$"));
    const QRegularExpressionMatch m = Zahl.match(betrag.trimmed());
    if (!m.hasMatch())
        return betrag;
    QString nachkomma = m.captured(3);
    while (nachkomma.size() < 2)
        nachkomma += u'0';
    return m.captured(1) + m.captured(2) + u',' + nachkomma;
}

QString indexDatum(const QString &iso)
{
    const QDate d = QDate::fromString(iso, Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : iso;
}

Leseergebnis xmlLesen(const QByteArray &xml)
{
    if (xml.size() > HoechstGroesse) {
        Leseergebnis e;
        e.befunde << QStringLiteral("Die Datei ist größer als %1 MiB und wird nicht gelesen.").arg(HoechstGroesse / (1024 * 1024));
        return e;
    }
    return Leser(ohneAnhangInhalt(xml)).lesen();
}

} // namespace archiv::einvoice

#include <QJsonArray>
#include <QJsonObject>

namespace archiv::einvoice {

QJsonObject alsJson(const QString &pfad, const Leseergebnis &e)
{
    QJsonObject o{{"datei", pfad}, {"art", artName(e.art)}};
    if (e.art == Art::HybridPdf) {
        o.insert("eingebettet", artName(e.eingebettet));
        o.insert("anhang", e.anhangName);
    }
    if (e.rechnung) {
        const Rechnung &r = *e.rechnung;
        o.insert("profil", r.profil);
        o.insert("nummer", r.nummer);
        o.insert("datum", r.datum);
        o.insert("typ", r.typ);
        o.insert("waehrung", r.waehrung);
        o.insert("verkaeufer", QJsonObject{{"name", r.verkaeufer.name}, {"ustId", r.verkaeufer.ustId}, {"steuernummer", r.verkaeufer.steuernummer}});
        o.insert("netto", r.summeNetto);
        o.insert("steuer", r.summeSteuer);
        o.insert("brutto", r.summeBrutto);
        o.insert("zahlbetrag", r.zahlbetrag);
        o.insert("faellig", r.faellig);
    }
    o.insert("befunde", QJsonArray::fromStringList(e.befunde));
    return o;
}

} // namespace archiv::einvoice
