#include "Registry.h"
#include "server/HttpTransport.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTest>

using namespace archiv;
using archiv::test::ArchivServer;

namespace {

// A raw TLS connection, the certificate taken as it comes.
std::unique_ptr<QSslSocket> verbinden(const ArchivServer &server)
{
    auto s = std::make_unique<QSslSocket>();
    s->setPeerVerifyMode(QSslSocket::VerifyNone);
    s->connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(server.port()));
    s->waitForEncrypted(5000);
    return s;
}

// The request as a workstation sends it: to the server's address, with
// the test's access key.
QByteArray mitZugang(const ArchivServer &server, QByteArray anfrage)
{
    const QByteArray sitzung = server::sitzungFuer(QStringLiteral("127.0.0.1"), server.port()).toLatin1();
    return anfrage.replace("\r\nHost: x\r\n", "\r\nHost: 127.0.0.1\r\nAuthorization: " + server.zugangKopf() + "\r\nX-Archiv-Sitzung: " +
                                                sitzung + "\r\n");
}

// One raw HTTP exchange: what the server answers on the status line, or
// "" when it answers nothing within the time.
QByteArray roh(const ArchivServer &server, const QByteArray &anfrage, int zeitMs = 5000)
{
    const auto verbindung = verbinden(server);
    QSslSocket &s = *verbindung;
    if (!s.isEncrypted())
        return "keine Verbindung";
    s.write(mitZugang(server, anfrage));
    s.waitForBytesWritten(2000);
    QByteArray antwort;
    QElapsedTimer uhr;
    uhr.start();
    while (!antwort.contains("\r\n") && uhr.elapsed() < zeitMs && s.state() == QAbstractSocket::ConnectedState)
        if (s.waitForReadyRead(100))
            antwort += s.readAll();
    antwort += s.readAll();
    return antwort.left(antwort.indexOf("\r\n"));
}

} // namespace

// The server under what a working day and a careless or hostile client
// bring: lists of any length, odd HTTP, large bodies.
class TestServerlast : public QObject
{
    Q_OBJECT
    std::unique_ptr<ArchivServer> m_server;
    server::Verbindung m_v;

    void anlegen(const QString &klasse, const QMap<QString, QString> &props, const QMap<QString, QString> &refs = {})
    {
        server::Objekt o = m_v.New(klasse);
        for (auto it = props.cbegin(); it != props.cend(); ++it)
            o.set(it.key(), it.value());
        for (auto it = refs.cbegin(); it != refs.cend(); ++it)
            o.setRef(it.key(), it.value());
        QCOMPARE(o.SYS_Save(), 1);
    }

    static QString liste(int n, const QString &vorsatz, const QString &trenner)
    {
        QStringList l;
        for (int i = 0; i < n; ++i)
            l << vorsatz + QString::number(i);
        return l.join(trenner);
    }

