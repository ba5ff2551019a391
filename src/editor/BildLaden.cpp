#include "editor/Bild.h"

#include "app/DatumFeld.h"
#include "app/Eigenschaftszeilen.h"
#include "app/Sanduhr.h"
#include "common/Format.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/TempVerzeichnis.h"
#include "common/Texte.h"
#include "editor/Doksliste.h"
#include "editor/Seitenansicht.h"
#include "imaging/Seite.h"
#include "server/ErgebnisMenge.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QDate>
#include <QFile>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTimeEdit>

#include <algorithm>

namespace archiv::editor {

using namespace archiv::common;

namespace {

server::Objekt belegOeffnen(const QString &dokId)
{
    server::Objekt beleg = global::Archivverbindung->OpenId(QStringLiteral("AR.Dokumente"), dokId);
    if (beleg.istLeer())
        throw server::ServerFehler(404, QStringLiteral("not_found"),
                                   QStringLiteral("Den Beleg %1 gibt es im Archiv nicht (mehr).").arg(dokId));
    return beleg;
}

// The element (position from 1, 0 for none) where the full-text words are
// first found, and its pages (from 0) with the words' boxes in pixels of the
// pages as the editor lists them.
struct Treffer
{
    int position = 0;
    int basis = 0; // 300: boxes at 300 dpi (a PDF); 0: in pixels of the stored page
    QHash<int, QList<QRect>> seiten;
};

Treffer volltextTreffer(const QString &dokId, const QString &volltext)
{
    Treffer t;
    try {
        server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("VolltextTreffer"));
        rs.Execute(QStringList{dokId, volltext});
        while (rs.Next()) {
            const int pos = rs.GetData(1).toInt();
            if (t.position == 0) {
                t.position = pos;
                t.basis = rs.GetData(3).toInt();
            }
            if (pos != t.position)
                continue;
            QList<QRect> boxen;
            for (const QString &b : rs.GetData(4).split(u' ', Qt::SkipEmptyParts)) {
                const QStringList z = b.split(u',');
                if (z.size() == 4)
                    boxen << QRect(z.at(0).toInt(), z.at(1).toInt(), z.at(2).toInt(), z.at(3).toInt());
            }
            t.seiten.insert(rs.GetData(2).toInt() - 1, boxen);
        }
        rs.Close();
    } catch (const server::ServerFehler &e) {
        // An older server, or words it cannot search for: the Beleg opens as always.
        qWarning().noquote() << "Volltext:" << e.meldung();
        return {};
    }
    return t;
}

// The boxes in pixels of the pages as listed: a PDF's are at 300 dpi, its
// pages at their own resolution.
QHash<int, QList<QRect>> aufSeiten(const Treffer &t, const imaging::Seitenliste &seiten)
{
    QHash<int, QList<QRect>> marken;
    for (auto it = t.seiten.cbegin(); it != t.seiten.cend(); ++it) {
        if (it.key() < 0 || it.key() >= seiten.anzahl())
            continue;
        const double skala = t.basis > 0 ? double(seiten.kodiert(it.key()).dpiX) / t.basis : 1.0;
        QList<QRect> boxen;
        for (const QRect &r : it.value())
            boxen << QRect(qRound(r.x() * skala), qRound(r.y() * skala), qRound(r.width() * skala), qRound(r.height() * skala));
        marken.insert(it.key(), boxen);
    }
    return marken;
}

} // namespace

