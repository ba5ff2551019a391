// Received files in the editor: taken in with "Datei…" or dropped on the page
// view, shown read-only (a PDF in colour, an e-invoice as the readable
// invoice), and saved unchanged as document elements of the Beleg.
#include "editor/Bild.h"

#include "app/Dateiauswahl.h"
#include "app/Sanduhr.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Original.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "editor/Doksliste.h"
#include "einvoice/Ansicht.h"
#include "editor/Seitenansicht.h"
#include "imaging/Seite.h"
#include "app/DatumFeld.h"
#include "app/Eigenschaftszeilen.h"
#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QCoreApplication>
#include <QDate>
#include <QComboBox>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

namespace archiv::editor {

using namespace archiv::common;

namespace {

// The resolution a received original is drawn at for the screen.
int bildschirmDpi(const QWidget *w)
{
    return qBound(96, qRound(w->logicalDpiX() * w->devicePixelRatioF() * 1.25), 200);
}

} // namespace

bool istOriginalElement(const QString &doktyp, const QString &dateiname)
{
    // Pages the archive wrote itself are "tif" or "pdf" without a name;
    // every other kind, and any named file, came as it is.
    return !dateiname.isEmpty() || (!doktyp.isEmpty() && doktyp != doktyp::Tif && doktyp != doktyp::Pdf);
}

QString Bild::originalSperrText()
{
    return QStringLiteral("Ein empfangenes Original bleibt, wie es ankam: seine Seiten lassen sich nicht drehen, löschen oder verschieben.");
}

void Bild::dateiWaehlen()
{
    const QStringList pfade = app::empfangeneDateienWaehlen(this, QStringLiteral("Dateien ins Archiv übernehmen"));
    if (!pfade.isEmpty())
        dateienAufnehmen(pfade);
}

void Bild::dateienAufnehmen(const QStringList &pfade)
{
    if (global::Modus != modus::Bearbeiten || pfade.isEmpty())
        return;
    // Pages scanned and not saved are not dropped without a word.
    if (global::Geaendert && !zeigtOriginal()) {
        if (!nachfrageSpeichern())
            return;
        global::Geaendert = false;
    }
    QStringList abgelehnt;
    QList<einvoice::Original> neu;
    {
        const app::Sanduhr sanduhr;
        for (const QString &pfad : pfade) {
            original::Datei d = original::lesen(pfad);
            if (!d.gelesen()) {
                abgelehnt << d.fehler;
                continue;
            }
            neu.append(einvoice::original(d.name, d.doktyp, std::move(d.inhalt)));
        }
    }
    // The first e-invoice of a new Beleg fills in its type, date and values;
    // one archived already is not taken a second time.
    if (!neu.isEmpty() && global::DokId.isEmpty() && m_neueOriginale.isEmpty() && m_image1->seiten().istLeer()) {
        try {
            if (!rechnungsdatenUebernehmen(neu.constFirst())) {
                neu.removeFirst();
                if (neu.isEmpty() || !global::DokId.isEmpty()) {
                    Zustand();
                    return;
                }
            }
        } catch (const server::ServerFehler &e) {
            meldung(HauptTitel, QStringLiteral("Die Rechnungsdaten ließen sich nicht zuordnen.\n") + e.meldung(), MeldungsSymbol::Ausruf);
        }
    }
    for (einvoice::Original &o : neu)
        originalVormerken(std::move(o));
    if (!abgelehnt.isEmpty())
        meldung(HauptTitel, QStringLiteral("Nicht übernommen:\n") + abgelehnt.join(u'\n'), MeldungsSymbol::Ausruf);
    Zustand();
}

int Bild::zeileMitCode(int code) const
{
    for (int i = 1; i <= global::EigenAnz; ++i)
        if (global::EigenId[size_t(i)] == code)
            return i;
    return 0;
}

bool Bild::rechnungsdatenUebernehmen(const einvoice::Original &o)
{
    if (!o.istRechnung())
        return true;
    const einvoice::Rechnung &r = *o.lesung->rechnung;
    const server::MethodenErgebnis z =
        global::Archivverbindung->ClassMethods(QStringLiteral("AR.Dokumente"))
            .call(QStringLiteral("ERechnung"), {m_firma, r.typ, r.verkaeufer.ustId, r.verkaeufer.steuernummer, r.verkaeufer.name.left(200),
                                                r.verkaeufer.anschrift.plz.left(200), r.nummer.left(200), r.bestellung.left(200),
                                                r.lieferschein.left(200)});
    QList<std::pair<QString, QString>> lieferanten;
    bool bestellungDa = false, lieferscheinDa = false;
    QString belart;
    for (int n = 1; n <= z.Count(); ++n) {
        const QStringList t = z.element(n).split(u'|');
        if (t.at(0) == QLatin1String("T") && t.size() >= 2)
            belart = t.at(1);
        if (t.at(0) == QLatin1String("D") && t.size() >= 5) {
            const QString datum = QDate::fromString(t.at(4).left(10), Qt::ISODate).toString(QStringLiteral("dd.MM.yyyy"));
            // The same invoice by e-mail and on paper: archived once.
            const Antwort a = meldung(HauptTitel,
                                      QStringLiteral("Rechnung bereits archiviert als %1 %2 vom %3\n\nDen Beleg öffnen?").arg(t.at(2), t.at(3), datum),
                                      MeldungsSymbol::Information, MeldungsKnoepfe::JaNein);
            if (a == Antwort::Ja)
                belegLaden(t.at(1), true, Dokumentwahl::Neuestes);
            return false;
        }
        if (t.at(0) == QLatin1String("L") && t.size() >= 3)
            lieferanten.append({t.at(1), t.mid(2).join(u'|')});
        bestellungDa = bestellungDa || t.at(0) == QLatin1String("B");
        lieferscheinDa = lieferscheinDa || t.at(0) == QLatin1String("S");
    }
    if (!belart.isEmpty() && m_belart->findData(belart) >= 0) {
        m_belart->setCurrentIndex(m_belart->findData(belart));
        Belart_Click();
    }
    // The number comes from the type's label counter when the Beleg is saved.
    m_belnr->clear();
    m_belnr->setPlaceholderText(QStringLiteral("wird vergeben"));
    m_nummerVergeben = true;
    const QDate datum = QDate::fromString(r.datum, Qt::ISODate);
    if (datum.isValid())
        m_beldat->setzeDatum(datum);
    const QList<std::pair<int, QString>> werte{{eigenschaft::Rechnungsnummer, r.nummer},
                                               {eigenschaft::Bruttobetrag, einvoice::indexBetrag(r.summeBrutto)},
                                               {eigenschaft::Nettobetrag, einvoice::indexBetrag(r.summeNetto)},
                                               {eigenschaft::Steuerbetrag, einvoice::indexBetrag(r.summeSteuer)},
                                               {eigenschaft::Waehrung, r.waehrung},
                                               {eigenschaft::Faelligkeit, einvoice::indexDatum(r.faellig)},
                                               {eigenschaft::Kaeuferreferenz, r.kaeuferReferenz},
                                               {eigenschaft::Bestellung, bestellungDa ? r.bestellung : QString()},
                                               {eigenschaft::Lieferschein, lieferscheinDa ? r.lieferschein : QString()}};
    for (const auto &[code, wert] : werte)
        if (const int i = zeileMitCode(code); i > 0 && !wert.isEmpty())
            m_zeilen->setzen(i, wert);
    if (const int i = zeileMitCode(eigenschaft::Lieferant); i > 0) {
        if (lieferanten.size() == 1) {
            m_zeilen->setzen(i, lieferanten.first().first);
        } else {
            // None or several fit: the user picks with the supplier lookup.
            meldung(HauptTitel,
                    (lieferanten.isEmpty() ? QStringLiteral("Den Lieferanten \"%1\" (USt-IdNr. %2) gibt es in den Stammdaten nicht.")
                                           : QStringLiteral("Zum Lieferanten \"%1\" (USt-IdNr. %2) passen mehrere Einträge der Stammdaten."))
                            .arg(r.verkaeufer.name, r.verkaeufer.ustId.isEmpty() ? QStringLiteral("keine") : r.verkaeufer.ustId) +
                        QStringLiteral("\nBitte den Lieferanten auswählen."),
                    MeldungsSymbol::Information);
            eigenSuchen(i);
        }
    }
    return true;
}

void Bild::originalVormerken(einvoice::Original o, bool zeigen)
{
    {
        const QSignalBlocker sperre(m_doks);
        global::DokAnz += 1;
        m_doks->setzen(global::DokAnz - 1, global::DokAnz, QDate::currentDate().toString(Qt::ISODate), QStringLiteral("neu: ") + o.name,
                       o.doktyp);
        m_neueOriginale.insert(global::DokAnz, std::move(o));
        if (zeigen)
            global::AktDok = global::DokAnz;
        m_doks->setCurrentIndex(global::AktDok - 1);
    }
    global::Geaendert = true;
    // Pages in the view that are not saved yet stay in it.
    if (!zeigen)
        return;
    tabZeigen(QStringLiteral("dokument"));
    originalInAnsicht(m_neueOriginale.value(global::AktDok));
}

void Bild::originalInAnsicht(const einvoice::Original &o)
{
    m_image1->leeren();
    m_original = o;
    try {
        const app::Sanduhr sanduhr;
        einvoice::Bildschirmseiten b = einvoice::bildschirmseiten(o, bildschirmDpi(this));
        for (const imaging::KodierteSeite &s : std::as_const(b.seiten))
            m_image1->seiten().einfuegen(m_image1->seiten().anzahl(), s);
        m_image1->farbeSetzen(std::move(b.farbe));
    } catch (const imaging::BildFehler &e) {
        // The file stays as it came (and is saved as it is); it just cannot
        // be shown here.
        m_image1->leeren();
        meldung(HauptTitel, QStringLiteral("Das Dokument kann nicht angezeigt werden.\n") + QString::fromUtf8(e.what()),
                MeldungsSymbol::Ausruf);
    }
    hinweisZeigen();
    ansichtZeigen();
}

void Bild::hinweisZeigen()
{
    const QString bericht = m_original ? m_original->bericht() : QString();
    const bool rechnung = m_original && m_original->istRechnung();
    m_hinweis->setVisible(!bericht.isEmpty());
    m_hinweis->setText(rechnung ? QString::fromUtf8(einvoice::MitHinweisen) : QStringLiteral("Keine lesbare E-Rechnung"));
    m_hinweis->setToolTip(bericht);
    layoutAnwenden();
}

void Bild::originaleVerwerfen()
{
    if (m_neueOriginale.isEmpty())
        return;
    const QSignalBlocker sperre(m_doks);
    // Pending rows are the last ones; "Anfügen" rows after them go too.
    const int erste = m_neueOriginale.firstKey();
    while (m_doks->count() >= erste)
        m_doks->removeItem(m_doks->count() - 1);
    global::DokAnz = erste - 1;
    m_neueOriginale.clear();
    if (global::AktDok > global::DokAnz)
        global::AktDok = global::DokAnz;
}

void Bild::originaleSchreiben(server::Objekt &beleg)
{
    server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
    QStringList scans;
    for (const einvoice::Original &o : std::as_const(m_neueOriginale)) {
        if (!o.herkunft.isEmpty())
            scans << o.herkunft;
        server::Objekt element = global::Archivverbindung->New(QStringLiteral("AR.Dokuments"));
        element.set(QStringLiteral("daterst"), QDate::currentDate().toString(Qt::ISODate));
        element.set(QStringLiteral("doktyp"), o.doktyp);
        element.set(QStringLiteral("dateiname"), o.name);
        element.set(QStringLiteral("doktext"), o.name);
        element.set(QStringLiteral("bericht"), o.bericht());
        // The bytes as received: no drawing, encoding or repair on the way.
        element.strom(QStringLiteral("dok")).Write(o.inhalt);
        doks.Insert(element);
    }
    // Records from the scan store leave it in this very save.
    beleg.scansEntnehmen(scans);
}

} // namespace archiv::editor
