#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Verbindungstext.h"
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace archiv;
using namespace archiv::server;
using archiv::test::ArchivServer;

// The archive connection as the windows use it, against a real archivd with
// a small demo archive.
class TestVerbindung : public QObject
{
    Q_OBJECT

    std::unique_ptr<ArchivServer> m_server;
    Verbindung m_v;
    QTemporaryDir m_dir;

    static QByteArray lesen(const QString &pfad)
    {
        QFile f(pfad);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void schreiben(const QString &pfad, const QByteArray &inhalt)
    {
        QFile f(pfad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(inhalt);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 30);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        QVERIFY(m_v.Connect(m_server->verbindungstext()));
        QVERIFY(m_v.IsConnected());
    }

    void verbindungstextLesen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("gueltig");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("ns");
        QTest::newRow("address and port") << "cn_iptcp:10.0.0.5[1972]:TSARCHIV" << true << "10.0.0.5" << 1972 << "TSARCHIV";
        QTest::newRow("host name") << "cn_iptcp:archiv.firma.local[56773]:TESSAM" << true << "archiv.firma.local" << 56773 << "TESSAM";
        QTest::newRow("IPv6") << "cn_iptcp:[::1][1972]:TSARCHIV" << true << "::1" << 1972 << "TSARCHIV";
        QTest::newRow("both settings empty") << "cn_iptcp:[]:TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("port empty") << "cn_iptcp:10.0.0.5[]:TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("port not numeric") << "cn_iptcp:10.0.0.5[abc]:TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("port 0") << "cn_iptcp:10.0.0.5[0]:TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("port too large") << "cn_iptcp:10.0.0.5[70000]:TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("blank in address") << "cn_iptcp: 10.0.0.5[1972]:TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("no namespace") << "cn_iptcp:10.0.0.5[1972]:" << false << "" << 0 << "";
        QTest::newRow("other scheme") << "http://10.0.0.5:1972/TSARCHIV" << false << "" << 0 << "";
        QTest::newRow("trailing text") << "cn_iptcp:10.0.0.5[1972]:TSARCHIV x" << false << "" << 0 << "";
    }
    void verbindungstextLesen()
    {
        QFETCH(QString, text);
        QFETCH(bool, gueltig);
        const auto a = Verbindungsadresse::lesen(text);
        QCOMPARE(a.has_value(), gueltig);
        if (!gueltig)
            return;
        QTEST(a->host, "host");
        QTEST(a->port, "port");
        QTEST(a->ns, "ns");
    }