void Bild::belegLaden(const QString &dokId, bool mitSeiten, Dokumentwahl wahl)
{
    global::DokId = dokId;
    m_beldat->show();
    server::Objekt beleg = belegOeffnen(dokId);
    const auto schliessen = qScopeGuard([&beleg] { beleg.SYS_Close(); });
    m_version = beleg.version();
    m_nummerVergeben = false;
    m_belnr->setPlaceholderText(QString());
    // A Beleg is shown and saved under its own company, whichever the
    // main window shows now.
    firmaSetzen(beleg.get(QStringLiteral("Firma")));

    server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
    global::DokAnz = doks.Count();
    // Files taken in and not saved stay when only the header is read again
    // (after another workstation saved first), behind the stored elements.
    const QList<einvoice::Original> offen = mitSeiten ? QList<einvoice::Original>() : m_neueOriginale.values();
    m_neueOriginale.clear();
    {
        const QSignalBlocker sperre(m_doks);
        m_doks->leeren();
        for (int n = 1; n <= global::DokAnz; ++n) {
            const server::Objekt d = doks.getat(n);
            m_doks->hinzufuegen(n, d.get(QStringLiteral("daterst")), d.get(QStringLiteral("doktext")), d.get(QStringLiteral("doktyp")));
        }
        for (const einvoice::Original &o : offen) {
            global::DokAnz += 1;
            m_doks->hinzufuegen(global::DokAnz, QDate::currentDate().toString(Qt::ISODate), QStringLiteral("neu: ") + o.name, o.doktyp);
            m_neueOriginale.insert(global::DokAnz, o);
        }
    }
    global::AktDok = wahl == Dokumentwahl::Neuestes && global::DokAnz > 0 ? global::DokAnz : 1;
    // Opened from a full-text search: the document where the words are.
    Treffer treffer;
    if (wahl == Dokumentwahl::Neuestes && mitSeiten && !global::Volltext.isEmpty()) {
        treffer = volltextTreffer(dokId, global::Volltext);
        if (treffer.position >= 1 && treffer.position <= global::DokAnz)
            global::AktDok = treffer.position;
    }
    {
        // The type list and Doks change here without their handlers.
        const QScopedValueRollback sperre(global::DoksSperre, true);
        m_belnr->setText(beleg.get(QStringLiteral("Belnr")));
        global::AktBelart = beleg.ref(QStringLiteral("IDBelart")).get(QStringLiteral("Belart"));
        m_belart->setCurrentIndex(m_belart->findData(global::AktBelart));
        const QSignalBlocker blocker(m_doks);
        m_doks->setCurrentIndex(global::DokAnz > 0 ? global::AktDok - 1 : -1);
    }
    Belart_Click();

    m_beldat->setzeDatum(QDate::fromString(beleg.get(QStringLiteral("Datum")), Qt::ISODate));
    m_belzeit->setTime(QTime::fromString(beleg.get(QStringLiteral("zeit")), QStringLiteral("HH:mm:ss")));

    if (mitSeiten) {
        m_image1->leeren();
        genommeneAbgleichen();
        seitenLaden(beleg);
        const QHash<int, QList<QRect>> marken = aufSeiten(treffer, m_image1->seiten());
        if (!marken.isEmpty()) {
            const int ersteSeite = *std::min_element(marken.keyBegin(), marken.keyEnd());
            m_image1->markierungenSetzen(marken);
            layoutAnwenden();
            global::AktSeite = ersteSeite + 1;
            m_image1->waehlen(ersteSeite);
            const QSignalBlocker sperre(m_scroll1);
            m_scroll1->setValue(global::AktSeite);
            Zoomen(global::Zoomtype);
        }
        seitenText();
    }
    eigenschaftenLaden();
    Zustand();
}

void Bild::seitenLaden(server::Objekt &beleg)
{
    global::SeitenAnz = 0;
    m_original.reset();
    if (m_neueOriginale.contains(global::AktDok)) {
        originalInAnsicht(m_neueOriginale.value(global::AktDok));
        return;
    }
    if (global::AktDok >= 1 && global::AktDok <= beleg.sammlung(QStringLiteral("Doks")).Count()) {
        server::Objekt element = beleg.sammlung(QStringLiteral("Doks")).getat(global::AktDok);
        server::Datenstrom dok = element.strom(QStringLiteral("dok"));
        const QString doktyp = element.get(QStringLiteral("doktyp")).isEmpty() ? QString(doktyp::Tif) : element.get(QStringLiteral("doktyp"));
        const QString dateiname = element.get(QStringLiteral("dateiname"));
        if (istOriginalElement(doktyp, dateiname) && dok.groesse() > 0) {
            originalInAnsicht(einvoice::original(dateiname, doktyp, dok.Read(dok.groesse())));
            return;
        }
        if (!dok.Read(1).isEmpty()) {
            dok.Rewind();
            const Arbeitsdatei datei(QStringLiteral("dok"), doktyp);
            global::Tempdatei = datei.pfad();
            dok.FileWrite(global::Tempdatei);
            try {
                m_image1->seiten().laden(global::Tempdatei);
            } catch (const imaging::BildFehler &e) {
                // The Beleg stays usable (header, properties, other
                // documents); the stored file is left as it is.
                m_image1->seiten().leeren();
                meldung(HauptTitel, QStringLiteral("Das Dokument kann nicht angezeigt werden.\n") + QString::fromUtf8(e.what()),
                        MeldungsSymbol::Ausruf);
            }
            m_image1->seitenGeaendert();
        }
    }
    hinweisZeigen();
    ansichtZeigen();
}

