// The server against a hostile host on the LAN, with and without a key:
// what it sends is refused early and never makes the server hold more than
// a bound, a session writes only what its user may, and every write is on
// record as one line.
#include "common/Zugangsschluessel.h"
#include "server/KlassenMethoden.h"
#include "server/Objekt.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/PostgresCluster.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>
#include <QSslSocket>
#include <QTest>

#include <httplib.h>

#include <atomic>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace archiv;
using archiv::test::ArchivServer;

namespace {

// A raw TLS connection, the certificate taken as it comes.
std::unique_ptr<QSslSocket> tls(int port)
{
    auto s = std::make_unique<QSslSocket>();
    s->setPeerVerifyMode(QSslSocket::VerifyNone);
    s->connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(port));
    s->waitForEncrypted(5000);
    return s;
}

// Everything the server answers until it closes or goes quiet.
QByteArray antwort(QSslSocket &s, int zeitMs = 5000)
{
    QByteArray a;
    QElapsedTimer uhr;
    uhr.start();
    while (uhr.elapsed() < zeitMs && s.state() == QAbstractSocket::ConnectedState) {
        if (s.waitForReadyRead(100))
            a += s.readAll();
        else if (!a.isEmpty() && a.contains("\r\n\r\n"))
            break;
    }
    return a + s.readAll();
}

// A TCP connection from a loopback address of the caller's choice that
// never starts its TLS handshake; -1 when it cannot be made.
int halboffen(const char *von, int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in quelle{};
    quelle.sin_family = AF_INET;
    ::inet_pton(AF_INET, von, &quelle.sin_addr);
    sockaddr_in ziel{};
    ziel.sin_family = AF_INET;
    ziel.sin_port = htons(quint16(port));
    ::inet_pton(AF_INET, "127.0.0.1", &ziel.sin_addr);
    if (::bind(s, reinterpret_cast<sockaddr *>(&quelle), sizeof quelle) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr *>(&ziel), sizeof ziel) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

} // namespace

class TestFeindlich : public QObject
{
    Q_OBJECT
    std::unique_ptr<ArchivServer> m_server;