    void verbindenScheitertSchnell()
    {
        // A port nobody listens on: refused at once.
        QTcpServer frei;
        QVERIFY(frei.listen(QHostAddress::LocalHost));
        const quint16 port = frei.serverPort();
        frei.close();
        Verbindung v;
        QElapsedTimer uhr;
        uhr.start();
        QVERIFY(!v.Connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:TSARCHIV").arg(port)));
        QVERIFY2(uhr.elapsed() < 2000, qPrintable(QString::number(uhr.elapsed())));
        QVERIFY(!v.IsConnected());
        QVERIFY(!v.Connect(QStringLiteral("cn_iptcp:[]:TSARCHIV")));
        // The right server, but a namespace it does not serve.
        QVERIFY(!v.Connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:ANDERS").arg(m_server->port())));
        QVERIFY_THROWS_EXCEPTION(ServerFehler, v.OpenId(QStringLiteral("AR.Firma"), QStringLiteral("1")));
    }

    void stummerServerHaengtNicht()
    {
        // Accepts the connection, never answers.
        QTcpServer stumm;
        QVERIFY(stumm.listen(QHostAddress::LocalHost));
        Verbindung v;
        QElapsedTimer uhr;
        uhr.start();
        QVERIFY(!v.Connect(QStringLiteral("cn_iptcp:127.0.0.1[%1]:TSARCHIV").arg(stumm.serverPort())));
        QVERIFY2(uhr.elapsed() < 8000, qPrintable(QString::number(uhr.elapsed())));
    }

    void belegLesenMitReferenzUndDokumenten()
    {
        ErgebnisMenge rs = m_v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
        rs.Execute();
        QVERIFY(rs.Next());
        QCOMPARE(rs.GetData(1), QStringLiteral("1"));
        QCOMPARE(rs.GetData(9), QString());
        rs.Close();
        QVERIFY(!rs.Next());

        // The demo's first Beleg has an id beyond 16 bits.
        Objekt d = m_v.OpenId(QStringLiteral("AR.Dokumente"), QStringLiteral("100001"));
        QVERIFY(!d.istLeer());
        QCOMPARE(d.SYS_Id(), QStringLiteral("100001"));
        QCOMPARE(d.call(QStringLiteral("SYS_Id")), QStringLiteral("100001"));
        // Member names match in any case, as the windows write them.
        QCOMPARE(d.call(QStringLiteral("IDBelartGetObjectId")), d.call(QStringLiteral("IdBelartGetObjectId")));
        const QString code = d.ref(QStringLiteral("IDBelart")).get(QStringLiteral("Belart"));
        QCOMPARE(code.size(), 2);
        QCOMPARE(d.call(QStringLiteral("IdBelartGetObjectId")), QStringLiteral("1||") + code);
        QCOMPARE(d.get(QStringLiteral("picsw")), QStringLiteral("1"));
        Sammlung doks = d.sammlung(QStringLiteral("Doks"));
        QVERIFY(doks.Count() >= 1);
        Objekt neuestes = doks.getat(doks.Count());
        QCOMPARE(neuestes.get(QStringLiteral("doktyp")), QStringLiteral("tif"));
        Datenstrom dok = neuestes.strom(QStringLiteral("dok"));
        const QByteArray kopf = dok.Read(4);
        QCOMPARE(kopf, QByteArray("II*\0", 4));
        dok.Rewind();
        QCOMPARE(dok.Read(2), QByteArray("II"));
        const QString pfad = m_dir.filePath(QStringLiteral("dok.tif"));
        dok.FileWrite(pfad);
        QCOMPARE(QFileInfo(pfad).size(), dok.groesse());
        QVERIFY_THROWS_EXCEPTION(ServerFehler, doks.getat(doks.Count() + 1));
        d.SYS_Close();
        QVERIFY(d.istLeer());
    }

    void unbekannteIdGibtLeeresObjekt()
    {
        QVERIFY(m_v.OpenId(QStringLiteral("AR.Dokumente"), QStringLiteral("424242424242")).istLeer());
        QVERIFY(m_v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||ZZ")).istLeer());
        QCOMPARE(m_v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||ZZ")).get(QStringLiteral("Belart")), QString());
        // An unknown class is an error, not an empty object.
        QVERIFY_THROWS_EXCEPTION(ServerFehler, m_v.OpenId(QStringLiteral("AR.Gibtsnicht"), QStringLiteral("1")));
    }

    void neuerBelegMitDokumentUndVersion()
    {
        const QByteArray version1 = QByteArray("II*\0", 4) + QByteArray(70000, 'a');
        const QByteArray version2 = QByteArray("II*\0", 4) + QByteArray(90000, 'b');
        const QString datei = m_dir.filePath(QStringLiteral("neu.tif"));
        schreiben(datei, version1);

        Objekt d = m_v.New(QStringLiteral("AR.Dokumente"));
        d.set(QStringLiteral("Firma"), QStringLiteral("1"));
        d.call(QStringLiteral("IdBelartSetObjectId"), {QStringLiteral("1||ER")});
        d.set(QStringLiteral("Belnr"), QStringLiteral("77/1"));
        d.set(QStringLiteral("Datum"), QStringLiteral("2026-12-08"));
        d.set(QStringLiteral("zeit"), QStringLiteral("09:30:00"));
        d.set(QStringLiteral("privatjn"), QStringLiteral("N"));
        d.set(QStringLiteral("picsw"), QStringLiteral("1"));
        Objekt e = m_v.New(QStringLiteral("AR.Dokuments"));
        e.set(QStringLiteral("daterst"), QStringLiteral("2026-12-08"));
        e.set(QStringLiteral("doktext"), QStringLiteral("Erstfassung"));
        e.set(QStringLiteral("doktyp"), QStringLiteral("tif"));
        d.sammlung(QStringLiteral("Doks")).Insert(e);
        e.strom(QStringLiteral("dok")).FileRead(datei);
        QCOMPARE(d.SYS_Save(), 1);
        const QString id = d.SYS_Id();
        QVERIFY(id.toLongLong() > 65535);
        QVERIFY(!e.SYS_Id().isEmpty());

        // Replacing the file of the same document element.
        schreiben(datei, version2);
        Objekt wieder = m_v.OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(wieder.ref(QStringLiteral("IDBelart")).get(QStringLiteral("Belart")), QStringLiteral("ER"));
        QCOMPARE(wieder.sammlung(QStringLiteral("Doks")).Count(), 1);
        Objekt element = wieder.sammlung(QStringLiteral("Doks")).getat(1);
        QCOMPARE(element.get(QStringLiteral("doktext")), QStringLiteral("Erstfassung"));
        element.strom(QStringLiteral("dok")).Rewind();
        element.strom(QStringLiteral("dok")).FileRead(datei);
        element.set(QStringLiteral("doktext"), QStringLiteral("ersetzt"));
        // A second version as a new element.
        Objekt v2 = m_v.New(QStringLiteral("AR.Dokuments"));
        v2.set(QStringLiteral("doktyp"), QStringLiteral("tif"));
        v2.set(QStringLiteral("doktext"), QStringLiteral("Version 2"));
        wieder.sammlung(QStringLiteral("Doks")).Insert(v2);
        QCOMPARE(wieder.SYS_Save(), 1);

        Objekt drittes = m_v.OpenId(QStringLiteral("AR.Dokumente"), id);
        Sammlung doks = drittes.sammlung(QStringLiteral("Doks"));
        QCOMPARE(doks.Count(), 2);
        QCOMPARE(doks.getat(1).get(QStringLiteral("doktext")), QStringLiteral("ersetzt"));
        QCOMPARE(doks.getat(2).get(QStringLiteral("doktext")), QStringLiteral("Version 2"));
        QCOMPARE(doks.getat(2).strom(QStringLiteral("dok")).Read(1), QByteArray());
        const QString zurueck = m_dir.filePath(QStringLiteral("zurueck.tif"));
        doks.getat(1).strom(QStringLiteral("dok")).FileWrite(zurueck);
        QCOMPARE(lesen(zurueck), version2);
        // Objects are deleted by id through any object of their class.
        Objekt scan = m_v.New(QStringLiteral("AR.Scandat"));
        schreiben(datei, version1);
        scan.strom(QStringLiteral("dok")).FileRead(datei);
        QCOMPARE(scan.SYS_Save(), 1);
        scan.call(QStringLiteral("SYS_DeleteId"), {scan.SYS_Id()});
        QVERIFY(m_v.OpenId(QStringLiteral("AR.Scandat"), scan.SYS_Id()).istLeer());
    }

    void schluesselObjekte()
    {
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Belart"), {{{"Firma", "7"}, {"Belart", "TT"}, {"Bezeichnung", "Testtyp"}}}));
        Objekt b = m_v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("7||TT"));
        QCOMPARE(b.get(QStringLiteral("Bezeichnung")), QStringLiteral("Testtyp"));
        // A type is master data: a workstation changes only its label counter.
        b.set(QStringLiteral("Bezeichnung"), QStringLiteral("Anders"));
        QVERIFY(b.SYS_Save() != 1);
        Objekt zweites = m_v.New(QStringLiteral("AR.Belart"));
        zweites.set(QStringLiteral("Firma"), QStringLiteral("7"));
        zweites.set(QStringLiteral("Belart"), QStringLiteral("TU"));
        QVERIFY(zweites.SYS_Save() != 1);
        // The label counter of company 7: a user of company 7 moves it.
        Objekt offen = m_v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("7||TT"));
        offen.set(QStringLiteral("lastbelnrbarc"), QStringLiteral("149"));
        QVERIFY(offen.SYS_Save() != 1);
        QVERIFY(m_server->anmelden(QStringLiteral("7")));
        offen = m_v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("7||TT"));
        offen.set(QStringLiteral("lastbelnrbarc"), QStringLiteral("149"));
        QCOMPARE(offen.SYS_Save(), 1);
        QVERIFY(m_server->anmelden());
        QCOMPARE(m_v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("7||TT")).get(QStringLiteral("lastbelnrbarc")),
                 QStringLiteral("149"));
    }

