#include "common/Zugangsschluessel.h"
#include "server/Objekt.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/PostgresCluster.h"

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <httplib.h>

using namespace archiv;
using archiv::test::ArchivServer;

// The server on a company LAN: only enrolled workstations reach it, only
// logged-in users write, and every write is on record.
class TestZugang : public QObject
{
    Q_OBJECT

    std::unique_ptr<ArchivServer> m_server;

    // A workstation with the given key (or none) at the server's second
    // name, so that the test's own key for 127.0.0.1 does not count.
    bool verbinden(server::Verbindung &v, const QString &schluessel)
    {
        server::setzeZugangFuer(QStringLiteral("localhost"), m_server->port(), schluessel);
        return v.Connect(QStringLiteral("cn_iptcp:localhost[%1]:TSARCHIV").arg(m_server->port()));
    }

    QString protokoll(const QStringList &args = {})
    {
        QString ausgabe;
        if (ArchivServer::archivd(QStringList{"audit", "--db", m_server->dbPfad()} + args, &ausgabe) != 0)
            return QStringLiteral("(audit fehlgeschlagen) ") + ausgabe;
        return ausgabe;
    }

    std::unique_ptr<httplib::Client> roh(const QByteArray &zugang)
    {
        auto c = std::make_unique<httplib::Client>(QStringLiteral("https://127.0.0.1:%1").arg(m_server->port()).toStdString());
        c->enable_server_certificate_verification(false);
        if (!zugang.isEmpty())
            c->set_default_headers({{"Authorization", zugang.toStdString()}});
        return c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
    }

    void ohneGueltigenSchluesselNichts_data()
    {
        QTest::addColumn<QString>("schluessel");
        QTest::addColumn<QString>("grund");
        const auto echt = *common::Zugangsschluessel::lesen(m_server->zugang());
        QTest::newRow("no key") << QString() << "keinen Zugangsschlüssel";
        QTest::newRow("half a key") << m_server->zugang().left(30) << "nicht die Form";
        common::Zugangsschluessel falsch = echt;
        falsch.geheimnis[5] = falsch.geheimnis.at(5) == u'A' ? u'B' : u'A';
        QTest::newRow("wrong secret") << falsch.text() << "gilt nicht";
        common::Zugangsschluessel fremd = echt;
        fremd.name = QStringLiteral("Fremder");
        QTest::newRow("unknown workstation") << fremd.text() << "gilt nicht";
        // Another server's certificate: the client refuses in the handshake,
        // before the request with the key has left.
        common::Zugangsschluessel anderesZertifikat = echt;
        anderesZertifikat.fingerabdruck = QString(64, u'0');
        QTest::newRow("other certificate") << anderesZertifikat.text() << "anderes Zertifikat";
    }
    void ohneGueltigenSchluesselNichts()
    {
        QFETCH(QString, schluessel);
        QFETCH(QString, grund);
        server::Verbindung v;
        QVERIFY(!verbinden(v, schluessel));
        QVERIFY(v.keinZugang());
        QVERIFY2(v.letzterFehler().contains(grund), qPrintable(v.letzterFehler()));
        QVERIFY_THROWS_EXCEPTION(server::ServerFehler, v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste")));
    }

    void rohOhneSchluesselAbgewiesen()
    {
        for (const QByteArray &zugang : {QByteArray(), QByteArray("Bearer test.abc"), QByteArray("Basic dGVzdDp0ZXN0")}) {
            auto c = roh(zugang);
            for (const char *pfad : {"/v1/TSARCHIV/ping",
                                     "/v1/TSARCHIV/blob/"
                                     "0000000000000000000000000000000000000000000000000000000000000000"}) {
                const auto r = c->Get(pfad);
                QVERIFY(r);
                QCOMPARE(r->status, 401);
            }
            const auto r = c->Post("/v1/TSARCHIV/query", R"({"class":"AR.Firma","query":"Liste","args":[]})", "application/json");
            QVERIFY(r);
            QCOMPARE(r->status, 401);
            QVERIFY(r->body.find("Tessam") == std::string::npos);
        }
    }

    void fremderHostNameAbgewiesen_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("status");
        QTest::newRow("the address") << QStringLiteral("127.0.0.1") << 200;
        QTest::newRow("localhost with port") << QStringLiteral("LOCALHOST:%1") << 200;
        QTest::newRow("a name a web page made up") << QStringLiteral("archiv.angreifer.example") << 403;
        QTest::newRow("with port") << QStringLiteral("archiv.angreifer.example:%1") << 403;
    }
    void fremderHostNameAbgewiesen()
    {
        QFETCH(QString, host);
        QFETCH(int, status);
        auto c = roh(m_server->zugangKopf());
        const auto r = c->Get("/v1/TSARCHIV/ping", {{"Host", host.arg(m_server->port()).toStdString()}});
        QVERIFY(r);
        QCOMPARE(r->status, status);
    }

