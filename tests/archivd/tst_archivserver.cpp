#include "common/Etikett.h"
#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace archiv;
using archiv::test::ArchivServer;

// The server as a client sees it over HTTP: the wire protocol's answers to
// bad requests, lost-update protection and durability after a hard kill.
class TestArchivServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<ArchivServer> m_server;

    std::unique_ptr<httplib::Client> client()
    {
        // TLS, the certificate taken as it comes, with the test's key.
        auto c = std::make_unique<httplib::Client>(QStringLiteral("https://127.0.0.1:%1").arg(m_server->port()).toStdString());
        c->enable_server_certificate_verification(false);
        c->set_default_headers({{"Authorization", m_server->zugangKopf().toStdString()},
                                {"X-Archiv-Sitzung", server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).toStdString()}});
        c->set_keep_alive(true);
        return c;
    }

    static QJsonObject json(const httplib::Result &r)
    {
        return r ? QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object() : QJsonObject();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 40);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
    }

    // A completeness job with more than a thousand report lines waiting:
    // it is blocked in the middle of its work when the server is told to
    // stop, and the server still ends cleanly.
    void stoppenMitLaufendemVollstaendigkeitstest()
    {
        ArchivServer eigener(ArchivServer::Inhalt::Demo, 5);
        // Many Belege in one statement, past the server (and its trail).
        eigener.ohneNachpruefung();
        QVERIFY(eigener.sqlite(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 1499) "
                                              "INSERT INTO ar_dokumente (version, firma, idbelart, belnr, datum, picsw) "
                                              "SELECT 1, 1, (SELECT id FROM ar_belart WHERE firma = 1 AND belart = 'GU'), "
                                              "CAST(300000 + 2 * i AS TEXT), '2035-03-01', 0 FROM n")));
        QVERIFY2(eigener.starten(), qPrintable(eigener.fehler()));
        server::Verbindung v;
        QVERIFY(v.Connect(eigener.verbindungstext()));
        server::KlassenMethoden m = v.ClassMethods(QStringLiteral("AR.Dokumente"));
        const QString auftrag = m.call(QStringLiteral("VTestStart"), {QStringLiteral("GU"), QStringLiteral("2035"), QStringLiteral("1")}).wert();
        QVERIFY(m.call(QStringLiteral("VTestErg"), {auftrag}).wert().startsWith(QStringLiteral("RUN|Belegart GU")));
        QTest::qWait(300); // the job fills its queue of lines and waits there
        QCOMPARE(eigener.stoppen(), 0);
    }

    // A job nobody asks about is stopped and forgotten by the clock, not
    // only when the next job starts.
    void verwaisterAuftragWirdVergessen()
    {
        ArchivServer eigener(ArchivServer::Inhalt::Demo, 5);
        QVERIFY2(eigener.starten({QStringLiteral("--job-idle"), QStringLiteral("1")}), qPrintable(eigener.fehler()));
        server::Verbindung v;
        QVERIFY(v.Connect(eigener.verbindungstext()));
        server::KlassenMethoden m = v.ClassMethods(QStringLiteral("AR.Dokumente"));
        const QString auftrag = m.call(QStringLiteral("VTestStart"), {QStringLiteral("GU"), QStringLiteral("2026"), QStringLiteral("1")}).wert();
        // Not a single question for three times the limit.
        QTest::qWait(3000);
        const QString danach = m.call(QStringLiteral("VTestErg"), {auftrag}).wert();
        QVERIFY2(danach.startsWith(QStringLiteral("ERR|")) && danach.contains(QStringLiteral("gibt es nicht")), qPrintable(danach));
    }

    void beideNamensraeumeAusEinemProzess()
    {
        auto c = client();
        for (const char *ns : {"TSARCHIV", "TESSAM"}) {
            auto r = c->Get(QStringLiteral("/v1/%1/ping").arg(QLatin1String(ns)).toStdString());
            QVERIFY(r);
            QCOMPARE(r->status, 200);
            QCOMPARE(json(r).value("namespace").toString(), QLatin1String(ns));
        }
    }

    void schlechteAnfragen_data()
    {
        QTest::addColumn<QString>("methode");
        QTest::addColumn<QString>("pfad");
        QTest::addColumn<QByteArray>("koerper");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("code");
        const QByteArray liste = R"({"class":"AR.Firma","query":"Liste","args":[]})";
        QTest::newRow("malformed JSON") << "POST"
                                        << "/v1/TSARCHIV/query" << QByteArray("{\"class\":") << 400 << "bad_request";
        QTest::newRow("JSON array") << "POST"
                                    << "/v1/TSARCHIV/query" << QByteArray("[]") << 400 << "bad_request";
        QTest::newRow("argument not a string") << "POST"
                                               << "/v1/TSARCHIV/query" << QByteArray(R"({"class":"AR.Firma","query":"Liste","args":[1]})")
                                               << 400 << "bad_request";
        QTest::newRow("wrong argument count") << "POST"
                                              << "/v1/TSARCHIV/query" << QByteArray(R"({"class":"AR.Firma","query":"Liste","args":["1"]})")
                                              << 400 << "bad_request";
        QTest::newRow("unknown namespace") << "POST"
                                           << "/v1/NIRGENDS/query" << liste << 404 << "unknown_namespace";
        QTest::newRow("class of the other namespace") << "POST"
                                                      << "/v1/TESSAM/query" << liste << 404 << "unknown_class";
        QTest::newRow("unknown class") << "POST"
                                       << "/v1/TSARCHIV/query" << QByteArray(R"({"class":"AR.Nichts","query":"Liste","args":[]})") << 404
                                       << "unknown_class";
        QTest::newRow("unknown query") << "POST"
                                       << "/v1/TSARCHIV/query" << QByteArray(R"({"class":"AR.Firma","query":"Gibtsnicht","args":[]})")
                                       << 404 << "unknown_query";
        QTest::newRow("unknown method") << "POST"
                                        << "/v1/TSARCHIV/call" << QByteArray(R"({"class":"AR.Firma","method":"Zaubern","args":[]})") << 404
                                        << "unknown_method";
        QTest::newRow("object method without id")
            << "POST"
            << "/v1/TESSAM/call" << QByteArray(R"({"class":"TS.ParPersEdv","method":"PasswortPruefen","args":["x"]})") << 400
            << "bad_request";
        QTest::newRow("unknown id") << "GET"
                                    << "/v1/TSARCHIV/object/AR.Dokumente/999999999" << QByteArray() << 404 << "unknown_id";
        QTest::newRow("id not a number") << "GET"
                                         << "/v1/TSARCHIV/object/AR.Dokumente/abc" << QByteArray() << 404 << "unknown_id";
        QTest::newRow("composite id with a part missing") << "GET"
                                                          << "/v1/TSARCHIV/object/AR.Belart/1" << QByteArray() << 404 << "unknown_id";
        QTest::newRow("malformed blob id") << "GET"
                                           << "/v1/TSARCHIV/blob/xyz" << QByteArray() << 400 << "bad_request";
        QTest::newRow("unknown blob") << "GET"
                                      << "/v1/TSARCHIV/blob/" + QString(64, u'0') << QByteArray() << 404 << "unknown_blob";
        QTest::newRow("unknown path") << "GET"
                                      << "/v2/TSARCHIV/ping" << QByteArray() << 404 << "unknown_path";
        QTest::newRow("save without version") << "PUT"
                                              << "/v1/TSARCHIV/object/AR.Belart/1%7C%7CER"
                                              << QByteArray(R"({"props":{"lastbelnrbarc":"5"}})") << 400 << "bad_request";
        QTest::newRow("unknown property") << "POST"
                                          << "/v1/TSARCHIV/object/AR.Dokumente" << QByteArray(R"({"props":{"Firma":"1","Farbe":"rot"}})")
                                          << 400 << "bad_request";
        QTest::newRow("number property with text")
            << "POST"
            << "/v1/TSARCHIV/object/AR.Dokumente" << QByteArray(R"({"props":{"Firma":"neun"}})") << 400 << "bad_request";
        QTest::newRow("date that is no date") << "POST"
                                              << "/v1/TSARCHIV/object/AR.Dokumente" << QByteArray(R"({"props":{"Datum":"2023-02-30"}})")
                                              << 400 << "bad_request";
        QTest::newRow("reference to nothing") << "POST"
                                              << "/v1/TSARCHIV/object/AR.Dokumente" << QByteArray(R"({"refs":{"IdBelart":"1||ZZ"}})") << 400
                                              << "bad_request";
        QTest::newRow("stream with unknown blob")
            << "POST"
            << "/v1/TSARCHIV/object/AR.Scandat" << QByteArray(R"({"streams":{"dok":{"blob":"00"}}})") << 400 << "bad_request";
        QTest::newRow("element saved alone") << "POST"
                                             << "/v1/TSARCHIV/object/AR.Dokuments" << QByteArray(R"({"props":{"doktyp":"tif"}})") << 400
                                             << "bad_request";
        QTest::newRow("delete unknown") << "DELETE"
                                        << "/v1/TSARCHIV/object/AR.Scandat/5" << QByteArray() << 404 << "unknown_id";
        // What only the server's commands change: refused, whatever the body.
        const QList<std::tuple<const char *, const char *, const char *, QByteArray>> amServer{
            {"new company", "POST", "/v1/TSARCHIV/object/AR.Firma", R"({"props":{"Firma":"99","Name":"Fremd"}})"},
            {"company renamed", "PUT", "/v1/TSARCHIV/object/AR.Firma/1", R"({"version":"1","props":{"Name":"x"}})"},
            {"company deleted", "DELETE", "/v1/TSARCHIV/object/AR.Firma/7", {}},
            {"new type", "POST", "/v1/TSARCHIV/object/AR.Belart", R"({"props":{"Firma":"1","Belart":"ZZ"}})"},
            {"type renamed", "PUT", "/v1/TSARCHIV/object/AR.Belart/1%7C%7CER", R"({"version":"1","props":{"Bezeichnung":"x"}})"},
            {"counter with more", "PUT", "/v1/TSARCHIV/object/AR.Belart/1%7C%7CER",
             R"({"version":"1","props":{"lastbelnrbarc":"9","Barcode":"N"}})"},
            {"type deleted", "DELETE", "/v1/TSARCHIV/object/AR.Belart/1%7C%7CER", {}},
            {"index property", "POST", "/v1/TSARCHIV/object/AR.BelartIndex", R"({"props":{"Firma":"1","Belart":"ER","Eigenschaft":"5"}})"},
            {"customer", "POST", "/v1/TSARCHIV/object/AR.Kund", R"({"props":{"Firma":"1","Knr":"1","Name":"x"}})"},
            {"backup record", "POST", "/v1/TSARCHIV/object/AR.Sicherung", R"({"props":{"DVD":"gefälscht"}})"},
            {"WWS user", "POST", "/v1/TESSAM/object/TS.ParPersEdv", R"({"props":{"Firma":"1","Pcode":"X","passwort":"p"}})"},
            {"WWS user enabled", "PUT", "/v1/TESSAM/object/TS.ParPersEdv/1%7C%7CMM", R"({"version":"1","props":{"aktiv":"J"}})"},
            {"WWS user deleted", "DELETE", "/v1/TESSAM/object/TS.ParPersEdv/1%7C%7CMM", {}},
            {"Beleg deleted", "DELETE", "/v1/TSARCHIV/object/AR.Dokumente/1", {}},
            {"document deleted", "DELETE", "/v1/TSARCHIV/object/AR.Dokuments/1", {}}};
        for (const auto &[name, methode, pfad, koerper] : amServer)
            QTest::newRow(name) << methode << pfad << koerper << 403 << "forbidden";
    }
    void schlechteAnfragen()
    {
        QFETCH(QString, methode);
        QFETCH(QString, pfad);
        QFETCH(QByteArray, koerper);
        QFETCH(int, status);
        QFETCH(QString, code);
        auto c = client();
        const std::string p = pfad.toStdString();
        const std::string b = koerper.toStdString();
        httplib::Result r = methode == "GET" ? c->Get(p)
            : methode == "PUT"               ? c->Put(p, b, "application/json")
            : methode == "DELETE"            ? c->Delete(p)
                                             : c->Post(p, b, "application/json");
        QVERIFY(r);
        QCOMPARE(r->status, status);
        const QJsonObject fehler = json(r).value("error").toObject();
        QCOMPARE(fehler.value("code").toString(), code);
        QVERIFY(!fehler.value("message").toString().isEmpty());
        // The same connection and a fresh one are served afterwards.
        auto r2 = c->Get("/v1/TSARCHIV/ping");
        QVERIFY(r2 && r2->status == 200);
        QVERIFY(client()->Get("/v1/TSARCHIV/ping"));
    }

    void zuGrosseAnfrage()
    {
        auto c = client();
        std::string riesig(65 * 1024 * 1024, ' ');
        riesig.front() = '{';
        riesig.back() = '}';
        auto r = c->Post("/v1/TSARCHIV/query", riesig, "application/json");
        QVERIFY(r);
        QCOMPARE(r->status, 413);
        QCOMPARE(json(r).value("error").toObject().value("code").toString(), QStringLiteral("too_large"));
        QVERIFY(client()->Get("/v1/TSARCHIV/ping"));
    }

    void firmenListe()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Firma"), QStringLiteral("Liste"));
        rs.Execute();
        QStringList zeilen;
        while (rs.Next())
            zeilen << rs.GetData(1) + u'|' + rs.GetData(2);
        rs.Close();
        QCOMPARE(zeilen, QStringList({"1|Tessam Handel GmbH", "7|Tessam Filiale Nord"}));
    }

    void zweiterSpeichertVeraltetenStand()
    {
        server::Verbindung a, b;
        QVERIFY(a.Connect(m_server->verbindungstext()));
        QVERIFY(b.Connect(m_server->verbindungstext()));
        // Two workstations reserve labels of the same type at once.
        const QString typ = QStringLiteral("1||ER");
        server::Objekt oa = a.OpenId(QStringLiteral("AR.Belart"), typ);
        server::Objekt ob = b.OpenId(QStringLiteral("AR.Belart"), typ);
        QVERIFY(!oa.istLeer() && !ob.istLeer());
        const qint64 vorher = oa.get(QStringLiteral("lastbelnrbarc")).toLongLong();
        oa.set(QStringLiteral("lastbelnrbarc"), QString::number(vorher + 10));
        QCOMPARE(oa.SYS_Save(), 1);
        ob.set(QStringLiteral("lastbelnrbarc"), QString::number(vorher + 20));
        QVERIFY(ob.SYS_Save() != 1);
        QVERIFY(!ob.letzterFehler().isEmpty());
        QCOMPARE(a.OpenId(QStringLiteral("AR.Belart"), typ).get(QStringLiteral("lastbelnrbarc")).toLongLong(), vorher + 10);
        // The first one goes on saving from its own, current copy.
        oa.set(QStringLiteral("lastbelnrbarc"), QString::number(vorher + 30));
        QCOMPARE(oa.SYS_Save(), 1);
    }

    void indexwerteGehenMitDemBeleg()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const auto werte = [&v](const QString &id) {
            QMap<int, QStringList> w;
            server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
            rs.Execute(QStringList{QStringLiteral("1"), id});
            while (rs.Next())
                w[rs.GetData(1).toInt()] << rs.GetData(2);
            return w;
        };
        server::Objekt b = v.New(QStringLiteral("AR.Dokumente"));
        b.set(QStringLiteral("Firma"), QStringLiteral("1"));
        b.set(QStringLiteral("Belnr"), QStringLiteral("IX-1"));
        b.set(QStringLiteral("Datum"), QStringLiteral("2026-12-03"));
        b.setRef(QStringLiteral("IdBelart"), QStringLiteral("1||ER"));
        // The editor shows each value followed by a blank: trailing blanks
        // are not stored, so the value loads again as it was shown.
        b.indexwertSetzen(QStringLiteral("1"), 2, QStringLiteral("70001 "));
        b.indexwertSetzen(QStringLiteral("1"), 22, QStringLiteral("Überweisung"));
        QCOMPARE(b.SYS_Save(), 1);
        const QString id = b.SYS_Id();
        QCOMPARE(werte(id).value(2), QStringList{"70001"});
        QCOMPARE(werte(id).value(22), QStringList{"Überweisung"});

        // One bad value: neither the header nor any value of that save is stored.
        b.set(QStringLiteral("Belnr"), QStringLiteral("IX-1-geändert"));
        b.indexwertSetzen(QStringLiteral("1"), 5, QStringLiteral("gut"));
        b.indexwertSetzen(QStringLiteral("1"), 0, QString()); // fine: removes nothing
        b.indexwertSetzen(QStringLiteral("x"), 5, QStringLiteral("schlecht"));
        QVERIFY(b.SYS_Save() != 1);
        QVERIFY2(b.letzterFehler().contains(QStringLiteral("Zahlen")), qPrintable(b.letzterFehler()));
        QCOMPARE(v.OpenId(QStringLiteral("AR.Dokumente"), id).get(QStringLiteral("Belnr")), QStringLiteral("IX-1"));
        QVERIFY(!werte(id).contains(5));

        // A value replaces all of its property; an empty one removes them.
        server::Objekt c = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        c.indexwertSetzen(QStringLiteral("1"), 22, QString());
        c.indexwertSetzen(QStringLiteral("1"), 2, QStringLiteral("70002"));
        QCOMPARE(c.SYS_Save(), 1);
        QCOMPARE(werte(id).value(2), QStringList{"70002"});
        QVERIFY(!werte(id).contains(22));

        // The single call does the same in a transaction of its own.
        server::KlassenMethoden extind = v.ClassMethods(QStringLiteral("AR.Extind"));
        QCOMPARE(extind.call(QStringLiteral("seteigensch"), {"1", "5", id, "Größe ß "}).wert(), QStringLiteral("1"));
        QCOMPARE(werte(id).value(5), QStringList{"Größe ß"});
        QVERIFY_THROWS_EXCEPTION(server::ServerFehler, extind.call(QStringLiteral("seteigensch"), {"1", "5", "999999999", "x"}));

        // Only a Beleg carries index values.
        server::Objekt kasse = v.OpenId(QStringLiteral("AR.Kassa"), QStringLiteral("1||1"));
        kasse.indexwertSetzen(QStringLiteral("1"), 5, QStringLiteral("x"));
        QVERIFY(kasse.SYS_Save() != 1);
    }

    void belegNachNummerUndSicherungen()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        QStringList ids;
        for (const char *datum : {"2026-11-02", "2026-11-01"}) {
            server::Objekt b = v.New(QStringLiteral("AR.Dokumente"));
            b.set(QStringLiteral("Firma"), QStringLiteral("1"));
            b.set(QStringLiteral("Belnr"), QStringLiteral("NR 4711/ä"));
            b.set(QStringLiteral("Datum"), QLatin1String(datum));
            b.setRef(QStringLiteral("IdBelart"), QStringLiteral("1||LS"));
            QCOMPARE(b.SYS_Save(), 1);
            ids << b.SYS_Id();
        }
        const auto datum = [&v](const QString &typ, const QString &nr) {
            QStringList zeilen;
            server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Datum"));
            rs.Execute(QStringList{QStringLiteral("1"), typ, nr});
            while (rs.Next())
                zeilen << rs.GetData(1) + u'|' + rs.GetData(2).left(10);
            return zeilen;
        };
        QCOMPARE(datum(QStringLiteral("1||LS"), QStringLiteral("NR 4711/ä")),
                 QStringList({ids.at(1) + "|2026-11-01", ids.at(0) + "|2026-11-02"}));
        QVERIFY(datum(QStringLiteral("1||ER"), QStringLiteral("NR 4711/ä")).isEmpty());
        QVERIFY(datum(QStringLiteral("1||XX"), QStringLiteral("NR 4711/ä")).isEmpty());
        QVERIFY(datum(QStringLiteral("1||LS"), QStringLiteral("NR 4711")).isEmpty());

        server::KlassenMethoden dokumente = v.ClassMethods(QStringLiteral("AR.Dokumente"));
        QCOMPARE(dokumente.call(QStringLiteral("Setdirty"), {ids.at(0)}).wert(), QStringLiteral("1"));
        QVERIFY_THROWS_EXCEPTION(server::ServerFehler, dokumente.call(QStringLiteral("Setdirty"), {QStringLiteral("999999999")}));

        // Never backed up: an empty list; three volumes in the order written.
        QCOMPARE(dokumente.call(QStringLiteral("GetBackupinfo"), {ids.at(0)}).Count(), 0);
        for (const auto &[dvd, tag] :
             {std::pair{"DVD-2026-03", "2026-03-01"}, std::pair{"DVD-2026-01", "2026-01-01"}, std::pair{"DVD-2026-02", "2026-02-01"}})
            QVERIFY(m_server->sqlite(QStringLiteral("INSERT INTO ar_sicherung (iddokumente, dvd, datum) VALUES (%1, '%2', '%3')")
                                         .arg(ids.at(0), QLatin1String(dvd), QLatin1String(tag))));
        const server::MethodenErgebnis info = dokumente.call(QStringLiteral("GetBackupinfo"), {ids.at(0)});
        QVERIFY(info.istListe());
        QCOMPARE(info.Count(), 3);
        QCOMPARE(info.element(1), QStringLiteral("DVD-2026-01"));
        QCOMPARE(info.element(3), QStringLiteral("DVD-2026-03"));
    }

    void etikettenUndScans()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        server::KlassenMethoden scandat = v.ClassMethods(QStringLiteral("AR.Scandat"));
        const auto beleg = [&scandat](const QString &code) { return scandat.call(QStringLiteral("GetBelegFromBarcode"), {code}).wert(); };
        // A label run of the type LS: the counter moves on by 20.
        server::Objekt ls = v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||LS"));
        const qint64 vorher = ls.get(QStringLiteral("lastbelnrbarc")).toLongLong();
        ls.set(QStringLiteral("lastbelnrbarc"), QString::number(vorher + 20));
        QCOMPARE(ls.SYS_Save(), 1);
        const QString erstes = common::etikett::code(vorher + 1);
        QCOMPARE(erstes.size(), 13);
        QCOMPARE(beleg(erstes), QStringLiteral("LS%1").arg(vorher + 1));
        QCOMPARE(beleg(common::etikett::code(vorher + 20)), QStringLiteral("LS%1").arg(vorher + 20));
        QString falsch = erstes;
        falsch[12] = QChar(u'0' + (erstes.at(12).unicode() - u'0' + 1) % 10);
        QCOMPARE(beleg(falsch), QString()); // wrong check digit
        QCOMPARE(beleg(common::etikett::code(vorher + 21)), QString()); // not printed
        QCOMPARE(beleg(QStringLiteral("4006381333931")), QString()); // a foreign EAN-13
        // A code with type code and number: returned when that Beleg exists.
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "ER", "", "", "", "", "1"});
        QVERIFY(rs.Next());
        const QString belnr = v.OpenId(QStringLiteral("AR.Dokumente"), rs.GetData(1).section(u',', 0, 0)).get(QStringLiteral("Belnr"));
        QCOMPARE(beleg(QStringLiteral("ER") + belnr), QStringLiteral("ER") + belnr);
        QCOMPARE(beleg(QStringLiteral("ER") + belnr + QStringLiteral("0000")), QString());

        // The scan store's pages of a number, in page order.
        for (const int seite : {2, 1, 3}) {
            server::Objekt s = v.New(QStringLiteral("AR.Scandat"));
            s.set(QStringLiteral("dokument"), QStringLiteral("ER-Scan-Ä1"));
            s.set(QStringLiteral("seite"), QString::number(seite));
            QCOMPARE(s.SYS_Save(), 1);
        }
        server::ErgebnisMenge seiten = v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        seiten.Execute(QStringList{QStringLiteral("ER-Scan-Ä1")});
        QStringList folge;
        while (seiten.Next()) {
            folge << seiten.GetData(1);
            QVERIFY(!v.OpenId(QStringLiteral("AR.Scandat"), seiten.GetData(2)).istLeer());
        }
        QCOMPARE(folge, QStringList({"1", "2", "3"}));
    }

    void hartesBeendenVerliertNichtsBestaetigtes()
    {
        ArchivServer s(ArchivServer::Inhalt::Leer);
        QVERIFY2(s.starten(), qPrintable(s.fehler()));
        std::mutex mutex;
        QList<std::pair<QString, QByteArray>> bestaetigt; // scan id, file bytes
        std::atomic<bool> weiter{true};
        std::atomic<int> fehler{0};
        std::thread schreiber([&] {
            server::Verbindung v;
            if (!v.Connect(s.verbindungstext()))
                return;
            QTemporaryDir dir;
            for (int i = 0; weiter && i < 100000; ++i) {
                QByteArray inhalt = QByteArray::number(i).repeated(1000 + i % 5000);
                const QString pfad = dir.filePath(QStringLiteral("seite.tif"));
                QFile f(pfad);
                f.open(QIODevice::WriteOnly);
                f.write(inhalt);
                f.close();
                try {
                    server::Objekt o = v.New(QStringLiteral("AR.Scandat"));
                    o.set(QStringLiteral("seite"), QString::number(i));
                    o.set(QStringLiteral("dokument"), QStringLiteral("ER%1").arg(i));
                    o.strom(QStringLiteral("dok")).FileRead(pfad);
                    if (o.SYS_Save() == 1) {
                        std::lock_guard lock(mutex);
                        bestaetigt.append({o.SYS_Id(), inhalt});
                    } else {
                        ++fehler;
                    }
                } catch (...) {
                    ++fehler;
                }
            }
        });
        QElapsedTimer uhr;
        uhr.start();
        while (uhr.elapsed() < 20000) {
            {
                std::lock_guard lock(mutex);
                if (bestaetigt.size() >= 60)
                    break;
            }
            QThread::msleep(10);
        }
        s.abschiessen();
        weiter = false;
        schreiber.join();
        QVERIFY(bestaetigt.size() >= 20);

        QVERIFY2(s.starten(), qPrintable(s.fehler()));
        server::Verbindung v;
        QVERIFY(v.Connect(s.verbindungstext()));
        QTemporaryDir dir;
        for (const auto &[id, inhalt] : bestaetigt) {
            server::Objekt o = v.OpenId(QStringLiteral("AR.Scandat"), id);
            QVERIFY2(!o.istLeer(), qPrintable(id));
            const QString pfad = dir.filePath(QStringLiteral("zurueck.tif"));
            o.strom(QStringLiteral("dok")).FileWrite(pfad);
            QFile f(pfad);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), inhalt);
        }
        s.stoppen();
        QString ausgabe;
        QCOMPARE(ArchivServer::archivd({"check", "--db", s.dbPfad()}, &ausgabe), 0);
        QCOMPARE(ausgabe.trimmed(), QStringLiteral("ok"));
    }

    void ersetzteDateiBleibtErhalten()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        QTemporaryDir dir;
        const QString pfad = dir.filePath(QStringLiteral("seite.tif"));
        auto schreiben = [&](const QByteArray &inhalt) {
            QFile f(pfad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(inhalt);
        };
        const QByteArray alt("erste Fassung der Seite");
        schreiben(alt);
        server::Objekt scan = v.New(QStringLiteral("AR.Scandat"));
        scan.strom(QStringLiteral("dok")).FileRead(pfad);
        QCOMPARE(scan.SYS_Save(), 1);
        schreiben("zweite Fassung");
        scan.strom(QStringLiteral("dok")).FileRead(pfad);
        QCOMPARE(scan.SYS_Save(), 1);
        scan.SYS_DeleteId(scan.SYS_Id());

        const std::string altId = QCryptographicHash::hash(alt, QCryptographicHash::Sha256).toHex().toStdString();
        auto r = client()->Get("/v1/TSARCHIV/blob/" + altId);
        QVERIFY(r && r->status == 200);
        QCOMPARE(QByteArray::fromStdString(r->body), alt);
        if (m_server->aufPostgres())
            return;
        const auto blob = m_server->sqlite(
            QStringLiteral("SELECT blob FROM stream_history WHERE class = 'AR.Scandat' AND object_id = %1").arg(scan.SYS_Id()));
        QVERIFY(blob && blob->isValid());
        QCOMPARE(blob->toString().toStdString(), altId);
    }

    void passwortVerlaesstDenServerNicht()
    {
        auto c = client();
        auto r = c->Get("/v1/TESSAM/object/TS.ParPersEdv/1%7C%7CMM");
        QVERIFY(r && r->status == 200);
        QVERIFY(!QByteArray::fromStdString(r->body).contains("passwort"));
        QVERIFY(!QByteArray::fromStdString(r->body).contains("argon2"));
    }

    void scanspeicherBefehle()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const auto beleg = [&v](const char *firma, const char *belnr) {
            server::Objekt b = v.New(QStringLiteral("AR.Dokumente"));
            b.set(QStringLiteral("Firma"), QLatin1String(firma));
            b.set(QStringLiteral("Belnr"), QLatin1String(belnr));
            b.set(QStringLiteral("Datum"), QStringLiteral("2026-11-30"));
            b.set(QStringLiteral("Text"), QStringLiteral("Rechnung Müller"));
            b.setRef(QStringLiteral("IdBelart"), QLatin1String(firma) + QStringLiteral("||ER"));
            if (b.SYS_Save() != 1)
                qFatal("no Beleg");
            return b.SYS_Id();
        };
        const QString sb1 = beleg("1", "SB-1");
        beleg("1", "SB-2");
        QVERIFY(m_server->anmelden(QStringLiteral("7")));
        beleg("7", "SB-2"); // the same number in another company, by one of its users
        QVERIFY(m_server->anmelden());
        for (const auto &[nummer, seite] :
             {std::pair{"ERSB-1", 1}, std::pair{"ERSB-1", 2}, std::pair{"ERSB-2", 1}, std::pair{"ERSB-GIBTSNICHT", 1}, std::pair{"", 1}}) {
            server::Objekt s = v.New(QStringLiteral("AR.Scandat"));
            s.set(QStringLiteral("dokument"), QLatin1String(nummer));
            s.set(QStringLiteral("seite"), QString::number(seite));
            QCOMPARE(s.SYS_Save(), 1);
        }
        server::KlassenMethoden scandat = v.ClassMethods(QStringLiteral("AR.Scandat"));
        const auto liste = [&v](const QString &nummer) {
            QStringList zeilen;
            server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("Liste"));
            rs.Execute();
            while (rs.Next())
                if (rs.GetData(2) == nummer)
                    zeilen << rs.GetData(3) + u'|' + rs.GetData(4).left(10) + u'|' + rs.GetData(5);
            return zeilen;
        };
        // Only the number that names one Beleg is assigned.
        QCOMPARE(scandat.call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")}).wert(), QStringLiteral("2"));
        QCOMPARE(liste(QStringLiteral("ERSB-1")), QStringList({"1|2026-11-30|Rechnung Müller", "2|2026-11-30|Rechnung Müller"}));
        QCOMPARE(liste(QStringLiteral("ERSB-2")), QStringList({"1||"}));
        server::ErgebnisMenge zu = v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        zu.Execute(QStringList{QStringLiteral("ERSB-1")});
        QVERIFY(zu.Next());
        QCOMPARE(v.OpenId(QStringLiteral("AR.Scandat"), zu.GetData(2)).refId(QStringLiteral("IDDokumente")), sb1);
        // Searching again changes nothing more.
        QCOMPARE(scandat.call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")}).wert(), QStringLiteral("0"));
        // What stays without a Beleg, and why.
        const server::MethodenErgebnis ohne = scandat.call(QStringLiteral("OhneBeleg"));
        QStringList gruende;
        bool ohneNummer = false;
        for (int i = 1; i <= ohne.Count(); ++i) {
            if (ohne.element(i).startsWith(QLatin1String("ERSB")))
                gruende << ohne.element(i);
            ohneNummer = ohneNummer || (ohne.element(i).startsWith(u'|') && ohne.element(i).endsWith(QLatin1String("|ohne")));
        }
        QCOMPARE(gruende, QStringList({"ERSB-2|1|mehrdeutig", "ERSB-GIBTSNICHT|1|fehlt"}));
        QVERIFY(ohneNummer);
        // The Beleg lookup of the edit dialog: type code + number, or the
        // number alone in any company.
        const auto nummer = [&v](const QString &text) {
            QStringList z;
            server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Nummer"));
            rs.Execute(QStringList{text});
            while (rs.Next())
                z << rs.GetData(2) + u'|' + rs.GetData(4) + rs.GetData(5);
            return z;
        };
        QCOMPARE(nummer(QStringLiteral("ERSB-1")), QStringList{"1|ERSB-1"});
        QCOMPARE(nummer(QStringLiteral("SB-2")).size(), 2);
        QVERIFY(nummer(QStringLiteral("ERSB-3")).isEmpty());
        QVERIFY(nummer(QStringLiteral("  ")).isEmpty());

        QCOMPARE(scandat.call(QStringLiteral("ZuordnungLoeschen"), {QStringLiteral("ERSB-1")}).wert(), QStringLiteral("2"));
        QCOMPARE(liste(QStringLiteral("ERSB-1")), QStringList({"1||", "2||"}));
        QCOMPARE(scandat.call(QStringLiteral("BelegLoeschen"), {QStringLiteral("ERSB-1")}).wert(), QStringLiteral("2"));
        QVERIFY(liste(QStringLiteral("ERSB-1")).isEmpty());
        QVERIFY(scandat.call(QStringLiteral("ClearAll")).wert().toInt() >= 3);
        QVERIFY(liste(QStringLiteral("ERSB-2")).isEmpty());
        QVERIFY(liste(QString()).isEmpty());
    }

    // A password check tells an attacker nothing: unknown user, disabled
    // user and wrong password answer alike, and failures slow the next tries
    // of that user and of that workstation.
    void passwortPruefungOhneOrakel()
    {
        auto erster = client();
        // A second workstation with a key of its own.
        QString zweiterSchluessel;
        QCOMPARE(ArchivServer::archivd({"client", "add", "kasse-2", "--db", m_server->dbPfad()}, &zweiterSchluessel), 0);
        auto zweiter = client();
        zweiter->set_default_headers({{"Authorization", "Bearer " + ArchivServer::schluesselAus(zweiterSchluessel).section(u'.', 0, 1).toStdString()}});
        httplib::Client *c = erster.get();
        const auto pruefen = [&c](const char *id, const char *passwort, qint64 *ms = nullptr) {
            QElapsedTimer uhr;
            uhr.start();
            const std::string b = QJsonDocument(QJsonObject{{"class", "TS.ParPersEdv"},
                                                            {"method", "PasswortPruefen"},
                                                            {"args", QJsonArray{QLatin1String(passwort)}},
                                                            {"id", QLatin1String(id)}})
                                      .toJson()
                                      .toStdString();
            const httplib::Result r = c->Post("/v1/TESSAM/call", b, "application/json");
            if (ms)
                *ms = uhr.elapsed();
            return r && r->status == 200 ? json(r).value("result").toString() : QStringLiteral("status %1 %2").arg(r ? r->status : -1).arg(r ? 0 : int(r.error()));
        };
        QCOMPARE(pruefen("1||EK", "erika"), QStringLiteral("1"));
        QCOMPARE(pruefen("1||AL", "alt"), QStringLiteral("0")); // disabled, right password
        QCOMPARE(pruefen("1||NIEMAND", "x"), QStringLiteral("0")); // unknown: no 404
        QCOMPARE(pruefen("1||EK", "falsch"), QStringLiteral("0"));
        // The fourth failure in a row waits, the fifth longer.
        QCOMPARE(pruefen("1||EK", "falsch"), QStringLiteral("0"));
        QCOMPARE(pruefen("1||EK", "falsch"), QStringLiteral("0"));
        qint64 vierte = 0, fuenfte = 0;
        QCOMPARE(pruefen("1||EK", "falsch", &vierte), QStringLiteral("0"));
        QCOMPARE(pruefen("1||EK", "falsch", &fuenfte), QStringLiteral("0"));
        QVERIFY2(vierte >= 250 && fuenfte >= 500, qPrintable(QStringLiteral("%1 ms, %2 ms").arg(vierte).arg(fuenfte)));
        // The workstation that failed waits for other users as well.
        qint64 andererHier = 0;
        QCOMPARE(pruefen("1||MM", "geheim", &andererHier), QStringLiteral("1"));
        QVERIFY2(andererHier >= 500, qPrintable(QStringLiteral("%1 ms").arg(andererHier)));
        // Another workstation is not slowed down for other users; the right
        // password still passes and forgets the user's failures.
        c = zweiter.get();
        qint64 anderer = 0;
        QCOMPARE(pruefen("1||MM", "geheim", &anderer), QStringLiteral("1"));
        QVERIFY2(anderer + 250 < fuenfte, qPrintable(QStringLiteral("%1 ms").arg(anderer)));
        QCOMPARE(pruefen("1||EK", "erika"), QStringLiteral("1"));
        qint64 danach = 0;
        QCOMPARE(pruefen("1||EK", "falsch", &danach), QStringLiteral("0"));
        QVERIFY2(danach + 250 < fuenfte, qPrintable(QStringLiteral("%1 ms").arg(danach)));
    }

    // A web page on a workstation cannot write; nothing archived is deleted.
    void keineBrowserKeinLoeschen()
    {
        auto c = client();
        const std::string speichern = R"({"props":{"Name":"x"},"version":1})";
        httplib::Result r = c->Put("/v1/TSARCHIV/object/AR.Firma/1", httplib::Headers{{"Origin", "http://intranet"}}, speichern,
                                   "application/json");
        QVERIFY(r);
        QCOMPARE(r->status, 403);
        r = c->Put("/v1/TSARCHIV/object/AR.Firma/1", speichern, "text/plain");
        QVERIFY(r);
        QCOMPARE(r->status, 415);
        r = c->Get("/v1/TSARCHIV/ping", httplib::Headers{{"Origin", "http://intranet"}});
        QVERIFY(r);
        QCOMPARE(r->status, 403);
        for (const char *pfad : {"/v1/TSARCHIV/object/AR.Dokumente/1", "/v1/TSARCHIV/object/AR.Dokuments/1"}) {
            r = c->Delete(pfad);
            QVERIFY(r);
            QCOMPARE(r->status, 403);
            QCOMPARE(json(r).value("error").toObject().value("code").toString(), QStringLiteral("forbidden"));
        }
    }

    void cleanupTestCase() { m_server.reset(); }
};

QTEST_GUILESS_MAIN(TestArchivServer)
#include "tst_archivserver.moc"
