// Saving the Beleg shown in the editor: options, login, the duplicate
// check, header, document element and page file, index values, all in one
// save of the Beleg object (one transaction on the server).
#include "editor/Bild.h"

#include "app/Anmeldung.h"
#include "app/DatumFeld.h"
#include "app/Eigenschaftszeilen.h"
#include "app/Sanduhr.h"
#include "common/Kennungen.h"
#include "common/Meldung.h"
#include "common/Programmzustand.h"
#include "common/TempVerzeichnis.h"
#include "common/Texte.h"
#include "editor/Doksliste.h"
#include "editor/Dokspeich.h"
#include "editor/Seitenansicht.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seite.h"
#include "server/KlassenMethoden.h"
#include "tools/Etikettendruck.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTimeEdit>

namespace archiv::editor {

using namespace archiv::common;

namespace {

QString typObjektId(const QString &firma)
{
    return firma + QStringLiteral("||") + global::AktBelart;
}

} // namespace

bool Bild::nachfrageSpeichern()
{
    const Antwort a =
        meldung(HauptTitel, QStringLiteral("Dokument wurde verändert speichern ?"), MeldungsSymbol::Frage, MeldungsKnoepfe::JaNein);
    if (a != Antwort::Ja)
        return true;
    // A save that did not go through keeps the window as it is, so the
    // pages are not dropped behind the user's back.
    return speichern();
}

bool Bild::speicherbar()
{
    // The same rule that enables "Speichern": the close question's "Ja"
    // must not store a Beleg without number or date.
    if (global::AktBelart.isEmpty()) {
        meldung(HauptTitel, QStringLiteral("Keine Belegart ausgewählt"), MeldungsSymbol::Information);
        return false;
    }
    if (m_belnr->text().trimmed().isEmpty() && !(m_nummerVergeben && global::DokId.isEmpty())) {
        meldung(HauptTitel, QStringLiteral("Keine Belegnummer angegeben"), MeldungsSymbol::Information);
        m_belnr->setFocus();
        return false;
    }
    if (!m_beldat->datum().isValid()) {
        meldung(HauptTitel, QStringLiteral("Kein gültiges Belegdatum angegeben"), MeldungsSymbol::Information);
        m_beldat->setFocus();
        return false;
    }
    return true;
}

bool Bild::speichern()
{
    if (!speicherbar())
        return false;
    const QString vorgabe = global::AktDok > 0 ? m_doks->model()->index(global::AktDok - 1, 0).data(Qt::UserRole).toString() : QString();
    const std::optional<Speicheroptionen> optionen = speicheroptionen(Dokspeich::fragen(!global::DokId.isEmpty(), vorgabe, this));
    if (!optionen)
        return false;
    return speichernMit(*optionen);
}

bool Bild::speichernMit(const Speicheroptionen &optionen)
{
    // A login is for one company: the Beleg's own is asked for when the
    // user logged in for another.
    const bool andereFirma = !global::AnmeldFirma.isEmpty() && global::AnmeldFirma != m_firma;
    if (global::Anmeldung.isEmpty() || andereFirma) {
        if (andereFirma)
            app::Abmelden();
        app::Anmelden(m_firma);
        if (global::Anmeldung.isEmpty()) {
            meldung(HauptTitel, QStringLiteral("Anmeldung nicht möglich"), MeldungsSymbol::Information);
            return false;
        }
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // Busy: the pointer, and no second save, scan or close meanwhile.
    const app::Sanduhr sanduhr;
    const QList<QPushButton *> knoepfe{m_buSpeich, m_buScan, m_buScandatabase, m_buClose};
    for (QPushButton *k : knoepfe)
        k->setEnabled(false);
    const auto frei = qScopeGuard([&knoepfe] {
        for (QPushButton *k : knoepfe)
            k->setEnabled(true);
    });
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    try {
        if (!belegSchreiben(optionen))
            return false;
    } catch (const server::ServerFehler &e) {
        meldung(HauptTitel, QStringLiteral("Speichern Fehlgeschlagen\n") + e.meldung(), MeldungsSymbol::Kritisch);
        return false;
    } catch (const imaging::BildFehler &e) {
        meldung(HauptTitel, QStringLiteral("Speichern Fehlgeschlagen\n") + QString::fromUtf8(e.what()), MeldungsSymbol::Kritisch);
        return false;
    }
    global::Geaendert = false;
    Zustand();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

QList<std::pair<QString, QString>> Bild::belegeMitNummer() const
{
    QList<std::pair<QString, QString>> belege;
    server::ErgebnisMenge rs = global::Archivverbindung->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Datum"));
    rs.Execute(QStringList{m_firma, typObjektId(m_firma), m_belnr->text()});
    while (rs.Next())
        belege.append({rs.GetData(1), rs.GetData(2)});
    rs.Close();
    return belege;
}

std::optional<QString> Bild::vorhandenerBeleg() const
{
    std::optional<QString> id;
    for (const auto &[beleg, datum] : belegeMitNummer())
        if (QDate::fromString(datum.left(10), Qt::ISODate) == m_beldat->datum())
            id = beleg;
    return id;
}

bool Bild::belegSchreiben(const Speicheroptionen &optionen)
{
    server::Objekt beleg;
    if (global::DokId.isEmpty() && m_nummerVergeben && m_belnr->text().trimmed().isEmpty()) {
        // A digital Beleg takes the next number of its type's labels, so the
        // number range stays unbroken for paper and e-mail alike.
        QString fehler;
        const std::optional<qint64> nummer = tools::naechsteNummerReservieren(*global::Archivverbindung, m_firma, global::AktBelart, &fehler);
        if (!nummer) {
            meldung(HauptTitel, fehler, MeldungsSymbol::Ausruf);
            return false;
        }
        m_belnr->setText(QString::number(*nummer));
    }
    if (global::DokId.isEmpty()) {
        if (vorhandenerBeleg()) {
            meldung(HauptTitel, QStringLiteral("Beleg bereits vorhanden"), MeldungsSymbol::Ausruf);
            return false;
        }
        beleg = global::Archivverbindung->New(QStringLiteral("AR.Dokumente"));
    } else {
        beleg = global::Archivverbindung->OpenId(QStringLiteral("AR.Dokumente"), global::DokId);
        if (beleg.istLeer())
            throw server::ServerFehler(404, QStringLiteral("not_found"),
                                       QStringLiteral("Den Beleg %1 gibt es im Archiv nicht (mehr).").arg(global::DokId));
        // What the user changed started from the version loaded: a save
        // from another workstation in between makes this one fail.
        beleg.versionSetzen(m_version);
    }
    const auto schliessen = qScopeGuard([&beleg] { beleg.SYS_Close(); });

    beleg.set(QStringLiteral("Firma"), m_firma);
    beleg.setRef(QStringLiteral("IdBelart"), typObjektId(m_firma));
    beleg.set(QStringLiteral("Belnr"), m_belnr->text());
    beleg.set(QStringLiteral("Datum"), m_beldat->datum().toString(Qt::ISODate));
    beleg.set(QStringLiteral("zeit"), m_belzeit->time().toString(QStringLiteral("HH:mm:ss")));
    beleg.set(QStringLiteral("privatjn"), optionen.privat ? QStringLiteral("J") : QStringLiteral("N"));

    // The picture state follows on the server from the stored documents:
    // a save of the header alone leaves the documents as they are.
    Dokumentstand dok;
    QStringList scans;
    // A shown original is written as it came (below), never as pages.
    if (!m_image1->seiten().istLeer() && !zeigtOriginal()) {
        dok = dokumentSchreiben(beleg, optionen);
        // Pages from the scan store leave it in this very save.
        scans = m_image1->seiten().herkuenfte();
        beleg.scansEntnehmen(scans);
    }

    // Received files go in after the pages, each its own element.
    const bool mitOriginalen = !m_neueOriginale.isEmpty();
    originaleSchreiben(beleg);

    indexwerteSetzen(beleg);
    if (beleg.SYS_Save() != 1) {
        if (beleg.letzterStatus() == 409)
            return nachKonflikt(optionen);
        meldung(HauptTitel, QStringLiteral("Speichern Fehlgeschlagen\n") + beleg.letzterFehler(), MeldungsSymbol::Kritisch);
        return false;
    }
    for (const QString &id : std::as_const(scans))
        m_genommen.remove(id);
    m_image1->seiten().herkunftVergessen();
    global::DokId = beleg.SYS_Id();
    m_version = beleg.version();
    try {
        global::Archivverbindung->ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("Setdirty"), {global::DokId});
    } catch (const server::ServerFehler &e) {
        // The save itself marked the Beleg for the next backup already.
        qWarning().noquote() << "Setdirty:" << e.meldung();
    }
    if (mitOriginalen) {
        // The elements as the server numbered them; the last file taken in
        // is shown.
        for (const einvoice::Original &o : std::as_const(m_neueOriginale))
            m_genommen.remove(o.herkunft);
        m_neueOriginale.clear();
        belegLaden(global::DokId, true, Dokumentwahl::Neuestes);
    } else if (dok.aktDok > 0) {
        global::AktDok = dok.aktDok;
        global::DokAnz = qMax(global::DokAnz, dok.aktDok);
        const QScopedValueRollback sperre(global::DoksSperre, true);
        const QSignalBlocker blocker(m_doks);
        m_doks->setzen(dok.aktDok - 1, dok.aktDok, dok.daterst, optionen.versionstext, dok.doktyp);
        m_doks->setCurrentIndex(dok.aktDok - 1);
    }
    geladeneWerteMerken();
    return true;
}

bool Bild::nachKonflikt(const Speicheroptionen &optionen)
{
    const bool mitSeiten = (!m_image1->seiten().istLeer() && !zeigtOriginal()) || !m_neueOriginale.isEmpty();
    const QString frage = mitSeiten
        ? QStringLiteral("Der Beleg wurde inzwischen an einem anderen Arbeitsplatz gespeichert.\n\n"
                         "Die Seiten als neue Dokumentversion zum neuen Stand des Belegs speichern?\n"
                         "(Nein: die Seiten bleiben hier für einen späteren Versuch.)")
        : QStringLiteral("Der Beleg wurde inzwischen an einem anderen Arbeitsplatz gespeichert.\n\n"
                         "Den neuen Stand laden? Ihre Änderungen an den Kopfdaten gehen dabei verloren.\n"
                         "(Nein: Ihre Eingaben bleiben hier für einen späteren Versuch.)");
    if (meldung(HauptTitel, frage, MeldungsSymbol::Frage, MeldungsKnoepfe::JaNein) != Antwort::Ja)
        return false;
    // The newer state from the server, the pages in the view kept.
    belegLaden(global::DokId, false);
    if (!mitSeiten)
        return false;
    global::AktDok = 0;
    {
        const QSignalBlocker sperre(m_doks);
        m_doks->setCurrentIndex(-1);
    }
    Speicheroptionen neu = optionen;
    neu.neueVersion = true;
    return belegSchreiben(neu);
}

Bild::Dokumentstand Bild::dokumentSchreiben(server::Objekt &beleg, const Speicheroptionen &optionen)
{
    server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
    const int anzahl = doks.Count();
    const QString vorigerTyp =
        global::AktDok >= 1 && global::AktDok <= anzahl ? doks.getat(global::AktDok).get(QStringLiteral("doktyp")) : QString();
    const Elementwahl wahl = elementWaehlen(optionen.neueVersion, global::AktDok, anzahl, vorigerTyp);
    Dokumentstand dok;
    dok.aktDok = global::AktDok;
    if (wahl.neu) {
        server::Objekt element = global::Archivverbindung->New(QStringLiteral("AR.Dokuments"));
        element.set(QStringLiteral("daterst"), QDate::currentDate().toString(Qt::ISODate));
        element.set(QStringLiteral("doktyp"), wahl.doktyp);
        doks.Insert(element);
        dok.aktDok = anzahl + 1;
    }
    server::Objekt element = doks.getat(dok.aktDok);
    element.set(QStringLiteral("doktext"), optionen.versionstext);
    dok.doktyp = element.get(QStringLiteral("doktyp")) == QLatin1String("pdf") ? QStringLiteral("pdf") : QStringLiteral("tif");
    dok.daterst = element.get(QStringLiteral("daterst"));

    // The pages as one file: G4 pages go in as they are, without decoding.
    const Arbeitsdatei datei(QStringLiteral("dok"), dok.doktyp);
    m_image1->seiten().speichern(datei.pfad(), dok.doktyp == QLatin1String("pdf") ? imaging::Pdf : imaging::MehrseitigesTiff);
    element.strom(QStringLiteral("dok")).FileRead(datei.pfad());
    return dok;
}

void Bild::indexwerteSetzen(server::Objekt &beleg)
{
    // A new Beleg sends what is filled in; a stored one what changed since
    // it was loaded (a text of several stored values stays as it is).
    for (int i = 1; i <= global::EigenAnz; ++i) {
        const int code = global::EigenId[size_t(i)];
        if (code <= 0 || global::EigenTyp[size_t(i)].isEmpty())
            continue;
        const QString wert = m_zeilen->wert(i);
        if (global::DokId.isEmpty() ? wert.trimmed().isEmpty() : wert == m_geladen.value(i))
            continue;
        beleg.indexwertSetzen(m_firma, code, wert);
    }
}

void Bild::geladeneWerteMerken()
{
    m_geladen.clear();
    for (int i = 1; i <= global::EigenAnz; ++i)
        m_geladen.insert(i, m_zeilen->wert(i));
}

} // namespace archiv::editor
