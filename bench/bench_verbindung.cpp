// Round trips, opening and saving a Beleg, and blob throughput against a
// real archivd on loopback over TLS with a workstation key; blob downloads
// beside curl on the same blob over TLS with the same key.
#include "BenchHilfen.h"
#include "BenchServer.h"
#include "imaging/TiffDatei.h"
#include "server/Verbindung.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

using namespace archiv;

namespace {

QTextStream aus(stdout);

double perzentil(QList<double> w, double p)
{
    std::sort(w.begin(), w.end());
    return w.isEmpty() ? 0 : w.at(qMin(w.size() - 1, qsizetype(w.size() * p)));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const auto server = bench::demoServer(50);
    if (!server)
        return 1;
    server::Verbindung v;
    if (!v.Connect(server->verbindungstext()))
        return 1;

    // 1. Small query, 10 000 calls on one keep-alive connection.
    QList<double> zeiten;
    zeiten.reserve(10000);
    for (int i = 0; i < 10500; ++i) {
        QElapsedTimer uhr;
        uhr.start();
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
        rs.Execute();
        while (rs.Next())
            ;
        rs.Close();
        if (i >= 500) // warm-up
            zeiten << uhr.nsecsElapsed() / 1e6;
    }
    aus << "small query round trip: median " << archiv::bench::median(zeiten) << " ms, p99 " << perzentil(zeiten, 0.99) << " ms over "
        << zeiten.size() << " calls" << Qt::endl;

    // 2. A Beleg with a 20-page document: save new, then open and save again.
    QTemporaryDir dir;
    QList<imaging::Seite> seiten;
    for (int i = 0; i < 20; ++i)
        seiten << archiv::bench::textseite(i);
    const QString datei = dir.filePath(QStringLiteral("dok.tif"));
    imaging::TiffDatei::schreibenG4(datei, seiten);
    const qint64 dateiGroesse = QFile(datei).size();
    QList<double> speichern, oeffnen;
    QString id;
    for (int runde = 0; runde < 20; ++runde) {
        QElapsedTimer uhr;
        uhr.start();
        server::Objekt d = id.isEmpty() ? v.New(QStringLiteral("AR.Dokumente")) : v.OpenId(QStringLiteral("AR.Dokumente"), id);
        if (id.isEmpty()) {
            d.set(QStringLiteral("Firma"), QStringLiteral("1"));
            d.setRef(QStringLiteral("IdBelart"), QStringLiteral("1||ER"));
            d.set(QStringLiteral("Belnr"), QStringLiteral("880001"));
            d.set(QStringLiteral("Datum"), QStringLiteral("2026-12-08"));
            server::Objekt e = v.New(QStringLiteral("AR.Dokuments"));
            e.set(QStringLiteral("doktyp"), QStringLiteral("tif"));
            d.sammlung(QStringLiteral("Doks")).Insert(e);
        } else {
            const QString zurueck = dir.filePath(QStringLiteral("zurueck.tif"));
            d.sammlung(QStringLiteral("Doks")).getat(1).strom(QStringLiteral("dok")).FileWrite(zurueck);
            oeffnen << uhr.nsecsElapsed() / 1e6;
        }
        // Each round stores a changed file (one page differs), as a re-save does.
        QFile f(datei);
        f.open(QIODevice::ReadWrite);
        f.seek(f.size() - 8);
        f.write(QByteArray::number(runde).rightJustified(8, '0'));
        f.close();
        d.sammlung(QStringLiteral("Doks")).getat(1).strom(QStringLiteral("dok")).FileRead(datei);
        if (d.SYS_Save() != 1) {
            aus << "save failed: " << d.letzterFehler() << Qt::endl;
            return 1;
        }
        id = d.SYS_Id();
        speichern << uhr.nsecsElapsed() / 1e6;
    }
    aus << "Beleg with 20-page document (" << dateiGroesse / 1024 << " KiB): open + file to disk median " << archiv::bench::median(oeffnen)
        << " ms; open + save median " << archiv::bench::median(speichern) << " ms" << Qt::endl;

    // 3. Blob throughput: a 64 MiB blob up and down, and curl on the same blob.
    QByteArray gross(64 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator z(7);
    z.fillRange(reinterpret_cast<quint32 *>(gross.data()), gross.size() / 4);
    const QString grossDatei = dir.filePath(QStringLiteral("gross.bin"));
    {
        QFile f(grossDatei);
        f.open(QIODevice::WriteOnly);
        f.write(gross);
    }
    const double mib = gross.size() / 1048576.0;
    QList<double> hoch, runter, curl;
    const QString blob = QString::fromLatin1(QCryptographicHash::hash(gross, QCryptographicHash::Sha256).toHex());
    for (int runde = 0; runde < 5; ++runde) {
        server::Objekt scan = v.New(QStringLiteral("AR.Scandat"));
        QElapsedTimer uhr;
        uhr.start();
        scan.strom(QStringLiteral("dok")).FileRead(grossDatei);
        hoch << mib / (uhr.nsecsElapsed() / 1e9);
        scan.SYS_Save();
        server::Objekt wieder = v.OpenId(QStringLiteral("AR.Scandat"), scan.SYS_Id());
        uhr.restart();
        wieder.strom(QStringLiteral("dok")).FileWrite(dir.filePath(QStringLiteral("runter.bin")));
        runter << mib / (uhr.nsecsElapsed() / 1e9);
        QProcess c;
        uhr.restart();
        c.start(QStringLiteral("curl"),
                {"-s", "-f", "--cacert", server->dbPfad() + QStringLiteral(".crt"), "-H",
                 QStringLiteral("Authorization: ") + QString::fromLatin1(server->zugangKopf()), "-o", dir.filePath(QStringLiteral("curl.bin")),
                 QStringLiteral("https://127.0.0.1:%1/v1/TSARCHIV/blob/%2").arg(server->port()).arg(blob)});
        c.waitForFinished(-1);
        if (c.exitCode() != 0 || QFile(dir.filePath(QStringLiteral("curl.bin"))).size() != gross.size()) {
            aus << "curl failed: " << c.readAllStandardError() << Qt::endl;
            return 1;
        }
        curl << mib / (uhr.nsecsElapsed() / 1e9);
    }
    aus << "blob 64 MiB: upload median " << archiv::bench::median(hoch) << " MB/s, download median " << archiv::bench::median(runter)
        << " MB/s, curl download median " << archiv::bench::median(curl) << " MB/s ("
        << 100.0 * archiv::bench::median(runter) / archiv::bench::median(curl) << " % of curl)" << Qt::endl;
    return 0;
}