    void wwsBenutzerUndMethoden()
    {
        Verbindung wws;
        QVERIFY(wws.Connect(m_server->verbindungstext(QStringLiteral("TESSAM"))));
        Objekt u = wws.OpenId(QStringLiteral("TS.ParPersEdv"), QStringLiteral("1||MM"));
        QVERIFY(!u.istLeer());
        QCOMPARE(u.get(QStringLiteral("aktiv")), QStringLiteral("J"));
        QCOMPARE(u.get(QStringLiteral("passwort")), QString());
        QCOMPARE(u.call(QStringLiteral("pnamelogicaltoodbc"), {u.get(QStringLiteral("pname"))}), QStringLiteral("Max Mustermann"));
        QCOMPARE(u.call(QStringLiteral("PasswortPruefen"), {QStringLiteral("geheim")}), QStringLiteral("1"));
        QCOMPARE(u.call(QStringLiteral("PasswortPruefen"), {QStringLiteral("geheim ")}), QStringLiteral("0"));
        QCOMPARE(u.call(QStringLiteral("PasswortPruefen"), {QStringLiteral("Geheim")}), QStringLiteral("0"));
        // A user without a stored password matches no typed text.
        QVERIFY(m_server->stammdaten(QStringLiteral("TS.ParPersEdv"), {{{"Firma", "1"}, {"Pcode", "OHNE"}, {"aktiv", "J"}}}));
        Objekt ohneGelesen = wws.OpenId(QStringLiteral("TS.ParPersEdv"), QStringLiteral("1||OHNE"));
        for (const QString &versuch : {QString(), QStringLiteral("x"), QStringLiteral("geheim")})
            QCOMPARE(ohneGelesen.call(QStringLiteral("PasswortPruefen"), {versuch}), QStringLiteral("0"));
        // Same code, other company, other user.
        Objekt nord = wws.OpenId(QStringLiteral("TS.ParPersEdv"), QStringLiteral("7||MM"));
        QCOMPARE(nord.call(QStringLiteral("PasswortPruefen"), {QStringLiteral("geheim")}), QStringLiteral("0"));
        QVERIFY(wws.OpenId(QStringLiteral("TS.ParPersEdv"), QStringLiteral("1||NIEMAND")).istLeer());
        QCOMPARE(
            wws.ClassMethods(QStringLiteral("TS.ParPersEdv")).call(QStringLiteral("pnamelogicaltoodbc"), {QStringLiteral("Kunz,Erika")}).wert(),
            QStringLiteral("Erika Kunz"));
        wws.Disconnect();
        QVERIFY(!wws.IsConnected());
        QVERIFY_THROWS_EXCEPTION(ServerFehler, wws.ClassMethods(QStringLiteral("TS.ParPersEdv")));
    }