void Bild::ansichtZeigen()
{
    global::SeitenAnz = m_image1->seiten().anzahl();
    global::AktSeite = 0;
    if (global::SeitenAnz > 0) {
        m_frBeleg->hide();
        m_frDokument->show();
        global::AktSeite = 1;
        {
            const QSignalBlocker sperre(m_scroll1);
            m_scroll1->setRange(1, global::SeitenAnz);
            m_scroll1->setValue(global::AktSeite);
        }
        m_image1->waehlen(0);
        Zustand();
        Zoomen(global::Zoomtype);
        // The arrow keys page at once, without a click into the page first.
        m_image1->setFocus(Qt::OtherFocusReason);
    }
}

void Bild::dokumentGewaehlt(int zeile)
{
    if (zeile < 0 || zeile + 1 == global::AktDok)
        return;
    // Between files taken in and not saved yet the view just changes.
    if (m_neueOriginale.contains(zeile + 1) && (m_neueOriginale.contains(global::AktDok) || !global::Geaendert)) {
        global::AktDok = zeile + 1;
        originalInAnsicht(m_neueOriginale.value(global::AktDok));
        Zustand();
        return;
    }
    if (global::Modus == modus::Bearbeiten && global::Geaendert) {
        if (!nachfrageSpeichern()) {
            // The unsaved pages stay; so does the row that shows them.
            const QSignalBlocker sperre(m_doks);
            m_doks->setCurrentIndex(global::AktDok - 1);
            return;
        }
        // "Nein": what was not saved goes, files taken in as well.
        if (global::Geaendert)
            originaleVerwerfen();
        global::Geaendert = false;
        if (zeile >= m_doks->count())
            return;
    }
    // The new row counts before pending events run: the window's
    // reactivation after the question selects AktDok's row again.
    global::AktDok = zeile + 1;
    const app::Sanduhr sanduhr;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    server::Objekt beleg = belegOeffnen(global::DokId);
    const auto schliessen = qScopeGuard([&beleg] { beleg.SYS_Close(); });
    m_image1->hide();
    m_image1->leeren();
    genommeneAbgleichen();
    seitenLaden(beleg);
    seitenText();
    m_image1->show();
    Zustand();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Bild::eigenschaftenLaden()
{
    for (int i = 1; i <= global::EigenAnz; ++i)
        m_zeilen->setzen(i, QString());
    // The free-value choice lists were filled when the rows were built.
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
    rs.Execute(QStringList{m_firma, global::DokId});
    while (rs.Next()) {
        const int id = int(zahlWert(rs.GetData(1)));
        const QString wert = rs.GetData(2);
        for (int i = 1; i <= global::EigenAnz; ++i) {
            if (global::EigenId[size_t(i)] != id)
                continue;
            // A choice takes the last value; a text collects them all, each
            // followed by a blank.
            if (global::EigenTyp[size_t(i)] == zeilenart::Auswahl)
                m_zeilen->setzen(i, wert);
            else
                m_zeilen->setzen(i, m_zeilen->wert(i) + wert + QLatin1Char(' '));
        }
    }
    rs.Close();
    geladeneWerteMerken();
}

} // namespace archiv::editor
