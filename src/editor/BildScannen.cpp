// Pages into the editor: scanning from the configured page source, the
// Beleg named by a barcode on the first page, the Beleg search and a
// further document of the loaded Beleg.
#include "editor/Bild.h"

#include "app/EinstScan.h"
#include "app/Scanneroptionen.h"
#include "app/Einstellungen.h"
#include "app/Sanduhr.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/Texte.h"
#include "editor/Doksliste.h"
#include "imaging/Scanlauf.h"
#include "imaging/Seitenliste.h"
#include "editor/Seitenansicht.h"
#include "lookup/SuBelnr.h"
#include "scan/Scandatabase.h"
#include "scan/Scanspeicher.h"
#include "scan/Stapelscan.h"
#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QComboBox>
#include <QDebug>
#include <QCoreApplication>
#include <QDate>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>

namespace archiv::editor {

using namespace archiv::common;

void Bild::scannen()
{
    app::Scannereinstellungen scanner = app::scannereinstellungen();
    if (scanner.quelle.isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Keine Scanquelle definiert"), MeldungsSymbol::Ausruf);
        return;
    }
    if (!app::scanneroptionenFragen(this, scanner))
        return;
    originalVerlassen();
    m_buScan->setEnabled(false);
    const auto frei = qScopeGuard([this] { m_buScan->setEnabled(true); });
    {
        const app::Sanduhr sanduhr;
        tabZeigen(QStringLiteral("dokument"));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        global::BarcodeBelart.clear();
        global::BarcodeBelnr.clear();
        const int ergebnis = seitenErfassen(imaging::Seitenquelle::oeffnen(scanner.quelle), scanner.geraet, scanner.drehen);
        if (ergebnis != imaging::Seitenquelle::Ok) {
            meldung(HauptTitel, QStringLiteral("Scanner nicht bereit"), MeldungsSymbol::Ausruf);
            ansichtNachErfassen();
            return;
        }
        ansichtNachErfassen();
    }
    if (global::BarcodeBelart.isEmpty())
        return;
    // A correction invoice is filed with the invoice it corrects.
    if (global::BarcodeBelart == QLatin1String("RK")) {
        global::BarcodeBelart = QStringLiteral("ER");
        global::BarcodeBelnr += QStringLiteral("/1");
    }
    const int zeile = m_belart->findData(global::BarcodeBelart);
    if (zeile >= 0)
        m_belart->setCurrentIndex(zeile);
    m_belnr->setText(global::BarcodeBelnr);
    belegSuchen();
}

int Bild::seitenErfassen(std::unique_ptr<imaging::Seitenquelle> quelle, const imaging::Scaneinstellungen &einstellungen, bool drehen)
{
    // The pages of one acquisition go in order after the page shown.
    int einfuegen = global::AktSeite;
    imaging::Scanlauf::Optionen optionen;
    optionen.barcodes = global::SeitenAnz == 0 ? imaging::Scanlauf::Barcodes::ErsteSeite : imaging::Scanlauf::Barcodes::Keine;
    optionen.drehen = drehen;
    imaging::Scanlauf lauf(std::move(quelle), einstellungen, optionen);
    connect(&lauf, &imaging::Scanlauf::seite, this, [&](const imaging::Seite &seite, const QStringList &barcodes) {
        if (global::SeitenAnz == 0)
            barcodeNachschlagen(barcodes);
        if (global::AktSeite == 0) {
            m_image1->leeren();
            einfuegen = 0;
        }
        m_image1->seiten().einfuegen(einfuegen, seite);
        m_image1->seitenGeaendert();
        m_image1->waehlen(einfuegen);
        ++einfuegen;
        ++global::SeitenAnz;
        global::AktSeite = global::SeitenAnz;
        global::Geaendert = true;
        m_image1->viewport()->update();
    });
    // The window repaints while the pages arrive; input waits.
    return lauf.ausfuehren();
}

void Bild::scanDokumenteHolen()
{
    originalVerlassen();
    global::Startmodus = modus::Archiv;
    global::ScanBarcode.clear();
    {
        scan::Scandatabase fenster(this);
        fenster.exec();
    }
    if (global::ScanBarcode.isEmpty())
        return;
    {
        const app::Sanduhr sanduhr;
        const int zeile = m_belart->findData(global::ScanBarcode.left(2));
        if (zeile >= 0)
            m_belart->setCurrentIndex(zeile);
        global::AktBelart = global::ScanBarcode.left(2);
        m_belnr->setText(global::ScanBarcode.mid(2));

        // Taken for this workstation: while they are in the view, no other
        // workstation files them.
        const QList<scan::Scanseite> seiten = scan::scansNehmen(*global::Archivverbindung, global::ScanBarcode);
        QList<einvoice::Original> digital;
        const QStringList schonHier = m_image1->seiten().herkuenfte();
        // In page order after the page shown.
        int einfuegen = global::AktSeite;
        int geholt = 0;
        for (const scan::Scanseite &s : seiten) {
            if (schonHier.contains(s.id))
                continue;
            m_genommen.insert(s.id);
            server::Objekt scan = global::Archivverbindung->OpenId(QStringLiteral("AR.Scandat"), s.id);
            if (scan.istLeer())
                continue;
            server::Datenstrom dok = scan.strom(QStringLiteral("dok"));
            if (!scan.get(QStringLiteral("doktyp")).isEmpty()) {
                // A received file from the store: an element of its own at the
                // save, which also takes the record out of the store.
                einvoice::Original o = einvoice::original(scan.get(QStringLiteral("dateiname")), scan.get(QStringLiteral("doktyp")),
                                                          dok.Read(dok.groesse()));
                o.herkunft = s.id;
                digital.append(std::move(o));
                continue;
            }
            imaging::Seitenliste datei;
            try {
                datei.laden(dok.Read(dok.groesse()), QStringLiteral("scan.tif"), 0, 1);
            } catch (const imaging::BildFehler &e) {
                meldung(HauptTitel, QStringLiteral("Scan %1 lässt sich nicht lesen.\n").arg(s.id) + QString::fromUtf8(e.what()),
                        MeldungsSymbol::Ausruf);
                continue;
            }
            if (global::AktSeite == 0) {
                m_image1->leeren();
                einfuegen = 0;
            }
            imaging::KodierteSeite seite = datei.kodiert(0);
            seite.herkunft = s.id;
            m_image1->seiten().einfuegen(einfuegen++, seite);
            m_image1->seitenGeaendert();
            ++global::SeitenAnz;
            global::AktSeite = global::SeitenAnz;
            global::Geaendert = true;
            ++geholt;
        }
        if (global::SeitenAnz > 0)
            global::AktSeite = 1;
        ansichtNachErfassen();
        for (einvoice::Original &o : digital)
            originalVormerken(std::move(o), m_image1->seiten().istLeer() || zeigtOriginal());
        // Pages that could not be read stay in the store.
        genommeneAbgleichen();
        if (seiten.isEmpty())
            meldung(HauptTitel,
                    QStringLiteral("Die Seiten von %1 werden gerade an einem anderen Arbeitsplatz bearbeitet.").arg(global::ScanBarcode),
                    MeldungsSymbol::Information);
    }
    if (!global::AktBelart.isEmpty()) {
        tabZeigen(QStringLiteral("beleg"));
        // The pages came in: a number not archived yet is a new Beleg, not
        // a failure.
        belegSuchen(true);
    }
}

void Bild::genommeneAbgleichen(bool alle)
{
    if (m_genommen.isEmpty() || !global::Archivverbindung)
        return;
    QStringList hier = alle ? QStringList() : m_image1->seiten().herkuenfte();
    if (!alle)
        for (const einvoice::Original &o : std::as_const(m_neueOriginale))
            hier << o.herkunft;
    QStringList zurueck;
    for (const QString &id : std::as_const(m_genommen))
        if (!hier.contains(id))
            zurueck << id;
    for (const QString &id : std::as_const(zurueck))
        m_genommen.remove(id);
    scan::scansFreigeben(*global::Archivverbindung, zurueck);
}

void Bild::barcodeNachschlagen(const QStringList &barcodes)
{
    const QString beleg = scan::belegAusBarcodes(*global::Archivverbindung, barcodes);
    if (beleg.isEmpty())
        return;
    global::BarcodeBelart = beleg.left(2);
    global::BarcodeBelnr = beleg.mid(2);
}

void Bild::ansichtNachErfassen()
{
    // The page is chosen before it is fitted: fitting first drew the page
    // shown before (or none) and left the new one grey until the user paged.
    seitenText();
    {
        const QSignalBlocker sperre(m_scroll1);
        m_scroll1->setRange(1, qMax(1, global::SeitenAnz));
        m_scroll1->setValue(global::AktSeite);
    }
    if (global::AktSeite > 0)
        m_image1->waehlen(global::AktSeite - 1);
    Zustand();
    tabZeigen(QStringLiteral("dokument"));
    if (global::SeitenAnz > 0) {
        m_image1->show();
        Zoomen(global::Zoomtype);
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Bild::belegSuchen(bool ohneMeldung)
{
    if (global::AktBelart.isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Keine Belegart ausgewählt"), MeldungsSymbol::Information);
        return;
    }
    // Closing the pick list without a choice keeps the Beleg held before.
    const QString vorher = global::DokId;
    // Pages in the view (just scanned, or taken from the scan store) stay,
    // whichever Beleg is found: they become a new document of it at the
    // next save. A date picked with an empty view shows that Beleg's pages.
    const auto uebernehmen = [this](const QString &id, bool gewaehlt) {
        if (gewaehlt && m_image1->seiten().istLeer()) {
            belegLaden(id, true);
            return;
        }
        belegLaden(id, false);
        global::AktDok = 0;
        const QSignalBlocker sperre(m_doks);
        m_doks->setCurrentIndex(-1);
    };
    lookup::SuBelnr liste([&uebernehmen](const QString &id) { uebernehmen(id, true); }, this);
    QStringList ids;
    for (const auto &[id, datum] : belegeMitNummer()) {
        liste.hinzufuegen(formatAllgemein(datum), id);
        ids << id;
    }
    if (ids.size() == 1) {
        uebernehmen(ids.first(), false);
    } else if (ids.size() > 1) {
        if (liste.exec() != QDialog::Accepted)
            global::DokId = vorher;
    } else if (!ohneMeldung) {
        meldung(HauptTitel, QStringLiteral("Dokument nicht gefunden"), MeldungsSymbol::Information);
    }
}

void Bild::dokumentAnfuegen()
{
    if (global::Modus == modus::Bearbeiten && global::Geaendert) {
        if (!nachfrageSpeichern())
            return;
        if (global::Geaendert)
            originaleVerwerfen();
        global::Geaendert = false;
    }
    m_original.reset();
    hinweisZeigen();
    leeresDokumentBeginnen();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Bild::leeresDokumentBeginnen()
{
    global::AktDok = global::DokAnz + 1;
    global::DokAnz = global::AktDok;
    {
        const QSignalBlocker sperre(m_doks);
        m_doks->setzen(global::AktDok - 1, global::AktDok, QDate::currentDate().toString(Qt::ISODate), QString(), QStringLiteral("tif"));
        m_doks->setCurrentIndex(global::AktDok - 1);
    }
    m_image1->leeren();
    genommeneAbgleichen();
    global::SeitenAnz = 0;
    global::AktSeite = 0;
    seitenText();
    {
        const QSignalBlocker sperre(m_scroll1);
        m_scroll1->setRange(1, 1);
        m_scroll1->setValue(1);
    }
    Zustand();
}

void Bild::originalVerlassen()
{
    if (!zeigtOriginal())
        return;
    // Scanned pages never join a received file: they start a document of
    // their own, and files taken in and not saved stay as they are.
    m_original.reset();
    hinweisZeigen();
    leeresDokumentBeginnen();
}

} // namespace archiv::editor
