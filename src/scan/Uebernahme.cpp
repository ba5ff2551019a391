#include "scan/Uebernahme.h"

#include "common/TempVerzeichnis.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seitenliste.h"
#include "server/ErgebnisMenge.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QDate>
#include <QFile>
#include <QScopeGuard>

namespace archiv::scan {

namespace {

QByteArray inhalt(server::Objekt &o)
{
    server::Datenstrom dok = o.strom(QStringLiteral("dok"));
    return dok.groesse() > 0 ? dok.Read(dok.groesse()) : QByteArray();
}

// One page into its Beleg; false when it is not assigned to one.
bool seiteUebernehmen(server::Verbindung &v, server::Objekt &scan, int seite)
{
    const QString belegId = scan.refId(QStringLiteral("IDDokumente"));
    if (belegId.toLongLong() <= 0)
        return false;
    server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), belegId);
    if (beleg.istLeer())
        throw server::ServerFehler(404, QStringLiteral("not_found"), QStringLiteral("Den Beleg %1 gibt es nicht (mehr)").arg(belegId));
    server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
    if (doks.Count() == 0)
        doks.Insert(v.New(QStringLiteral("AR.Dokuments")));
    server::Objekt element = doks.getat(doks.Count());

    imaging::Seitenliste seiten;
    if (seite > 1) {
        const QByteArray bisher = inhalt(element);
        if (!bisher.isEmpty())
            seiten.laden(bisher, QStringLiteral("archiv.tif"));
    }
    imaging::Seitenliste neu;
    neu.laden(inhalt(scan), QStringLiteral("archiv1.tif"), 0, 1);
    seiten.einfuegen(seiten.anzahl(), neu.kodiert(0));

    const QString datei = common::tempDatei(QStringLiteral("archiv.tif"));
    const auto weg = qScopeGuard([&datei] { QFile::remove(datei); });
    seiten.speichern(datei, imaging::MehrseitigesTiff);
    element.strom(QStringLiteral("dok")).FileRead(datei);
    element.set(QStringLiteral("doktyp"), QStringLiteral("tif"));
    element.set(QStringLiteral("daterst"), QDate::currentDate().toString(Qt::ISODate));
    beleg.set(QStringLiteral("picsw"), QStringLiteral("1"));
    if (beleg.SYS_Save() != 1)
        throw server::ServerFehler(0, QStringLiteral("save"), beleg.letzterFehler());
    return true;
}

} // namespace

Uebernahmebericht ScanBelegUebernahme(server::Verbindung &v, const QString &belegnummer, bool loeschen)
{
    Uebernahmebericht bericht;
    QList<std::pair<int, QString>> zeilen;
    server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
    rs.Execute(QStringList{belegnummer});
    while (rs.Next())
        zeilen.append({rs.GetData(1).toInt(), rs.GetData(2)});
    rs.Close();
    for (const auto &[seite, id] : zeilen) {
        if (id.toLongLong() <= 0)
            continue;
        try {
            server::Objekt scan = v.OpenId(QStringLiteral("AR.Scandat"), id);
            if (scan.istLeer())
                continue; // taken meanwhile
            if (!seiteUebernehmen(v, scan, seite)) {
                ++bericht.ohneBeleg;
                continue;
            }
            ++bericht.uebernommen;
            if (loeschen)
                scan.SYS_DeleteId(id);
        } catch (const std::exception &e) {
            bericht.fehler << QStringLiteral("Scan %1 (Seite %2): %3").arg(id).arg(seite).arg(QString::fromUtf8(e.what()));
        }
    }
    return bericht;
}

} // namespace archiv::scan