    void widerrufenerSchluesselGiltBald()
    {
        QString schluessel;
        QCOMPARE(ArchivServer::archivd({"client", "add", "Lager-Büro", "--db", m_server->dbPfad()}, &schluessel), 2); // ASCII names only
        QCOMPARE(ArchivServer::archivd({"client", "add", "Lager-Buero", "--db", m_server->dbPfad()}, &schluessel), 0);
        schluessel = ArchivServer::schluesselAus(schluessel);
        QCOMPARE(ArchivServer::archivd({"client", "add", "Lager-Buero", "--db", m_server->dbPfad()}), 1); // once
        server::Verbindung v;
        QVERIFY2(verbinden(v, schluessel), qPrintable(v.letzterFehler()));
        QCOMPARE(ArchivServer::archivd({"client", "revoke", "Lager-Buero", "--db", m_server->dbPfad()}), 0);
        QString liste;
        ArchivServer::archivd({"client", "list", "--db", m_server->dbPfad()}, &liste);
        QVERIFY2(liste.contains(QStringLiteral("Lager-Buero\t")) && liste.contains(QStringLiteral("widerrufen")), qPrintable(liste));
        // Within a few seconds every request of that workstation is refused.
        QThread::sleep(3);
        server::Verbindung spaeter;
        QVERIFY(!verbinden(spaeter, schluessel));
        QVERIFY2(spaeter.letzterFehler().contains(QStringLiteral("gilt nicht")), qPrintable(spaeter.letzterFehler()));
        try {
            v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste")).Execute();
            QFAIL("a revoked key was served");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 401);
        }
    }

    // Reading needs the key; writing a Beleg needs a user's session too,
    // and what is written is on record with workstation, user, version and
    // the hashes of its files.
    void speichernBrauchtAnmeldungUndWirdProtokolliert()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        test::Belegbau bau(v);
        const QByteArray datei = test::Belegbau::tiff(2);
        const QString hash = QString::fromLatin1(QCryptographicHash::hash(datei, QCryptographicHash::Sha256).toHex());
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("Prüf-ß 4711"),
                                       {{QStringLiteral("tif"), QStringLiteral("Überweisung"), datei}});

        // Without the session: read yes, write no.
        server::sitzungBeenden();
        server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        QVERIFY(!beleg.istLeer());
        beleg.set(QStringLiteral("Text"), QStringLiteral("ohne Anmeldung"));
        QVERIFY(beleg.SYS_Save() != 1);
        QVERIFY2(beleg.letzterFehler().contains(QStringLiteral("Anmeldung")), qPrintable(beleg.letzterFehler()));
        QVERIFY_THROWS_EXCEPTION(server::ServerFehler, v.ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("Setdirty"), {id}));
        QVERIFY(v.OpenId(QStringLiteral("AR.Dokumente"), id).get(QStringLiteral("Text")).isEmpty());

        // A disabled user gets no session; the test's user does.
        server::Verbindung wws;
        QVERIFY(wws.Connect(m_server->verbindungstext(QStringLiteral("TESSAM"))));
        QCOMPARE(wws.OpenId(QStringLiteral("TS.ParPersEdv"), QStringLiteral("1||AL")).call(QStringLiteral("PasswortPruefen"), {"alt"}),
                 QStringLiteral("0"));
        QVERIFY(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).isEmpty());
        QVERIFY(m_server->anmelden());
        server::Objekt wieder = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        wieder.set(QStringLiteral("Text"), QStringLiteral("geprüft"));
        QCOMPARE(wieder.SYS_Save(), 1);
        QCOMPARE(v.ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("Setdirty"), {id}).wert(), QStringLiteral("1"));

        const QStringList zeilen = protokoll({"--beleg", id}).split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(zeilen.size() == 3, qPrintable(protokoll())); // created, changed, marked for the backup
        const QStringList neu = zeilen.at(0).split(u'\t');
        QCOMPARE(neu.value(1), QStringLiteral("test"));
        QCOMPARE(neu.value(2), QStringLiteral("1||") + QLatin1String(ArchivServer::TestBenutzer));
        QCOMPARE(neu.value(3), QStringLiteral("AR.Dokumente"));
        QCOMPARE(neu.value(4), id);
        QCOMPARE(neu.value(5), QStringLiteral("neu"));
        QCOMPARE(neu.value(8), hash);
        const QStringList geaendert = zeilen.at(1).split(u'\t');
        QCOMPARE(geaendert.value(5), QStringLiteral("geändert"));
        QCOMPARE(geaendert.value(6), QString::number(v.OpenId(QStringLiteral("AR.Dokumente"), id).version()));
        QCOMPARE(zeilen.at(2).split(u'\t').value(5), QStringLiteral("Setdirty"));
        // The refused writes left no trace but their refusal.
        QVERIFY(!protokoll().contains(QStringLiteral("ohne Anmeldung")));
        QVERIFY(protokoll({"--seit", "2999-01-01"}).trimmed().isEmpty());
        QVERIFY(!protokoll({"--seit", QDate::currentDate().toString(Qt::ISODate)}).trimmed().isEmpty());
    }

    // A session belongs to the workstation that logged in, outlives a
    // restart of the server, and is nothing without that workstation's key.
    void sitzungGehoertZumArbeitsplatz()
    {
        const QString sitzung = server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port());
        QVERIFY(!sitzung.isEmpty());
        QString anderer;
        QCOMPARE(ArchivServer::archivd({"client", "add", "Kasse-3", "--db", m_server->dbPfad()}, &anderer), 0);
        const auto schreiben = [this](const QByteArray &zugang, const QString &token) {
            auto c = roh(zugang);
            const auto r = c->Put("/v1/TSARCHIV/object/AR.Belart/1%7C%7CER", {{"X-Archiv-Sitzung", token.toStdString()}},
                                  R"({"props":{"lastbelnrbarc":"1"}})", "application/json");
            return r ? r->status : -1;
        };
        // Past the session check, the save fails only for its missing version.
        QCOMPARE(schreiben(m_server->zugangKopf(), sitzung), 400);
        QCOMPARE(schreiben("Bearer " + anderer.trimmed().section(u'.', 0, 1).toUtf8(), sitzung), 403);
        QCOMPARE(schreiben(m_server->zugangKopf(), QStringLiteral("erfunden")), 403);

        m_server->stoppen();
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        QCOMPARE(schreiben(m_server->zugangKopf(), sitzung), 400);
        server::setzeSitzung(QStringLiteral("127.0.0.1"), m_server->port(), sitzung);
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const QString id = test::Belegbau(v).anlegen(QStringLiteral("ER"), QStringLiteral("NACH-NEUSTART"), {});
        QVERIFY(!id.isEmpty());
    }

    void archiviertesBleibt()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const QByteArray datei = test::Belegbau::tiff(1);
        const QString id = test::Belegbau(v).anlegen(QStringLiteral("ER"), QStringLiteral("BLEIBT-1"), {{QStringLiteral("tif"), {}, datei}});
        server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        const QString element = beleg.sammlung(QStringLiteral("Doks")).getat(1).SYS_Id();
        for (const auto &[klasse, objekt] :
             {std::pair{QStringLiteral("AR.Dokumente"), id}, std::pair{QStringLiteral("AR.Dokuments"), element}}) {
            try {
                v.New(klasse).SYS_DeleteId(objekt);
                QFAIL("an archived object was deleted");
            } catch (const server::ServerFehler &e) {
                QCOMPARE(e.status(), 403);
            }
        }
        server::Objekt danach = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        QVERIFY(!danach.istLeer());
        server::Objekt dok = danach.sammlung(QStringLiteral("Doks")).getat(1);
        server::Datenstrom strom = dok.strom(QStringLiteral("dok"));
        QCOMPARE(strom.Read(strom.groesse()), datei);
    }

    // Beyond loopback the server speaks TLS or, said explicitly, not at all
    // securely; a certificate that does not load stops it at once.
    void ohneZertifikatNurLoopback()
    {
        if (m_server->aufPostgres())
            QSKIP("the certificate files of a PostgreSQL archive lie in the working directory");
        QTemporaryDir dir;
        const QString db = dir.filePath(QStringLiteral("ohne.sqlite"));
        QCOMPARE(ArchivServer::archivd({"init", "--db", db}), 0);
        QVERIFY(QFile::exists(db + QStringLiteral(".crt")));
        QCOMPARE(QFile::permissions(db + QStringLiteral(".key")) & 0x0077, QFileDevice::Permissions()); // owner only
        QVERIFY(QFile::remove(db + QStringLiteral(".crt")));
        QString ausgabe;
        QCOMPARE(ArchivServer::archivd({"serve", "--db", db, "--listen", "0.0.0.0:0"}, &ausgabe, 10000), 2);
        QVERIFY2(ausgabe.contains(QStringLiteral("nur mit TLS")), qPrintable(ausgabe));
        QVERIFY2(ausgabe.contains(QStringLiteral("--plain-http")), qPrintable(ausgabe));
        QFile kaputt(dir.filePath(QStringLiteral("kaputt.crt")));
        QVERIFY(kaputt.open(QIODevice::WriteOnly));
        kaputt.write("-----BEGIN CERTIFICATE-----\nkein Zertifikat\n-----END CERTIFICATE-----\n");
        kaputt.close();
        QCOMPARE(ArchivServer::archivd(
                     {"serve", "--db", db, "--listen", "127.0.0.1:0", "--cert", kaputt.fileName(), "--key", db + QStringLiteral(".key")},
                     &ausgabe, 10000),
                 1);
        QVERIFY2(ausgabe.contains(QStringLiteral("lässt sich nicht laden")), qPrintable(ausgabe));
        // Without a certificate a workstation's key cannot be made.
        QCOMPARE(ArchivServer::archivd({"client", "add", "Kasse-9", "--db", db}, &ausgabe), 1);
        QVERIFY2(ausgabe.contains(QStringLiteral("archivd init")), qPrintable(ausgabe));
    }

    void cleanupTestCase() { m_server.reset(); }
};

QTEST_GUILESS_MAIN(TestZugang)
#include "tst_zugang.moc"