    // The query forms that take lists, with a list of n entries in the
    // place where the client sends one.
    static QList<std::tuple<QString, QString, QStringList>> abfragen(int n)
    {
        return {
            {"AR.Dokumente", "Suche", {"1", liste(n, "T", ","), "", "", "", "", "500"}},
            {"AR.Dokumente", "Suche", {"1", "", liste(n, "", ","), "", "", "", "500"}},
            {"AR.Dokumente", "Suche", {"1", "ER", "", "", "", "3|" + liste(n, "M", "`"), "500"}},
            {"AR.Lief", "Liste", {"1", "", liste(n, "L", " ")}},
            {"AR.Mitarb", "Liste", {"1", liste(n, "T", ",")}},
            {"AR.BelartIndex", "ListeIndexart", {liste(n, "T", ","), "1", "J"}},
        };
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Leer);
        // Hundreds of workstations, here all on one address.
        QVERIFY2(m_server->starten({QStringLiteral("--max-connections-per-address"), QStringLiteral("1200")}), qPrintable(m_server->fehler()));
        QVERIFY(m_v.Connect(m_server->verbindungstext()));
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Firma"), {{{"Firma", "1"}, {"Name", "Firma 1"}}}));
        QVERIFY(
            m_server->stammdaten(QStringLiteral("AR.Belart"), {{{"Firma", "1"}, {"Belart", "ER"}, {"Bezeichnung", "Eingangsrechnung"}}}));
        anlegen(QStringLiteral("AR.Dokumente"), {{"Firma", "1"}, {"Belnr", "7"}, {"Datum", "2026-01-02"}}, {{"IdBelart", "1||ER"}});
    }

    void listenLaengen_data()
    {
        QTest::addColumn<int>("laenge");
        QTest::addColumn<bool>("angenommen");
        QTest::newRow("1") << 1 << true;
        QTest::newRow("2") << 2 << true;
        QTest::newRow("500") << 500 << true;
        QTest::newRow("1000") << 1000 << true;
        QTest::newRow("1001") << 1001 << false;
    }
    void listenLaengen()
    {
        QFETCH(int, laenge);
        QFETCH(bool, angenommen);
        for (const auto &[klasse, name, args] : abfragen(laenge)) {
            server::ErgebnisMenge rs = m_v.ResultSet(klasse, name);
            try {
                rs.Execute(args);
                QVERIFY2(angenommen, qPrintable(klasse + u' ' + name));
            } catch (const server::ServerFehler &e) {
                QVERIFY2(!angenommen, qPrintable(klasse + u' ' + name + u' ' + e.meldung()));
                QCOMPARE(e.status(), 400);
                QVERIFY2(e.meldung().contains(QStringLiteral("höchstens 1000 Einträge")), qPrintable(e.meldung()));
            }
            rs.Close();
        }
    }

    void vieleKriterienUndBereiche()
    {
        // Beyond what the window can send: refused with a reason, not a
        // database error and not a minute of work.
        QStringList kriterien;
        for (int i = 0; i < 989; ++i)
            kriterien << QStringLiteral("5|wert%1").arg(i);
        server::ErgebnisMenge rs = m_v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        try {
            rs.Execute(QStringList{"1", "", "", "", "", kriterien.join(u','), "500"});
            QFAIL("989 criteria were searched");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 400);
            QVERIFY2(e.meldung().startsWith(QStringLiteral("Kriterien:")), qPrintable(e.meldung()));
        }
        try {
            rs.Execute(QStringList{"1", "", liste(60, "1-", ","), "", "", "", "500"});
            QFAIL("60 ranges were searched");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 400);
            QVERIFY2(e.meldung().startsWith(QStringLiteral("Belegnummern:")), qPrintable(e.meldung()));
        }
        // 1000 exact numbers are one list.
        rs.Execute(QStringList{"1", "", liste(999, "", ",") + QStringLiteral(",7"), "", "", "", "500"});
        QVERIFY(rs.Next());
        QCOMPARE(rs.GetData(3), QStringLiteral("7"));
    }

    void anweisungenBleibenBegrenzt()
    {
        // The same database in this process: every query form once, then
        // 2 000 searches with lists of every length add no statement.
        auto db = archivd::Datenbank::oeffnen(m_server->dbPfad());
        archivd::ObjektSpeicher objekte(*db);
        archivd::BlobSpeicher blobs(*db);
        archivd::Kontext k{*db, objekte, blobs};
        const archivd::Registry &r = archivd::Registry::standard();
        const auto laufen = [&](int n) {
            for (const auto &[klasse, name, args] : abfragen(n))
                r.findeAbfrage(klasse, name, int(args.size())).ausfuehren(k, args);
        };
        laufen(1);
        laufen(3);
        const int formen = db->vorbereiteteAnzahl();
        QVERIFY(formen > 0);
        QRandomGenerator z(7);
        for (int i = 0; i < 2000 / 6; ++i)
            laufen(1 + int(z.bounded(1000)));
        QCOMPARE(db->vorbereiteteAnzahl(), formen);
        QVERIFY(formen <= archivd::Datenbank::MaxVorbereitet);
    }

    void fehlerOhneInterna()
    {
        // A Beleg saved meanwhile at another workstation: a conflict in
        // plain words.
        server::Objekt neu = m_v.New(QStringLiteral("AR.Dokumente"));
        neu.set(QStringLiteral("Firma"), QStringLiteral("1"));
        neu.set(QStringLiteral("Belnr"), QStringLiteral("Zwei Plätze"));
        neu.setRef(QStringLiteral("IdBelart"), QStringLiteral("1||ER"));
        QCOMPARE(neu.SYS_Save(), 1);
        server::Objekt hier = m_v.OpenId(QStringLiteral("AR.Dokumente"), neu.SYS_Id());
        server::Objekt dort = m_v.OpenId(QStringLiteral("AR.Dokumente"), neu.SYS_Id());
        hier.set(QStringLiteral("Text"), QStringLiteral("hier"));
        QCOMPARE(hier.SYS_Save(), 1);
        dort.set(QStringLiteral("Text"), QStringLiteral("dort"));
        QVERIFY(dort.SYS_Save() != 1);
        const QString meldung = dort.letzterFehler();
        QVERIFY(!meldung.isEmpty());
        for (const char *intern : {"SQL", "FOREIGN", "constraint", "sqlite", "postgres"})
            QVERIFY2(!meldung.contains(QLatin1String(intern), Qt::CaseInsensitive), qPrintable(meldung));
        QCOMPARE(m_v.OpenId(QStringLiteral("AR.Dokumente"), neu.SYS_Id()).get(QStringLiteral("Text")), QStringLiteral("hier"));
    }

    void strengesHttp_data()
    {
        QTest::addColumn<QByteArray>("anfrage");
        QTest::addColumn<QByteArray>("status");
        const QByteArray json = R"({"class":"AR.Firma","query":"Liste","args":[]})";
        const QByteArray post = "POST /v1/TSARCHIV/query HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n";
        QTest::newRow("length and chunked") << post + "Content-Length: " + QByteArray::number(json.size()) +
                "\r\nTransfer-Encoding: chunked\r\n\r\n" +
                json << QByteArray("HTTP/1.1 400");
        QTest::newRow("length twice") << post + "Content-Length: " + QByteArray::number(json.size()) +
                "\r\nContent-Length: " + QByteArray::number(json.size()) + "\r\n\r\n" +
                json << QByteArray("HTTP/1.1 400");
        QTest::newRow("negative length") << post + "Content-Length: -1\r\n\r\n" + json << QByteArray("HTTP/1.1 400");
        QTest::newRow("unknown transfer coding") << post + "Transfer-Encoding: gzip\r\n\r\n" << QByteArray("HTTP/1.1 400");
        QTest::newRow("blob id with a line feed")
            << QByteArray("GET /v1/TSARCHIV/blob/" + QByteArray(64, 'a') + "%0a HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("HTTP/1.1 400");
        QTest::newRow("NUL in an object id") << QByteArray("GET /v1/TSARCHIV/object/AR.Firma/1%00 HTTP/1.1\r\nHost: x\r\n\r\n")
                                             << QByteArray("HTTP/1.1 400");
        QTest::newRow("JSON body of 100 MB") << post + "Content-Length: 100000000\r\n\r\n" + json << QByteArray("HTTP/1.1 413");
        QTest::newRow("two byte ranges") << QByteArray("GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\nRange: bytes=0-1,5-9\r\n\r\n")
                                         << QByteArray("HTTP/1.1 400");
    }
    void strengesHttp()
    {
        QFETCH(QByteArray, anfrage);
        QFETCH(QByteArray, status);
        QCOMPARE(roh(*m_server, anfrage).left(status.size()), status);
        // And the server goes on answering.
        QCOMPARE(roh(*m_server, "GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\n\r\n"), QByteArray("HTTP/1.1 200 OK"));
    }

    void grosserKoerperWirdNichtGelesen()
    {
        // Headers of a 100 MB JSON body and 20 MB of it: refused from its
        // length, the server's memory does not grow by the body.
        const qint64 vorher = m_server->rssKiB();
        const auto verbindung = verbinden(*m_server);
        QSslSocket &s = *verbindung;
        QVERIFY(s.isEncrypted());
        s.write(mitZugang(
            *m_server,
            "POST /v1/TSARCHIV/query HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 100000000\r\n\r\n"));
        const QByteArray block(1024 * 1024, ' ');
        for (int i = 0; i < 20 && s.state() == QAbstractSocket::ConnectedState; ++i) {
            s.write(block);
            s.waitForBytesWritten(1000);
        }
        QByteArray antwort;
        QElapsedTimer uhr;
        uhr.start();
        while (!antwort.contains("\r\n") && uhr.elapsed() < 5000)
            if (s.waitForReadyRead(100) || s.bytesAvailable())
                antwort += s.readAll();
        QVERIFY2(antwort.startsWith("HTTP/1.1 413"), antwort.left(80).constData());
        QVERIFY2(m_server->rssKiB() - vorher < 50 * 1024, qPrintable(QStringLiteral("%1 → %2 KiB").arg(vorher).arg(m_server->rssKiB())));
    }

    void ruhendeVerbindungenHaltenNiemandenAuf()
    {
        // 300 workstations connected and silent: another is answered at once.
        QList<std::shared_ptr<QSslSocket>> ruhend;
        for (int i = 0; i < 300; ++i) {
            std::shared_ptr<QSslSocket> s = verbinden(*m_server);
            QVERIFY(s->isEncrypted());
            ruhend << s;
        }
        QElapsedTimer uhr;
        uhr.start();
        QCOMPARE(roh(*m_server, "GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\n\r\n", 1000), QByteArray("HTTP/1.1 200 OK"));
        QVERIFY2(uhr.elapsed() < 1000, qPrintable(QString::number(uhr.elapsed())));
        server::ErgebnisMenge rs = m_v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "ER", "", "", "", "", "500"});
        QVERIFY(rs.Next());
        QVERIFY2(uhr.elapsed() < 1000, qPrintable(QString::number(uhr.elapsed())));
    }

    void langsamerKopfWirdGeschlossen_data()
    {
        QTest::addColumn<int>("abstandMs");
        QTest::newRow("still nach einem Teil") << 0;
        QTest::newRow("ein Byte je halbe Sekunde") << 500;
    }

    void langsamerKopfWirdGeschlossen()
    {
        // A header trickled in, or half of one and then nothing: the
        // connection is closed at the header deadline, however often a
        // byte arrives, instead of holding its worker for good.
        QFETCH(int, abstandMs);
        ArchivServer kurz(ArchivServer::Inhalt::Leer);
        QVERIFY2(kurz.starten({QStringLiteral("--header-timeout"), QStringLiteral("2")}), qPrintable(kurz.fehler()));
        const auto verbindung = verbinden(kurz);
        QSslSocket &s = *verbindung;
        QVERIFY(s.isEncrypted());
        s.write("GET /v1/TSARCHIV/pi");
        s.waitForBytesWritten(1000);
        QElapsedTimer uhr;
        uhr.start();
        while (s.state() == QAbstractSocket::ConnectedState && uhr.elapsed() < 20000) {
            s.waitForDisconnected(abstandMs > 0 ? abstandMs : 500);
            if (abstandMs > 0 && s.state() == QAbstractSocket::ConnectedState) {
                s.write("n");
                s.waitForBytesWritten(200);
            }
        }
        QCOMPARE(s.state(), QAbstractSocket::UnconnectedState);
        QVERIFY2(uhr.elapsed() < 6000, qPrintable(QString::number(uhr.elapsed())));
        // A request that comes in time on a connection of the same server is answered.
        QCOMPARE(roh(kurz, "GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\n\r\n"), QByteArray("HTTP/1.1 200 OK"));
    }

    void verbindungsgrenzeWeistKlarAb()
    {
        // Five connections allowed: the sixth is answered at once with 503
        // and a message the client shows, through TLS; once one closes, a
        // new one is served.
        ArchivServer eng(ArchivServer::Inhalt::Leer);
        QVERIFY2(eng.starten({QStringLiteral("--max-connections"), QStringLiteral("5")}), qPrintable(eng.fehler()));
        QList<std::shared_ptr<QSslSocket>> offen;
        for (int i = 0; i < 5; ++i) {
            std::shared_ptr<QSslSocket> s = verbinden(eng);
            QVERIFY(s->isEncrypted());
            offen << s;
        }
        QTest::qWait(200); // the server has taken all five
        server::HttpTransport t(QStringLiteral("127.0.0.1"), eng.port(), QStringLiteral("TSARCHIV"));
        try {
            t.get(QStringLiteral("ping"));
            QFAIL("the sixth connection was served");
        } catch (const server::ServerFehler &f) {
            QCOMPARE(f.status(), 503);
            QCOMPARE(f.code(), QStringLiteral("busy"));
            QVERIFY2(f.meldung().contains(QStringLiteral("ausgelastet")), qPrintable(f.meldung()));
        }
        QElapsedTimer uhr;
        uhr.start();
        QCOMPARE(roh(eng, "GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\n\r\n"), QByteArray("HTTP/1.1 503 Service Unavailable"));
        QVERIFY2(uhr.elapsed() < 1000, qPrintable(QString::number(uhr.elapsed())));
        offen.first()->abort();
        offen.removeFirst();
        QByteArray antwort;
        uhr.restart();
        while (antwort != "HTTP/1.1 200 OK" && uhr.elapsed() < 3000) {
            QTest::qWait(100);
            antwort = roh(eng, "GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\n\r\n");
        }
        QCOMPARE(antwort, QByteArray("HTTP/1.1 200 OK"));
    }

    void grosseDateiGehtInTeilen()
    {
        // 200 MB up and back: the server never holds the file whole.
        constexpr qint64 groesse = 200LL * 1024 * 1024;
        const qint64 vorher = m_server->rssKiB(true);
        const auto verbindung = verbinden(*m_server);
        QSslSocket &s = *verbindung;
        QVERIFY(s.isEncrypted());
        s.write(mitZugang(*m_server,
                          "PUT /v1/TSARCHIV/blob HTTP/1.1\r\nHost: x\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                              QByteArray::number(groesse) + "\r\n\r\n"));
        QCryptographicHash hash(QCryptographicHash::Sha256);
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qint64 i = 0; i < groesse / block.size(); ++i) {
            for (int j = 0; j < block.size(); j += 4096)
                block[j] = char(i + j / 4096);
            hash.addData(block);
            s.write(block);
            while (s.bytesToWrite() > 4 * block.size())
                s.waitForBytesWritten(1000);
        }
        while (s.bytesToWrite() > 0 && s.waitForBytesWritten(5000)) { }
        QByteArray antwort;
        QElapsedTimer uhr;
        uhr.start();
        while (!antwort.contains("\r\n\r\n{") && uhr.elapsed() < 60000)
            if (s.waitForReadyRead(200))
                antwort += s.readAll();
        while (!antwort.endsWith('}') && s.waitForReadyRead(2000))
            antwort += s.readAll();
        const QString id = QString::fromLatin1(hash.result().toHex());
        QVERIFY2(antwort.startsWith("HTTP/1.1 200"), antwort.left(200).constData());
        QVERIFY2(antwort.contains(id.toLatin1()), antwort.constData());
        QVERIFY2(m_server->rssKiB(true) - vorher < 50 * 1024,
                 qPrintable(QStringLiteral("peak %1 → %2 KiB").arg(vorher).arg(m_server->rssKiB(true))));

        // Back again, whole and as one byte range.
        const auto holenVerbindung = verbinden(*m_server);
        QSslSocket &holen = *holenVerbindung;
        QVERIFY(holen.isEncrypted());
        holen.write(mitZugang(*m_server, "GET /v1/TSARCHIV/blob/" + id.toLatin1() + " HTTP/1.1\r\nHost: x\r\n\r\n"));
        QByteArray kopf;
        while (!kopf.contains("\r\n\r\n") && holen.waitForReadyRead(5000))
            kopf += holen.readAll();
        QVERIFY2(kopf.startsWith("HTTP/1.1 200"), kopf.left(100).constData());
        QCryptographicHash wieder(QCryptographicHash::Sha256);
        QByteArray rest = kopf.mid(kopf.indexOf("\r\n\r\n") + 4);
        qint64 empfangen = rest.size();
        wieder.addData(rest);
        while (empfangen < groesse && (holen.bytesAvailable() || holen.waitForReadyRead(5000))) {
            const QByteArray teil = holen.read(qMin<qint64>(holen.bytesAvailable(), groesse - empfangen));
            empfangen += teil.size();
            wieder.addData(teil);
        }
        QCOMPARE(empfangen, groesse);
        QCOMPARE(QString::fromLatin1(wieder.result().toHex()), id);
        QVERIFY2(m_server->rssKiB(true) - vorher < 50 * 1024,
                 qPrintable(QStringLiteral("peak %1 → %2 KiB").arg(vorher).arg(m_server->rssKiB(true))));
        const QByteArray bereich = roh(
            *m_server, "GET /v1/TSARCHIV/blob/" + id.toLatin1() + " HTTP/1.1\r\nHost: x\r\nRange: bytes=1048570-1048580\r\n\r\n");
        QCOMPARE(bereich, QByteArray("HTTP/1.1 206 Partial Content"));
    }
};

QTEST_GUILESS_MAIN(TestServerlast)
#include "tst_serverlast.moc"
