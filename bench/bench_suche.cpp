// The document search on a large archive (archivd demo --belege 1000000):
// server time of "Suche" beside the same SQL in the sqlite3 shell, and the
// search of 50 000 hits ("Alle") to the last row on the client.
#include "BenchHilfen.h"
#include "BenchServer.h"
#include "search/Suchkriterien.h"
#include "search/TrefferModell.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <optional>

using namespace archiv;

namespace {

QTextStream aus(stdout);

double suchen(server::Verbindung &v, const QStringList &args, int *treffer)
{
    QElapsedTimer uhr;
    uhr.start();
    server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
    rs.Execute(args);
    int n = 0;
    while (rs.Next())
        n += !rs.GetData(1).isEmpty();
    rs.Close();
    *treffer = n;
    return uhr.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        aus << "usage: bench_suche ARCHIVE.sqlite [--volltext]\n       bench_suche --postgres BELEGE [--volltext]" << Qt::endl;
        return 2;
    }
    QString db = QString::fromLocal8Bit(argv[1]);
    // On PostgreSQL: a cluster of its own, filled with the demo of that many
    // Belege (with generated page text when --volltext follows).
    std::optional<test::PostgresCluster> pg;
    if (db == QLatin1String("--postgres") && argc > 2) {
        pg.emplace();
        if (!pg->starten()) {
            aus << "bench_suche: PostgreSQL startet nicht: " << pg->fehler() << Qt::endl;
            return 1;
        }
        db = pg->neueDatenbank();
        QStringList demo{QStringLiteral("demo"), QStringLiteral("--db"), db, QStringLiteral("--belege"), QString::fromLocal8Bit(argv[2])};
        if (argc > 3 && QString::fromLocal8Bit(argv[3]) == QLatin1String("--volltext"))
            demo << QStringLiteral("--volltext");
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(ARCHIVD_PFAD), demo);
        if (!p.waitForFinished(-1) || p.exitCode() != 0)
            return 1;
        for (int i = 2; i + 1 < argc; ++i)
            argv[i] = argv[i + 1];
        --argc;
    }
    const auto server = bench::archivServer(db);
    if (!server)
        return 1;
    server::Verbindung v;
    if (!v.Connect(server->verbindungstext()))
        return 1;

    // With --volltext: the full-text queries on an archive made with
    // "archivd demo --volltext" (server time, median of 20).
    if (argc > 2 && QString::fromLocal8Bit(argv[2]) == QLatin1String("--volltext")) {
        const QList<std::pair<const char *, QStringList>> faelle{
            {"seltenes Wort", {"1", "", "", "", "", "", "500", "Rohrschelle"}},
            {"häufiges Wort, Grenze 500", {"1", "", "", "", "", "", "500", "Rechnung"}},
            {"mit Belegart und Datum", {"1", "ER", "", "2024-01-01", "2024-12-31", "", "500", "Rechnung"}},
            {"Präfix und Phrase", {"1", "", "", "", "", "", "500", "Rohr* \"Kopierpapier A4\""}},
        };
        for (const auto &[name, args] : faelle) {
            QList<double> ms;
            int n = 0;
            for (int i = 0; i < 20; ++i)
                ms << suchen(v, args, &n);
            std::sort(ms.begin(), ms.end());
            aus << QStringLiteral("Volltext, %1: %2 ms (Median), %3 Treffer").arg(QString::fromUtf8(name)).arg(ms.at(ms.size() / 2), 0, 'f', 1).arg(n)
                << Qt::endl;
        }
        return 0;
    }

    // Company, three types, one year, one index value, limit 500.
    const QStringList eins{"1", "ER,AR,LS", "", "2024-01-01", "2024-12-31", "22|Bar", "500"};
    QList<double> zeiten;
    int treffer = 0;
    for (int i = 0; i < 30; ++i)
        zeiten << suchen(v, eins, &treffer);
    aus << "Suche (company, 3 types, one year, one index value, limit 500): median " << archiv::bench::median(zeiten) << " ms round trip, "
        << treffer << " hits" << Qt::endl;

    const QString sql = QStringLiteral(
        ".timer on\n"
        "SELECT d.id, b.belart, d.belnr, d.datum, d.zeit, d.text, d.picsw FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
        "WHERE d.firma = 1 AND +d.idbelart IN (SELECT id FROM ar_belart WHERE firma = 1 AND belart IN ('ER','AR','LS')) "
        "AND d.datum >= '2024-01-01' AND d.datum <= '2024-12-31' "
        "AND EXISTS (SELECT 1 FROM ar_extind x WHERE x.iddokumente = d.id AND x.eigenschaft = 22 AND x.wert_gefaltet = 'bar') "
        "ORDER BY d.datum DESC, d.zeit DESC, d.id DESC LIMIT 500;\n");
    for (int i = 0; i < 3; ++i) {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {db});
        p.write(sql.toUtf8());
        p.closeWriteChannel();
        p.waitForFinished(-1);
        const QString ausgabe = QString::fromUtf8(p.readAllStandardOutput());
        aus << "sqlite3 shell, the same SQL: " << ausgabe.section(QStringLiteral("Run Time:"), -1).trimmed() << Qt::endl;
    }

    // A rare value: one customer.
    const QStringList selten{"1", "AR,LS", "", "", "", "1|10001", "500"};
    zeiten.clear();
    for (int i = 0; i < 30; ++i)
        zeiten << suchen(v, selten, &treffer);
    aus << "Suche for one customer over all years: median " << archiv::bench::median(zeiten) << " ms round trip, " << treffer << " hits"
        << Qt::endl;

    const QStringList alle{"1", "", "", "", "", "", "50000"};
    zeiten.clear();
    for (int i = 0; i < 5; ++i)
        zeiten << suchen(v, alle, &treffer);
    aus << "Alle (limit 50000): median " << archiv::bench::median(zeiten) << " ms to the last row on the client, " << treffer << " hits"
        << Qt::endl;

    // The same as the window does it: rows built and the result list's
    // model filled and sorted.
    zeiten.clear();
    search::TrefferModell modell;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer uhr;
        uhr.start();
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(alle);
        QList<search::Trefferzeile> zeilen;
        while (rs.Next())
            zeilen << search::trefferZeile(
                {rs.GetData(1), rs.GetData(2), rs.GetData(3), rs.GetData(4), rs.GetData(5), rs.GetData(6), rs.GetData(7)});
        rs.Close();
        modell.setzen(std::move(zeilen));
        zeiten << uhr.nsecsElapsed() / 1e6;
    }
    aus << "Alle end to end (query, rows, list model filled and sorted): median " << archiv::bench::median(zeiten) << " ms, "
        << modell.rowCount() << " rows" << Qt::endl;
    return 0;
}
