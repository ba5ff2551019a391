// A working day in a minute: N workstations, each with its own keep-alive
// connection, search, read Belege and save, beside idle connections and
// connections that send their headers a byte at a time. Prints requests/s,
// p50/p99 per kind, errors, ping under load and the server's memory.
//
//   bench_last [--plaetze 200] [--sekunden 60] [--langsam 500] [--ruhend 300] [--db ARCHIV]
//              [--pause MS] [--minuten N] [--rueckstand]
//
// --pause is a workstation's time between two requests (default: a person,
// 0.5 to 2.5 s; 0: as fast as the server answers). --minuten N runs a long
// working day instead: N minutes, the server's memory and the request rate
// printed every 30 s. --rueckstand: beside a full-text backlog, every
// document of the archive queued and read by one OCR thread meanwhile.
#include "BenchServer.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace archiv;

namespace {

QTextStream aus(stdout);

struct Messung
{
    // The first seconds fill the server's connection pool and statement
    // caches: steady state is measured after them.
    std::atomic<bool> zaehlen{false};
    std::mutex sperre;
    QMap<QString, QList<double>> zeiten;
    std::atomic<int> fehler{0};
    QStringList fehlerTexte;

    void eintragen(const QString &art, double ms)
    {
        if (!zaehlen)
            return;
        std::lock_guard l(sperre);
        zeiten[art] << ms;
    }
    void fehlschlag(const QString &text)
    {
        ++fehler;
        std::lock_guard l(sperre);
        if (fehlerTexte.size() < 5)
            fehlerTexte << text;
    }
};

double perzentil(QList<double> w, double p)
{
    std::sort(w.begin(), w.end());
    return w.isEmpty() ? 0 : w.at(qMin(w.size() - 1, qsizetype(double(w.size()) * p)));
}

int verbinden(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    ::fcntl(s, F_SETFL, O_NONBLOCK);
    return s;
}

// One workstation: searches, opens Belege, saves one now and then.
void arbeitsplatz(int nr, const QString &adresse, const QStringList &belege, const std::atomic<bool> &ende, Messung &m, int pause,
                  std::atomic<qint64> &anfragen)
{
    server::Verbindung v;
    if (!v.Connect(adresse)) {
        m.fehlschlag(QStringLiteral("Platz %1: keine Verbindung").arg(nr));
        return;
    }
    QRandomGenerator z(quint32(nr + 1));
    const QStringList typen{"ER", "AR", "LS", "BE"};
    while (!ende) {
        const int wahl = int(z.bounded(100));
        QElapsedTimer uhr;
        uhr.start();
        try {
            if (wahl < 45) {
                server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
                rs.Execute(QStringList{"1", typen.at(int(z.bounded(4))), "", "2025-01-01", "", z.bounded(2) ? "22|Bar" : "", "500"});
                while (rs.Next()) { }
                rs.Close();
                m.eintragen(QStringLiteral("Suche"), uhr.nsecsElapsed() / 1e6);
            } else if (wahl < 65) {
                server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.BelartIndex"), QStringLiteral("ListeIndexart"));
                rs.Execute(QStringList{typen.mid(0, 1 + int(z.bounded(4))).join(u','), "1", "J"});
                while (rs.Next()) { }
                rs.Close();
                m.eintragen(QStringLiteral("kleine Abfrage"), uhr.nsecsElapsed() / 1e6);
            } else if (wahl < 95) {
                server::Objekt d = v.OpenId(QStringLiteral("AR.Dokumente"), belege.at(int(z.bounded(belege.size()))));
                d.get(QStringLiteral("Belnr"));
                d.SYS_Close();
                m.eintragen(QStringLiteral("Beleg lesen"), uhr.nsecsElapsed() / 1e6);
            } else {
                server::Objekt d = v.OpenId(QStringLiteral("AR.Dokumente"), belege.at(int(z.bounded(belege.size()))));
                d.set(QStringLiteral("Aenderung"), QStringLiteral("Last %1").arg(z.generate()));
                // Two workstations may save the same Beleg: 0 with 409 is an answer, not an error.
                if (d.SYS_Save() != 1 && !d.letzterFehler().contains(QStringLiteral("anderen Arbeitsplatz")))
                    m.fehlschlag(d.letzterFehler());
                d.SYS_Close();
                m.eintragen(QStringLiteral("Beleg speichern"), uhr.nsecsElapsed() / 1e6);
            }
        } catch (const server::ServerFehler &e) {
            m.fehlschlag(e.meldung());
        }
        ++anfragen;
        // A person clicks every second or two, not in a tight loop.
        if (pause < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(500 + z.bounded(2000)));
        else if (pause > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addOption({"plaetze", "Arbeitsplätze", "n", "200"});
    p.addOption({"sekunden", "Dauer", "s", "60"});
    p.addOption({"langsam", "Verbindungen, die ihren Kopf Byte für Byte senden", "n", "500"});
    p.addOption({"ruhend", "Verbindungen, die nichts senden", "n", "300"});
    p.addOption({"db", "vorhandenes Archiv (sonst ein Demoarchiv)", "pfad"});
    p.addOption({"pause", "Millisekunden zwischen zwei Anfragen eines Platzes (Standard: 500 bis 2500; 0: ohne Pause)", "ms", "-1"});
    p.addOption({"minuten", "ein langer Arbeitstag: so viele Minuten, Speicher und Rate alle 30 s", "n", "0"});
    p.addOption({"rueckstand", "neben dem Lesen aller Dokumente des Archivs für den Volltext (ein OCR-Thread)"});
    p.process(app);
    const int pause = p.value("pause").toInt();
    const int minuten = p.value("minuten").toInt();
    const int plaetze = p.value("plaetze").toInt();
    const int sekunden = p.value("sekunden").toInt();
    const int langsam = p.value("langsam").toInt();
    const int ruhend = p.value("ruhend").toInt();

    // Every workstation here comes from one address: the share one host may
    // hold is the whole.
    QStringList serve{"--max-connections-per-address", "1200"};
    if (p.isSet("rueckstand"))
        serve << "--ocr-threads" << "1";
    const auto server = p.isSet("db") ? bench::archivServer(p.value("db"), serve) : bench::demoServer(3000, serve);
    if (!server)
        return 1;
    if (p.isSet("rueckstand")) {
        QString ausgabe;
        test::ArchivServer::archivd({"volltext", "neu", "--db", server->dbPfad()}, &ausgabe);
        aus << ausgabe.trimmed() << Qt::endl;
    }
    server::Verbindung v;
    if (!v.Connect(server->verbindungstext()))
        return 1;
    QStringList belege;
    {
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "", "", "", "", "", "2000"});
        while (rs.Next())
            belege << rs.GetData(1);
    }
    aus << plaetze << " workstations, " << sekunden << " s after 10 s of warming up, " << langsam << " slow-header and " << ruhend
        << " idle connections, " << belege.size() << " Belege to open" << Qt::endl;
    const qint64 rssStart = server->rssKiB();

    std::atomic<bool> ende{false};
    Messung m;
    // Slow headers: a byte every second to each; closed ones are opened again.
    std::thread trickler([&] {
        const QByteArray kopf = "GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\nX-Lang: ";
        QList<std::pair<int, int>> sockel; // fd, bytes sent
        QList<int> still;
        while (!ende) {
            while (sockel.size() < langsam) {
                const int s = verbinden(server->port());
                if (s < 0)
                    break;
                sockel.append({s, 0});
            }
            while (still.size() < ruhend) {
                const int s = verbinden(server->port());
                if (s < 0)
                    break;
                still << s;
            }
            for (auto it = sockel.begin(); it != sockel.end();) {
                const char c = it->second < kopf.size() ? kopf.at(it->second) : 'x';
                if (::send(it->first, &c, 1, MSG_NOSIGNAL) != 1) {
                    ::close(it->first);
                    it = sockel.erase(it);
                } else {
                    ++it->second;
                    ++it;
                }
            }
            for (auto it = still.begin(); it != still.end();) {
                char c;
                if (::recv(*it, &c, 1, MSG_DONTWAIT) == 0) { // closed by the server
                    ::close(*it);
                    it = still.erase(it);
                } else {
                    ++it;
                }
            }
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        for (const auto &[s, n] : sockel)
            ::close(s);
        for (int s : still)
            ::close(s);
    });

    std::atomic<qint64> anfragen{0};
    std::vector<std::thread> arbeit;
    for (int i = 0; i < plaetze; ++i)
        arbeit.emplace_back(arbeitsplatz, i, server->verbindungstext(), belege, std::cref(ende), std::ref(m), pause, std::ref(anfragen));

    if (minuten > 0) {
        // The long day: memory and rate every 30 s; memory that grows with
        // the requests served shows here.
        aus << "minute  requests/s  server RSS MB  errors" << Qt::endl;
        QElapsedTimer tag;
        tag.start();
        qint64 vorher = 0;
        for (int halbe = 1; halbe <= minuten * 2; ++halbe) {
            while (tag.elapsed() < halbe * 30000LL)
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const qint64 jetzt = anfragen.load();
            aus << QString::number(halbe / 2.0, 'f', 1).rightJustified(6) << QString::number((jetzt - vorher) / 30.0, 'f', 0).rightJustified(12)
                << QString::number(server->rssKiB() / 1024).rightJustified(15) << QString::number(m.fehler.load()).rightJustified(8) << Qt::endl;
            vorher = jetzt;
        }
        ende = true;
        for (std::thread &t : arbeit)
            t.join();
        trickler.join();
        return m.fehler > 0 ? 1 : 0;
    }

    QList<double> ping;
    qint64 rss30 = 0;
    QElapsedTimer uhr;
    uhr.start();
    server::Verbindung pingVerbindung;
    pingVerbindung.Connect(server->verbindungstext());
    constexpr qint64 Anlauf = 10000;
    while (uhr.elapsed() < Anlauf + qint64(sekunden) * 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (!m.zaehlen) {
            m.zaehlen = uhr.elapsed() >= Anlauf;
            continue;
        }
        QElapsedTimer p;
        p.start();
        server::ErgebnisMenge rs = pingVerbindung.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
        try {
            rs.Execute();
            ping << p.nsecsElapsed() / 1e6;
        } catch (const server::ServerFehler &e) {
            m.fehlschlag(QStringLiteral("Ping: ") + e.meldung());
        }
        if (rss30 == 0 && uhr.elapsed() >= Anlauf + qint64(sekunden) * 500)
            rss30 = server->rssKiB();
    }
    ende = true;
    for (std::thread &t : arbeit)
        t.join();
    trickler.join();
    const double dauer = (uhr.elapsed() - Anlauf) / 1000.0;

    int alle = 0;
    for (auto it = m.zeiten.cbegin(); it != m.zeiten.cend(); ++it) {
        alle += int(it->size());
        aus << it.key() << ": " << it->size() << " requests, p50 " << perzentil(*it, 0.5) << " ms, p99 " << perzentil(*it, 0.99) << " ms"
            << Qt::endl;
    }
    aus << "all: " << alle / dauer << " requests/s, errors: " << m.fehler
        << (m.fehlerTexte.isEmpty() ? QString() : " (" + m.fehlerTexte.join("; ") + ")") << Qt::endl;
    aus << "small query beside them, every 0.5 s: p50 " << perzentil(ping, 0.5) << " ms, p99 " << perzentil(ping, 0.99) << " ms, max "
        << perzentil(ping, 1.0) << " ms" << Qt::endl;
    if (p.isSet("rueckstand")) {
        QString ausgabe;
        test::ArchivServer::archivd({"volltext", "status", "--db", server->dbPfad()}, &ausgabe);
        aus << "full-text backlog after the run: " << ausgabe.simplified() << Qt::endl;
    }
    aus << "server RSS: start " << rssStart / 1024 << " MB, at half time " << rss30 / 1024 << " MB, end " << server->rssKiB() / 1024
        << " MB" << Qt::endl;
    return 0;
}