    void ruhendeVerbindungWirdErneuert()
    {
        // The server closes idle connections; the next call reconnects.
        ArchivServer s(ArchivServer::Inhalt::Leer);
        QVERIFY2(s.starten({"--idle-timeout", "1"}), qPrintable(s.fehler()));
        Verbindung v;
        QVERIFY(v.Connect(s.verbindungstext()));
        QThread::msleep(2500);
        ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
        rs.Execute();
        QVERIFY(!rs.Next());
    }

    void abgestuerzterServerGibtFehlerStattZuHaengen()
    {
        ArchivServer s(ArchivServer::Inhalt::Leer);
        QVERIFY(s.starten());
        Verbindung v;
        QVERIFY(v.Connect(s.verbindungstext()));
        QVERIFY(s.stammdaten(QStringLiteral("AR.Firma"), {{{"Firma", "3"}}}));
        QVERIFY(!v.OpenId(QStringLiteral("AR.Firma"), QStringLiteral("3")).istLeer());
        s.abschiessen();
        QVERIFY_THROWS_EXCEPTION(ServerFehler, v.OpenId(QStringLiteral("AR.Firma"), QStringLiteral("3")));
    }
};

QTEST_GUILESS_MAIN(TestVerbindung)
#include "tst_verbindung.moc"
