#include "einvoice/Rechnungsleser.h"

#include <QHash>
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

const QString UblRechnung = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:Invoice-2");
const QString UblGutschrift = QStringLiteral("urn:oasis:names:specification:ubl:schema:xsd:CreditNote-2");
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
        };
        if (const auto feld = einfach.value(p)) {
            setzeErstes(m_r.*feld, t);
            return;
        }
        if (p == QLatin1String("Note")) {
            m_r.notizen << t;
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

    // What a bookkeeper needs of every invoice.
    void pruefen(Leseergebnis &e) const
    {
        const QList<std::pair<const QString *, const char *>> pflicht{
            {&m_r.nummer, "BT-1 Rechnungsnummer"}, {&m_r.datum, "BT-2 Rechnungsdatum"},   {&m_r.typ, "BT-3 Rechnungsart"},
            {&m_r.waehrung, "BT-5 Währung"},       {&m_r.verkaeufer.name, "BT-27 Verkäufer"}, {&m_r.summeBrutto, "BT-112 Bruttobetrag"},
        };
        for (const auto &[feld, name] : pflicht)
            if (feld->isEmpty())
                e.befunde << QStringLiteral("%1 fehlt.").arg(QString::fromUtf8(name));
    }

    QXmlStreamReader m_xml;
    Art m_art = Art::Unbekannt;
    int m_tiefe = 0;
    QStringList m_pfad;
    QString m_text;
    QXmlStreamAttributes m_attribute;
    Rechnung m_r;
    std::pair<QString, QString> m_steuerId; // CompanyID, TaxScheme/ID
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