    QByteArray kopf(const QByteArray &anfrage) const
    {
        const QByteArray sitzung = server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).toLatin1();
        return QByteArray(anfrage).replace("\r\nHost: x\r\n", "\r\nHost: 127.0.0.1\r\nAuthorization: " + m_server->zugangKopf() +
                                                                  "\r\nX-Archiv-Sitzung: " + sitzung + "\r\n");
    }

    std::unique_ptr<httplib::Client> client(const QString &nachweis = {})
    {
        auto c = std::make_unique<httplib::Client>(QStringLiteral("https://127.0.0.1:%1").arg(m_server->port()).toStdString());
        c->enable_server_certificate_verification(false);
        c->set_default_headers({{"Authorization", nachweis.isEmpty() ? m_server->zugangKopf().toStdString() : "Bearer " + nachweis.toStdString()},
                                {"X-Archiv-Sitzung", server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).toStdString()}});
        return c;
    }

    static QJsonObject json(const httplib::Result &r)
    {
        return r ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object() : QJsonObject();
    }
    static QString code(const httplib::Result &r) { return json(r).value("error").toObject().value("code").toString(); }

    httplib::Result aufruf(httplib::Client &c, const QString &klasse, const QString &methode, const QStringList &args, const QString &id = {})
    {
        QJsonObject o{{"class", klasse}, {"method", methode}, {"args", QJsonArray::fromStringList(args)}};
        if (!id.isEmpty())
            o.insert("id", id);
        const std::string ns = klasse.startsWith(QLatin1String("TS.")) ? "TESSAM" : "TSARCHIV";
        return c.Post("/v1/" + ns + "/call", QJsonDocument(o).toJson().toStdString(), "application/json");
    }

    QString protokoll(const QStringList &args = {})
    {
        QString ausgabe;
        ArchivServer::archivd(QStringList{"audit", "--db", m_server->dbPfad()} + args, &ausgabe);
        return ausgabe;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten({QStringLiteral("--max-connections"), QStringLiteral("64"), QStringLiteral("--upload-limit"),
                                    QStringLiteral("1")}),
                 qPrintable(m_server->fehler()));
    }

    // Without a key: a flood of header lines, or one giant line, is cut off
    // while it is read, with 431, and the server holds no more for it.
    void kopfflutWirdAbgeschnitten_data()
    {
        QTest::addColumn<int>("zeilen");
        QTest::addColumn<int>("laenge");
        QTest::newRow("200 000 short lines") << 200000 << 6;
        QTest::newRow("one line of 200 KiB") << 1 << 200 * 1024;
    }

    void kopfflutWirdAbgeschnitten()
    {
        QFETCH(int, zeilen);
        QFETCH(int, laenge);
        const qint64 vorher = m_server->rssKiB();
        auto s = tls(m_server->port());
        QVERIFY(s->isEncrypted());
        s->write("GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        const QByteArray zeile = "X-A: " + QByteArray(laenge, 'b') + "\r\n";
        for (int i = 0; i < zeilen && s->state() == QAbstractSocket::ConnectedState; ++i) {
            s->write(zeile);
            if (s->bytesToWrite() > 1 << 20)
                s->waitForBytesWritten(100);
        }
        const QByteArray a = antwort(*s);
        QVERIFY2(a.startsWith("HTTP/1.1 431"), a.left(100).constData());
        QVERIFY(a.contains("Connection: close"));
        QVERIFY2(m_server->rssKiB() - vorher < 20 * 1024, qPrintable(QStringLiteral("%1 → %2 KiB").arg(vorher).arg(m_server->rssKiB())));
    }

    void rahmenUndFaltungen_data()
    {
        QTest::addColumn<QByteArray>("anfrage");
        QTest::addColumn<QByteArray>("status");
        const QByteArray json = R"({"class":"AR.Firma","query":"Liste","args":[]})";
        QTest::newRow("a folded header line") << QByteArray("GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\nX-A: b\r\n c\r\n\r\n") << QByteArray("400");
        QTest::newRow("a body without length")
            << QByteArray("POST /v1/TSARCHIV/query HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n\r\n") + json << QByteArray("411");
        QTest::newRow("Transfer-Encoding with a blank")
            << QByteArray("POST /v1/TSARCHIV/query HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nTransfer-Encoding : chunked\r\n"
                          "Content-Length: ") +
                QByteArray::number(json.size()) + "\r\n\r\n" + json
            << QByteArray("400");
        QTest::newRow("an upload without length")
            << QByteArray("PUT /v1/TSARCHIV/blob HTTP/1.1\r\nHost: x\r\nContent-Type: application/octet-stream\r\n\r\nabc") << QByteArray("411");
        QTest::newRow("a new object with a version")
            << QByteArray("POST /v1/TSARCHIV/object/AR.Scandat HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 37\r\n\r\n"
                          R"({"version":"3","props":{"seite":"1"}})")
            << QByteArray("400");
        QTest::newRow("a file of the WWS") << QByteArray("GET /v1/TESSAM/blob/") + QByteArray(64, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"
                                           << QByteArray("404");
    }

    void rahmenUndFaltungen()
    {
        QFETCH(QByteArray, anfrage);
        QFETCH(QByteArray, status);
        auto s = tls(m_server->port());
        QVERIFY(s->isEncrypted());
        s->write(kopf(anfrage));
        const QByteArray a = antwort(*s);
        QVERIFY2(a.startsWith("HTTP/1.1 " + status), a.left(300).constData());
    }

    // A refusal that ends the connection ends it, and two requests sent
    // in one go are both answered.
    void schliessenUndHintereinander()
    {
        auto s = tls(m_server->port());
        QVERIFY(s->isEncrypted());
        s->write("GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); // no key: 401, close
        QElapsedTimer uhr;
        uhr.start();
        const QByteArray a = antwort(*s, 4000);
        QVERIFY2(a.startsWith("HTTP/1.1 401"), a.left(100).constData());
        QTRY_VERIFY_WITH_TIMEOUT(s->state() != QAbstractSocket::ConnectedState, 3000);
        QVERIFY2(uhr.elapsed() < 3000, qPrintable(QString::number(uhr.elapsed())));

        auto p = tls(m_server->port());
        QVERIFY(p->isEncrypted());
        const QByteArray ping = kopf("GET /v1/TSARCHIV/ping HTTP/1.1\r\nHost: x\r\n\r\n");
        p->write(ping + ping);
        QByteArray beide;
        QElapsedTimer zwei;
        zwei.start();
        while (beide.count("HTTP/1.1 200") < 2 && zwei.elapsed() < 4000)
            if (p->waitForReadyRead(100))
                beide += p->readAll();
        QCOMPARE(beide.count("HTTP/1.1 200"), 2);
    }

    // A host that opens connections and never finishes a handshake takes
    // no more than its share, and loses each after a short deadline: a
    // workstation at another address is answered meanwhile.
    void halboffeneVerbindungenEinerAdresse()
    {
        QList<int> offen;
        for (int i = 0; i < 64; ++i) {
            const int s = halboffen("127.0.0.2", m_server->port());
            if (s < 0)
                QSKIP("127.0.0.2 cannot be used as a source address here");
            offen << s;
        }
        QTest::qWait(200);
        auto c = client();
        for (int i = 0; i < 5; ++i) {
            auto r = c->Get("/v1/TSARCHIV/ping");
            QVERIFY2(r && r->status == 200, r ? r->body.c_str() : httplib::to_string(r.error()).c_str());
        }
        // The handshake has a deadline of its own: a silent connection is
        // closed within seconds, not after the whole read timeout.
        char b = 0;
        QElapsedTimer uhr;
        uhr.start();
        const timeval frist{8, 0};
        ::setsockopt(offen.first(), SOL_SOCKET, SO_RCVTIMEO, &frist, sizeof frist);
        QCOMPARE(::recv(offen.first(), &b, 1, 0), ssize_t(0));
        QVERIFY2(uhr.elapsed() < 5000, qPrintable(QString::number(uhr.elapsed())));
        for (int s : offen)
            ::close(s);
    }

    // Password checks: an id no user can have is refused before anything
    // is kept; the spellings of one id are one user.
    void benutzerIds()
    {
        auto c = client();
        const qint64 vorher = m_server->rssKiB();
        for (int i = 0; i < 20; ++i) {
            const QString riesig = QString::number(i) + QStringLiteral("||") + QString(300 * 1024, u'X');
            auto r = aufruf(*c, QStringLiteral("TS.ParPersEdv"), QStringLiteral("PasswortPruefen"), {QStringLiteral("x")}, riesig);
            QVERIFY(r);
            QCOMPARE(r->status, 400);
        }
        QVERIFY2(m_server->rssKiB() - vorher < 30 * 1024, qPrintable(QStringLiteral("%1 → %2 KiB").arg(vorher).arg(m_server->rssKiB())));

        // "01||ek", " 1||EK" and "1||EK" count as the one user EK.
        qint64 vierte = 0;
        const QStringList schreibweisen{QStringLiteral("01||ek"), QStringLiteral("+1||Ek"), QStringLiteral(" 1||EK "), QStringLiteral("1||EK")};
        for (const QString &id : schreibweisen) {
            QElapsedTimer uhr;
            uhr.start();
            auto r = c->Post("/v1/TESSAM/call",
                             QJsonDocument(QJsonObject{{"class", "TS.ParPersEdv"}, {"method", "PasswortPruefen"}, {"args", QJsonArray{"falsch"}}, {"id", id}})
                                 .toJson()
                                 .toStdString(),
                             "application/json");
            QVERIFY(r && r->status == 200);
            QCOMPARE(json(r).value("result").toString(), QStringLiteral("0"));
            vierte = uhr.elapsed();
        }
        QVERIFY2(vierte >= 250, qPrintable(QString::number(vierte)));
        // Logged in under a spelling of its own, the user is on record as 1||EK.
        auto r = c->Post("/v1/TESSAM/call",
                         QJsonDocument(QJsonObject{{"class", "TS.ParPersEdv"}, {"method", "PasswortPruefen"}, {"args", QJsonArray{"erika"}}, {"id", "01||ek"}})
                             .toJson()
                             .toStdString(),
                         "application/json");
        QVERIFY(r && r->status == 200);
        QCOMPARE(json(r).value("result").toString(), QStringLiteral("1"));
        const QString spur = protokoll();
        QVERIFY(spur.contains(QStringLiteral("\t1||EK\tTS.ParPersEdv\t1||EK\tangemeldet")));
        QVERIFY(!spur.contains(QStringLiteral("01||ek")));
    }

    // A workstation guessing a user's password locks that user out of
    // that workstation only, and the lock is on record once.
    void sperreTrifftNurDenRatenden()
    {
        // 24 guesses at once, as a script would send them.
        QString rater;
        QCOMPARE(ArchivServer::archivd({"client", "add", "rater", "--db", m_server->dbPfad()}, &rater), 0);
        const QString nachweis = common::Zugangsschluessel::lesen(ArchivServer::schluesselAus(rater))->nachweis();
        std::atomic<int> beantwortet{0};
        // Two bursts of twelve: one host holds no more connections at once.
        for (int stoss = 0; stoss < 2; ++stoss) {
        std::vector<std::thread> faeden;
        for (int i = 0; i < 12; ++i)
            faeden.emplace_back([&] {
                auto c = client(nachweis);
                c->set_read_timeout(30, 0);
                auto r = aufruf(*c, QStringLiteral("TS.ParPersEdv"), QStringLiteral("PasswortPruefen"), {QStringLiteral("raten")},
                                QStringLiteral("1||MM"));
                if (r && r->status == 200 && json(r).value("result").toString() == QLatin1String("0"))
                    ++beantwortet;
            });
        for (std::thread &t : faeden)
            t.join();
        }
        QCOMPARE(beantwortet.load(), 24);
        auto c = client(nachweis);
        c->set_read_timeout(30, 0);
        auto r = aufruf(*c, QStringLiteral("TS.ParPersEdv"), QStringLiteral("PasswortPruefen"), {QStringLiteral("geheim")}, QStringLiteral("1||MM"));
        QCOMPARE(json(r).value("result").toString(), QStringLiteral("0")); // locked here
        QString zweiter;
        QCOMPARE(ArchivServer::archivd({"client", "add", "sauber", "--db", m_server->dbPfad()}, &zweiter), 0);
        auto sauber = client(common::Zugangsschluessel::lesen(ArchivServer::schluesselAus(zweiter))->nachweis());
        r = aufruf(*sauber, QStringLiteral("TS.ParPersEdv"), QStringLiteral("PasswortPruefen"), {QStringLiteral("geheim")}, QStringLiteral("1||MM"));
        QCOMPARE(json(r).value("result").toString(), QStringLiteral("1"));
        QCOMPARE(protokoll().count(QStringLiteral("\tTS.ParPersEdv\t1||MM\tgesperrt")), 1);
    }

    // Uploads: only by a logged-in user, on record with size and hash, and a
    // workstation has only so much not saved into any object (1 MiB here).
    // What no save took within a day is removed by the administrator's
    // check and the server, on record.
    void hochladungen()
    {
        const QByteArray datei(700 * 1024, 'h');
        const QString id = QString::fromLatin1(QCryptographicHash::hash(datei, QCryptographicHash::Sha256).toHex());
        auto ohne = client();
        ohne->set_default_headers({{"Authorization", m_server->zugangKopf().toStdString()}});
        auto r = ohne->Put("/v1/TSARCHIV/blob", datei.constData(), size_t(datei.size()), "application/octet-stream");
        QVERIFY(r);
        QCOMPARE(r->status, 403);
        QCOMPARE(code(r), QStringLiteral("login_required"));

        auto c = client();
        r = c->Put("/v1/TSARCHIV/blob", datei.constData(), size_t(datei.size()), "application/octet-stream");
        QVERIFY(r && r->status == 200);
        QVERIFY(protokoll().contains(QStringLiteral("\tDatei\t%1\thochgeladen: %2 Bytes").arg(id).arg(datei.size())));
        const QByteArray zweite(700 * 1024, 'z');
        r = c->Put("/v1/TSARCHIV/blob", zweite.constData(), size_t(zweite.size()), "application/octet-stream");
        QVERIFY(r);
        QCOMPARE(r->status, 413);

        // Saved into a scan record, the first no longer counts.
        r = c->Post("/v1/TSARCHIV/object/AR.Scandat",
                    QStringLiteral(R"({"props":{"seite":"1"},"streams":{"dok":{"blob":"%1"}}})").arg(id).toStdString(), "application/json");
        QVERIFY(r && r->status == 200);
        r = c->Put("/v1/TSARCHIV/blob", zweite.constData(), size_t(zweite.size()), "application/octet-stream");
        QVERIFY(r && r->status == 200);
        const QString zweiteId = QString::fromLatin1(QCryptographicHash::hash(zweite, QCryptographicHash::Sha256).toHex());

        // A day later the second, never saved, is reported, then removed.
        QVERIFY(m_server->sqlite(QStringLiteral("UPDATE ar_hochladung SET zeit = '2020-01-01T00:00:00.000Z'")));
        QString ausgabe;
        ArchivServer::archivd({"check", "--db", m_server->dbPfad()}, &ausgabe);
        QVERIFY2(ausgabe.contains(zweiteId) && !ausgabe.contains(id), qPrintable(ausgabe));
        ArchivServer::archivd({"check", "--aufraeumen", "--db", m_server->dbPfad()}, &ausgabe);
        QVERIFY2(ausgabe.contains(QStringLiteral("1 nie gespeicherte Hochladungen entfernt")), qPrintable(ausgabe));
        QCOMPARE(m_server->sqlite(QStringLiteral("SELECT count(*) FROM blobs WHERE sha256 = '%1'").arg(zweiteId))->toInt(), 0);
        QCOMPARE(m_server->sqlite(QStringLiteral("SELECT count(*) FROM blobs WHERE sha256 = '%1'").arg(id))->toInt(), 1);
        QVERIFY(protokoll().contains(QStringLiteral("\tDatei\t%1\tentfernt").arg(zweiteId)));
    }

    // Completeness jobs: handles nobody guesses, read and cancelled only by
    // the workstation that started them, a few at a time per workstation.
    void vollstaendigkeitsauftraege()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        server::KlassenMethoden m = v.ClassMethods(QStringLiteral("AR.Dokumente"));
        const QString erster = m.call(QStringLiteral("VTestStart"), {QStringLiteral("GU"), QStringLiteral("2026"), QStringLiteral("1")}).wert();
        // Not a counter one could guess (VT1, VT2, …): a long random handle.
        QVERIFY2(erster.size() >= 20 && !QRegularExpression(QStringLiteral("^VT\\d{1,6}$")).match(erster).hasMatch(), qPrintable(erster));
        QString fremd;
        QCOMPARE(ArchivServer::archivd({"client", "add", "neugierig", "--db", m_server->dbPfad()}, &fremd), 0);
        auto andere = client(common::Zugangsschluessel::lesen(ArchivServer::schluesselAus(fremd))->nachweis());
        auto r = aufruf(*andere, QStringLiteral("AR.Dokumente"), QStringLiteral("VTestErg"), {erster});
        QVERIFY(json(r).value("result").toString().contains(QStringLiteral("gibt es nicht")));
        aufruf(*andere, QStringLiteral("AR.Dokumente"), QStringLiteral("vtestcancel"), {erster});
        QVERIFY(m.call(QStringLiteral("VTestErg"), {erster}).wert().startsWith(QStringLiteral("RUN|Belegart GU")));
        m.call(QStringLiteral("VTestStart"), {QStringLiteral("GU"), QStringLiteral("2025"), QStringLiteral("1")});
        try {
            m.call(QStringLiteral("VTestStart"), {QStringLiteral("GU"), QStringLiteral("2024"), QStringLiteral("1")});
            QFAIL("a third job of one workstation was started");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 400);
            QVERIFY(e.meldung().contains(QStringLiteral("An diesem Arbeitsplatz")));
        }
        // The other workstation has places of its own.
        r = aufruf(*andere, QStringLiteral("AR.Dokumente"), QStringLiteral("VTestStart"), {QStringLiteral("GU"), QStringLiteral("2026"), QStringLiteral("1")});
        QVERIFY(r && r->status == 200);
    }

    // Every text has a length its purpose allows; a search term too.
    void laengenGrenzen()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        server::Objekt b = v.New(QStringLiteral("AR.Dokumente"));
        b.set(QStringLiteral("Firma"), QStringLiteral("1"));
        b.setRef(QStringLiteral("IdBelart"), QStringLiteral("1||ER"));
        b.set(QStringLiteral("Belnr"), QString(100 * 1024, u'7'));
        b.set(QStringLiteral("Datum"), QStringLiteral("2026-12-01"));
        QVERIFY(b.SYS_Save() != 1);
        QCOMPARE(b.letzterStatus(), 400);
        QVERIFY2(b.letzterFehler().contains(QStringLiteral("Belnr")), qPrintable(b.letzterFehler()));
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Kund"), QStringLiteral("Liste"));
        try {
            rs.Execute(QStringList{QStringLiteral("1"), QString(60000, u'a'), QString()});
            QFAIL("a search term of 60 000 characters was taken");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 400);
        }
    }

    // The label counter moves forward only, within the label numbers.
    void etikettenzaehler_data()
    {
        QTest::addColumn<QString>("wert");
        QTest::addColumn<bool>("angenommen");
        QTest::newRow("back") << QStringLiteral("5") << false;
        QTest::newRow("negative") << QStringLiteral("-3") << false;
        QTest::newRow("past the labels") << QStringLiteral("99999999") << false;
        QTest::newRow("forward") << QStringLiteral("500010") << true;
    }

    void etikettenzaehler()
    {
        QFETCH(QString, wert);
        QFETCH(bool, angenommen);
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        server::Objekt t = v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||LS"));
        const QString vorher = t.get(QStringLiteral("lastbelnrbarc"));
        if (vorher.toLongLong() < 100) {
            t.set(QStringLiteral("lastbelnrbarc"), QStringLiteral("100"));
            QCOMPARE(t.SYS_Save(), 1);
            t = v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||LS"));
        }
        t.set(QStringLiteral("lastbelnrbarc"), wert);
        QCOMPARE(t.SYS_Save() == 1, angenommen);
        if (!angenommen)
            QCOMPARE(t.letzterStatus(), 400);
    }

    // A session writes for its user's company only.
    void firmenGrenze()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        QVERIFY(m_server->anmelden(QStringLiteral("7")));
        const QString sieben = test::Belegbau(v, QStringLiteral("7")).anlegen(QStringLiteral("ER"), QStringLiteral("FG-7"), {});
        QVERIFY(m_server->anmelden());
        server::Objekt neu = v.New(QStringLiteral("AR.Dokumente"));
        neu.set(QStringLiteral("Firma"), QStringLiteral("7"));
        neu.setRef(QStringLiteral("IdBelart"), QStringLiteral("7||ER"));
        neu.set(QStringLiteral("Belnr"), QStringLiteral("FG-NEU"));
        neu.set(QStringLiteral("Datum"), QStringLiteral("2026-12-01"));
        QVERIFY(neu.SYS_Save() != 1);
        QCOMPARE(neu.letzterStatus(), 403);
        server::Objekt alt = v.OpenId(QStringLiteral("AR.Dokumente"), sieben);
        alt.set(QStringLiteral("Text"), QStringLiteral("von Firma 1"));
        QVERIFY(alt.SYS_Save() != 1);
        QCOMPARE(alt.letzterStatus(), 403);
        // A company-1 Beleg moved to company 7: refused as well.
        const QString eins = test::Belegbau(v).anlegen(QStringLiteral("ER"), QStringLiteral("FG-1"), {});
        server::Objekt umzug = v.OpenId(QStringLiteral("AR.Dokumente"), eins);
        umzug.set(QStringLiteral("Firma"), QStringLiteral("7"));
        QVERIFY(umzug.SYS_Save() != 1);
        QCOMPARE(umzug.letzterStatus(), 403);
        try {
            v.ClassMethods(QStringLiteral("AR.Extind")).call(QStringLiteral("seteigensch"), {QStringLiteral("7"), QStringLiteral("5"), sieben, QStringLiteral("x")});
            QFAIL("an index value of company 7 was written");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 403);
            QCOMPARE(e.code(), QStringLiteral("forbidden"));
        }
        QVERIFY(v.OpenId(QStringLiteral("AR.Dokumente"), sieben).get(QStringLiteral("Text")).isEmpty());
    }

    // What a session may do ends with the rights it came from, and with age.
    void sitzungenEnden_data()
    {
        QTest::addColumn<QString>("weg");
        QTest::newRow("user disabled") << QStringLiteral("disable");
        QTest::newRow("new password") << QStringLiteral("passwd");
        QTest::newRow("key revoked and issued again") << QStringLiteral("schluessel");
        QTest::newRow("15 minutes unused") << QStringLiteral("ruhe");
        QTest::newRow("12 hours old") << QStringLiteral("alt");
    }

    void sitzungenEnden()
    {
        QFETCH(QString, weg);
        const QString pcode = QStringLiteral("S") + QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
        QCOMPARE(ArchivServer::archivd({"user", "add", "1", pcode, "--password", "pw", "--db", m_server->dbPfad()}), 0);
        QString schluessel;
        QCOMPARE(ArchivServer::archivd({"client", "add", "platz-" + weg, "--db", m_server->dbPfad()}, &schluessel), 0);
        auto c = client(common::Zugangsschluessel::lesen(ArchivServer::schluesselAus(schluessel))->nachweis());
        auto r = aufruf(*c, QStringLiteral("TS.ParPersEdv"), QStringLiteral("PasswortPruefen"), {QStringLiteral("pw")}, QStringLiteral("1||") + pcode);
        const std::string sitzung = json(r).value("session").toString().toStdString();
        QVERIFY(!sitzung.empty());
        c->set_default_headers({{"Authorization", "Bearer " + common::Zugangsschluessel::lesen(ArchivServer::schluesselAus(schluessel))->nachweis().toStdString()},
                                {"X-Archiv-Sitzung", sitzung}});
        const auto schreiben = [&c] {
            return c->Post("/v1/TSARCHIV/object/AR.Scandat", R"({"props":{"seite":"1","dokument":"SITZUNG"}})", "application/json");
        };
        r = schreiben();
        QVERIFY(r && r->status == 200);
        if (weg == QLatin1String("disable") || weg == QLatin1String("passwd")) {
            QCOMPARE(ArchivServer::archivd({"user", weg, "1", pcode, "--password", "neu", "--db", m_server->dbPfad()}), 0);
        } else if (weg == QLatin1String("schluessel")) {
            QCOMPARE(ArchivServer::archivd({"client", "revoke", "platz-" + weg, "--db", m_server->dbPfad()}), 0);
            QCOMPARE(ArchivServer::archivd({"client", "add", "platz-" + weg, "--db", m_server->dbPfad()}, &schluessel), 0);
            c->set_default_headers({{"Authorization", "Bearer " + common::Zugangsschluessel::lesen(ArchivServer::schluesselAus(schluessel))->nachweis().toStdString()},
                                    {"X-Archiv-Sitzung", sitzung}});
            QTest::qWait(2100); // what the server knows of keys is kept two seconds
        } else {
            const QString spalte = weg == QLatin1String("ruhe") ? QStringLiteral("zuletzt") : QStringLiteral("beginn");
            const QString damals = QDateTime::currentDateTimeUtc()
                                       .addSecs(weg == QLatin1String("ruhe") ? -16 * 60 : -13 * 3600)
                                       .toString(Qt::ISODateWithMs);
            QVERIFY(m_server->sqlite(QStringLiteral("UPDATE ar_sitzung SET %1 = '%2' WHERE benutzer = '1||%3'").arg(spalte, damals, pcode)));
        }
        r = schreiben();
        QVERIFY(r);
        QCOMPARE(r->status, 403);
        QCOMPARE(code(r), QStringLiteral("login_required"));
    }

    // Whatever a value holds, an entry of the trail is one line.
    void protokollBleibtZeilenweise()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const QString id = test::Belegbau(v).anlegen(QStringLiteral("ER"), QStringLiteral("PZ-1"), {});
        const QString falle = QStringLiteral("x\n2026-01-01T00:00:00.000Z\tKasse\t1||CHEF\tAR.Dokumente\t9\tgelöscht\u2028");
        v.ClassMethods(QStringLiteral("AR.Extind")).call(QStringLiteral("seteigensch"), {QStringLiteral("1"), QStringLiteral("5"), id, falle});
        const QStringList zeilen = protokoll({QStringLiteral("--beleg"), id}).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(zeilen.size(), 2); // the save and the index value
        for (const QString &z : zeilen)
            QCOMPARE(z.count(u'\t'), 8);
        QVERIFY(!zeilen.join(u'\n').contains(QStringLiteral("1||CHEF\tAR.Dokumente")));
        const QStringList json = protokoll({QStringLiteral("--beleg"), id, QStringLiteral("--json")}).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(json.size(), 2);
        for (const QString &z : json)
            QVERIFY(QJsonDocument::fromJson(z.toUtf8()).isObject());
    }

    // Every kind of write leaves exactly one entry of its own in the trail.
    void jedesSchreibenImProtokoll_data()
    {
        QTest::addColumn<QString>("schreiben");
        QTest::addColumn<QString>("klasse");
        QTest::addColumn<QString>("aktion");
        QTest::newRow("new Beleg") << "beleg-neu" << "AR.Dokumente" << "neu";
        QTest::newRow("changed Beleg") << "beleg-aendern" << "AR.Dokumente" << "geändert";
        QTest::newRow("scan record") << "scan-neu" << "AR.Scandat" << "neu";
        QTest::newRow("scan record deleted") << "scan-loeschen" << "AR.Scandat" << "gelöscht";
        QTest::newRow("scan filed by a save") << "scan-abgelegt" << "AR.Scandat" << "übernommen";
        QTest::newRow("Setdirty") << "Setdirty" << "AR.Dokumente" << "Setdirty";
        QTest::newRow("seteigensch") << "seteigensch" << "AR.Extind" << "seteigensch";
        QTest::newRow("BelegLoeschen") << "BelegLoeschen" << "AR.Scandat" << "BelegLoeschen";
        QTest::newRow("ZuordnungLoeschen") << "ZuordnungLoeschen" << "AR.Scandat" << "ZuordnungLoeschen";
        QTest::newRow("ScanBelegSuche") << "ScanBelegSuche" << "AR.Scandat" << "ScanBelegSuche";
        QTest::newRow("Nehmen") << "Nehmen" << "AR.Scandat" << "Nehmen";
        QTest::newRow("Freigeben") << "Freigeben" << "AR.Scandat" << "Freigeben";
        QTest::newRow("label counter") << "zaehler" << "AR.Belart" << "geändert";
        QTest::newRow("upload") << "hochladen" << "Datei" << "hochgeladen";
        QTest::newRow("login") << "anmelden" << "TS.ParPersEdv" << "angemeldet";
        QTest::newRow("user add") << "user-add" << "TS.ParPersEdv" << "user add";
        QTest::newRow("user passwd") << "user-passwd" << "TS.ParPersEdv" << "user passwd";
        QTest::newRow("client add") << "client-add" << "Arbeitsplatz" << "angelegt";
        QTest::newRow("client revoke") << "client-revoke" << "Arbeitsplatz" << "widerrufen";
        QTest::newRow("import") << "import" << "AR.Kund" << "import";
        QTest::newRow("ClearAll") << "ClearAll" << "AR.Scandat" << "ClearAll";
    }

    void jedesSchreibenImProtokoll()
    {
        QFETCH(QString, schreiben);
        QFETCH(QString, klasse);
        QFETCH(QString, aktion);
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        test::Belegbau bau(v);
        const QString beleg = bau.anlegen(QStringLiteral("ER"), QStringLiteral("PR-") + schreiben, {});
        const auto scan = [&v](const QString &nummer) {
            server::Objekt s = v.New(QStringLiteral("AR.Scandat"));
            s.set(QStringLiteral("dokument"), nummer);
            s.set(QStringLiteral("seite"), QStringLiteral("1"));
            if (s.SYS_Save() != 1)
                qFatal("no scan record");
            return s.SYS_Id();
        };
        const QString nummer = QStringLiteral("ERPR-") + schreiben;
        const QString scanId = scan(nummer);
        const auto zahl = [&] {
            int n = 0;
            for (const QString &z : protokoll().split(u'\n', Qt::SkipEmptyParts))
                if (z.section(u'\t', 3, 3) == klasse && z.section(u'\t', 5, 5).startsWith(aktion))
                    ++n;
            return n;
        };
        const int vorher = zahl();
        server::KlassenMethoden scandat = v.ClassMethods(QStringLiteral("AR.Scandat"));
        const QString db = m_server->dbPfad();
        if (schreiben == QLatin1String("beleg-neu")) {
            bau.anlegen(QStringLiteral("ER"), QStringLiteral("PR-NEU-2"), {});
        } else if (schreiben == QLatin1String("beleg-aendern")) {
            server::Objekt b = v.OpenId(QStringLiteral("AR.Dokumente"), beleg);
            b.set(QStringLiteral("Text"), QStringLiteral("geändert"));
            QCOMPARE(b.SYS_Save(), 1);
        } else if (schreiben == QLatin1String("scan-neu")) {
            scan(QStringLiteral("ERPR-NOCHEINER"));
        } else if (schreiben == QLatin1String("scan-loeschen")) {
            v.New(QStringLiteral("AR.Scandat")).SYS_DeleteId(scanId);
        } else if (schreiben == QLatin1String("scan-abgelegt")) {
            server::Objekt b = v.OpenId(QStringLiteral("AR.Dokumente"), beleg);
            b.scansEntnehmen({scanId});
            b.set(QStringLiteral("Text"), QStringLiteral("mit Scan"));
            QCOMPARE(b.SYS_Save(), 1);
        } else if (schreiben == QLatin1String("Setdirty")) {
            v.ClassMethods(QStringLiteral("AR.Dokumente")).call(schreiben, {beleg});
        } else if (schreiben == QLatin1String("seteigensch")) {
            v.ClassMethods(QStringLiteral("AR.Extind")).call(schreiben, {QStringLiteral("1"), QStringLiteral("5"), beleg, QStringLiteral("Wert")});
        } else if (schreiben == QLatin1String("BelegLoeschen") || schreiben == QLatin1String("ZuordnungLoeschen") ||
                   schreiben == QLatin1String("Nehmen")) {
            scandat.call(schreiben, {nummer});
        } else if (schreiben == QLatin1String("Freigeben")) {
            scandat.call(schreiben, {scanId});
        } else if (schreiben == QLatin1String("ScanBelegSuche")) {
            scandat.call(schreiben, {QStringLiteral("1")});
        } else if (schreiben == QLatin1String("ClearAll")) {
            scandat.call(schreiben);
        } else if (schreiben == QLatin1String("zaehler")) {
            server::Objekt t = v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||RK"));
            t.set(QStringLiteral("lastbelnrbarc"), QString::number(t.get(QStringLiteral("lastbelnrbarc")).toLongLong() + 1));
            QCOMPARE(t.SYS_Save(), 1);
        } else if (schreiben == QLatin1String("hochladen")) {
            v.New(QStringLiteral("AR.Scandat")).strom(QStringLiteral("dok")).Write(QByteArray("einmal ") + schreiben.toUtf8());
        } else if (schreiben == QLatin1String("anmelden")) {
            QVERIFY(m_server->anmelden());
        } else if (schreiben == QLatin1String("user-add")) {
            QCOMPARE(ArchivServer::archivd({"user", "add", "1", "PRNEU", "--password", "x", "--db", db}), 0);
        } else if (schreiben == QLatin1String("user-passwd")) {
            QCOMPARE(ArchivServer::archivd({"user", "passwd", "1", "EK", "--password", "erika", "--db", db}), 0);
        } else if (schreiben == QLatin1String("client-add")) {
            QCOMPARE(ArchivServer::archivd({"client", "add", "protokolliert", "--db", db}), 0);
        } else if (schreiben == QLatin1String("client-revoke")) {
            QCOMPARE(ArchivServer::archivd({"client", "revoke", "protokolliert", "--db", db}), 0);
        } else if (schreiben == QLatin1String("import")) {
            QVERIFY(m_server->stammdaten(QStringLiteral("AR.Kund"), {{{"Firma", "1"}, {"Knr", "99001"}, {"Name", "Protokoll GmbH"}}}));
        }
        QCOMPARE(zahl(), vorher + 1);
    }

    // A key issued for the server's earlier certificate is refused.
    // A monitor's health check needs no key and learns nothing else; the
    // metrics need one and count what was answered.
    void gesundheitUndMetriken()
    {
        auto ohne = std::make_unique<httplib::Client>(QStringLiteral("https://127.0.0.1:%1").arg(m_server->port()).toStdString());
        ohne->enable_server_certificate_verification(false);
        httplib::Result r = ohne->Get("/v1/health");
        QVERIFY(r);
        QCOMPARE(r->status, 200);
        QCOMPARE(json(r), QJsonObject({{"status", "ok"}}));
        r = ohne->Post("/v1/health", "{}", "application/json");
        QVERIFY(r && r->status == 401);
        r = ohne->Get("/metrics");
        QVERIFY(r && r->status == 401);
        auto mit = client();
        QVERIFY(mit->Get("/v1/TSARCHIV/ping"));
        r = mit->Get("/metrics");
        QVERIFY(r);
        QCOMPARE(r->status, 200);
        const QString text = QString::fromStdString(r->body);
        for (const char *zeile : {"archivd_requests_total{route=\"health\",status=\"200\"} ", "archivd_requests_total{route=\"ping\",status=\"200\"} ",
                                  "archivd_request_duration_seconds_bucket{route=\"ping\",le=\"+Inf\"} ", "archivd_open_connections ",
                                  "archivd_refused_connections_total ", "archivd_db_pool_connections{state=\"open\"} ",
                                  "archivd_ocr_queue{state=\"waiting\"} ", "archivd_audit_entries "})
            QVERIFY2(text.contains(QLatin1String(zeile)), zeile);
        // A path of the client's own invention counts as "andere", never as a route of its own.
        mit->Get("/v1/TSARCHIV/unsinn-4711");
        QVERIFY(!QString::fromStdString(mit->Get("/metrics")->body).contains(QStringLiteral("unsinn")));
    }

    // The database goes down while the server runs: a monitor hears 503 and
    // nothing more, a workstation a clear error; once it is back, both work
    // again without a restart of archivd.
    void datenbankWegUndZurueck()
    {
        if (!ArchivServer::postgresGewuenscht())
            QSKIP("an embedded SQLite archive cannot become unreachable while the server holds it open");
        ArchivServer eigener(ArchivServer::Inhalt::Demo, 5);
        QVERIFY2(eigener.starten(), qPrintable(eigener.fehler()));
        httplib::Client monitor(QStringLiteral("https://127.0.0.1:%1").arg(eigener.port()).toStdString());
        monitor.enable_server_certificate_verification(false);
        const auto firmen = [&eigener] {
            server::Verbindung v;
            if (!v.Connect(eigener.verbindungstext()))
                return QStringList{QStringLiteral("keine Verbindung")};
            server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
            rs.Execute();
            QStringList zeilen;
            while (rs.Next())
                zeilen << rs.GetData(1);
            return zeilen;
        };
        QCOMPARE(firmen(), QStringList({"1", "7"}));

        for (int runde = 0; runde < 2; ++runde) {
            QVERIFY(eigener.datenbankErreichbar(false));
            httplib::Result r = monitor.Get("/v1/health");
            QVERIFY(r);
            QCOMPARE(r->status, 503);
            QCOMPARE(json(r), QJsonObject({{"status", "unavailable"}}));
            bool abgewiesen = false;
            try {
                firmen();
            } catch (const server::ServerFehler &e) {
                abgewiesen = true;
                // What failed, in the archive's words; the database's own stay in the log.
                QCOMPARE(e.meldung(), QStringLiteral("Die Datenbank lässt sich nicht öffnen"));
            }
            QVERIFY(abgewiesen);

            QVERIFY(eigener.datenbankErreichbar(true));
            r = monitor.Get("/v1/health");
            QVERIFY(r);
            QCOMPARE(r->status, 200);
            QCOMPARE(firmen(), QStringList({"1", "7"}));
        }
    }

    void schluesselEinesFrueherenZertifikats()
    {
        ArchivServer eigener(ArchivServer::Inhalt::Leer);
        QVERIFY2(eigener.starten(), qPrintable(eigener.fehler()));
        const QString alterSchluessel = eigener.zugang();
        eigener.stoppen();
        const QString ort = eigener.dbPfad();
        QString zertifikat = ort + QStringLiteral(".crt"), privat = ort + QStringLiteral(".key");
        if (eigener.aufPostgres()) {
            // A PostgreSQL archive's certificate is named after host, port
            // and database, in the server's working directory.
            const QUrl url(ort);
            const QString basis = QStringLiteral("archivd-%1-%2-%3").arg(url.host()).arg(url.port(5432)).arg(url.path().mid(1));
            zertifikat = basis + QStringLiteral(".crt");
            privat = basis + QStringLiteral(".key");
        }
        QVERIFY(QFile::remove(zertifikat));
        QVERIFY(QFile::remove(privat));
        QCOMPARE(ArchivServer::archivd({"init", "--db", ort}), 0);
        QVERIFY(eigener.neustarten());
        httplib::Client c(QStringLiteral("https://127.0.0.1:%1").arg(eigener.port()).toStdString());
        c.enable_server_certificate_verification(false);
        c.set_default_headers({{"Authorization", "Bearer " + common::Zugangsschluessel::lesen(alterSchluessel)->nachweis().toStdString()}});
        auto r = c.Get("/v1/TSARCHIV/ping");
        QVERIFY(r);
        QCOMPARE(r->status, 401);
        QVERIFY(json(r).value("error").toObject().value("message").toString().contains(QStringLiteral("früheren Zertifikat")));
    }
};

QTEST_MAIN(TestFeindlich)
#include "tst_feindlich.moc"
