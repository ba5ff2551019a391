// The intake folder: 1 000 e-invoices (the KoSIT sample of the demo's supplier
// 70001, each with an invoice number of its own) archived into Belege by
// "archivd eingang" (supplier match, number reservation, index values,
// audit), on SQLite and, when installed, on PostgreSQL.
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

using namespace archiv;

namespace {

bool laufen(QTextStream &aus, const QString &db, const QByteArray &vorlage, int anzahl)
{
    QString ausgabe;
    if (test::ArchivServer::archivd({QStringLiteral("demo"), QStringLiteral("--db"), db, QStringLiteral("--belege"), QStringLiteral("200")},
                                    &ausgabe, 600000) != 0) {
        aus << "bench_eingang: demo: " << ausgabe << Qt::endl;
        return false;
    }
    QTemporaryDir ordner;
    for (int i = 0; i < anzahl; ++i) {
        QByteArray x = vorlage;
        x.replace("<cbc:ID>123456XX</cbc:ID>", "<cbc:ID>BENCH-" + QByteArray::number(i) + "</cbc:ID>");
        QFile f(QDir(ordner.path()).filePath(QStringLiteral("rechnung-%1.xml").arg(i)));
        f.open(QIODevice::WriteOnly);
        f.write(x);
    }
    QElapsedTimer uhr;
    uhr.start();
    const int rc = test::ArchivServer::archivd({QStringLiteral("eingang"), ordner.path(), QStringLiteral("--db"), db}, &ausgabe, 600000);
    const double sekunden = uhr.elapsed() / 1000.0;
    aus << (db.startsWith(QLatin1String("postgresql:")) ? "PostgreSQL" : "SQLite") << ": " << ausgabe.trimmed() << Qt::endl;
    // One second of it is the look that makes sure every file is complete.
    aus << QStringLiteral("  %1 Dateien in %2 s (davon 1 s Warten auf vollständige Dateien), %3 Belege/s")
               .arg(anzahl)
               .arg(sekunden, 0, 'f', 1)
               .arg(anzahl / qMax(0.001, sekunden - 1.0), 0, 'f', 0)
        << Qt::endl;
    return rc == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qputenv("ARCHIVD_BIN", ARCHIVD_PFAD);
    QTextStream aus(stdout);
    QString beispiele = qEnvironmentVariable("ARCHIV_EINVOICE");
    if (beispiele.isEmpty())
        beispiele = QStringLiteral(ARCHIV_QUELLE "/../shared/einvoice");
    QFile f(beispiele + QStringLiteral("/kosit/business-cases/standard/01.01a-INVOICE_ubl.xml"));
    if (!f.open(QIODevice::ReadOnly)) {
        aus << "bench_eingang: kein Beispiel in " << beispiele << Qt::endl;
        return 1;
    }
    const QByteArray vorlage = f.readAll();
    const int anzahl = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    QTemporaryDir dir;
    bool ok = laufen(aus, dir.filePath(QStringLiteral("eingang.sqlite")), vorlage, anzahl);
    if (test::PostgresCluster::installiert()) {
        test::PostgresCluster pg;
        if (pg.starten())
            ok = laufen(aus, pg.neueDatenbank(), vorlage, anzahl) && ok;
        else
            aus << "bench_eingang: PostgreSQL startet nicht" << Qt::endl;
    }
    return ok ? 0 : 1;
}
