#include "search/Suchkriterien.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"

#include <QSet>
#include <QTest>

using namespace archiv;
using namespace archiv::search;

class TestSuchkriterien : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void kriterien_data()
    {
        QTest::addColumn<QList<EigenschaftsZeile>>("zeilen");
        QTest::addColumn<bool>("sichtbar");
        QTest::addColumn<QStringList>("pc");
        QTest::addColumn<QStringList>("abt");
        QTest::addColumn<QStringList>("pers");
        QTest::addColumn<QString>("k");
        QTest::newRow("nothing") << QList<EigenschaftsZeile>{} << false << QStringList{} << QStringList{} << QStringList{} << "";
        QTest::newRow("text and two profit centres") << QList<EigenschaftsZeile>{{"T", 5, "abc", ""}} << true << QStringList{"0101", "0102"}
                                                     << QStringList{} << QStringList{} << "5|abc,16|0101`0102`";
        QTest::newRow("a comma becomes a backquote")
            << QList<EigenschaftsZeile>{{"S", 1, "a, b", ""}} << false << QStringList{} << QStringList{} << QStringList{} << "1|a` b";
        QTest::newRow("choice takes the combo text") << QList<EigenschaftsZeile>{{"C", 22, "vergessen", "Bar"}} << false << QStringList{}
                                                     << QStringList{} << QStringList{} << "22|Bar";
        QTest::newRow("empty values give no entry") << QList<EigenschaftsZeile>{{"T", 5, "", ""}, {"C", 22, "x", ""}, {"S", 2, "70001", ""}}
                                                    << false << QStringList{} << QStringList{} << QStringList{} << "2|70001";
        // A row hidden by the last type selection keeps its text and is sent.
        QTest::newRow("hidden rows are sent") << QList<EigenschaftsZeile>{{"T", 5, "neu", ""}, {"T", 9, "von vorher", ""}} << false
                                              << QStringList{} << QStringList{} << QStringList{} << "5|neu,9|von vorher";
        QTest::newRow("lists in the order 16, 17, 3") << QList<EigenschaftsZeile>{} << true << QStringList{"0101"}
                                                      << QStringList{"10", "20"} << QStringList{"MA01"} << "16|0101`,17|10`20`,3|MA01`";
        QTest::newRow("lists only when the tab strip is shown")
            << QList<EigenschaftsZeile>{} << false << QStringList{"0101"} << QStringList{} << QStringList{"MA01"} << "";
    }
    void kriterien()
    {
        QFETCH(QList<EigenschaftsZeile>, zeilen);
        QFETCH(bool, sichtbar);
        QFETCH(QStringList, pc);
        QFETCH(QStringList, abt);
        QFETCH(QStringList, pers);
        QFETCH(QString, k);
        QCOMPARE(kriterienString(zeilen, {sichtbar, pc, abt, pers}), k);
    }

    void treffer_data()
    {
        QTest::addColumn<QStringList>("spalten");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("daten");
        QTest::addColumn<int>("marke");
        QTest::addColumn<bool>("durch");
        QTest::newRow("TIF") << QStringList{"100001", "ER", "4711", "2024-05-02", "10:15:00", "Müller Holz", "1"}
                             << "ER\n4711\n2024-05-02 10:15:00\nMüller Holz"
                             << "100001|1" << 1 << false;
        QTest::newRow("no document") << QStringList{"100002", "LS", "9", "2024-05-03", "08:00:00", "", "0"} << "LS\n9\n2024-05-03 08:00:00\n"
                                     << "100002|0" << 0 << false;
        QTest::newRow("cancelled") << QStringList{"100003", "ER", "1/1", "2023-01-01", "00:00:00", "x", "5"}
                                   << "ER\n1/1\n2023-01-01 00:00:00\nx"
                                   << "100003|5" << 5 << true;
        QTest::newRow("status 6 has no mark") << QStringList{"100004", "AR", "7", "2023-01-01", "00:00:00", "y", "6"}
                                              << "AR\n7\n2023-01-01 00:00:00\ny"
                                              << "100004|6" << 0 << false;
        QTest::newRow("64-bit id") << QStringList{"9007199254740993", "ER", "1", "2023-01-01", "00:00:00", "", "2"}
                                   << "ER\n1\n2023-01-01 00:00:00\n"
                                   << "9007199254740993|2" << 2 << false;
    }
    void treffer()
    {
        QFETCH(QStringList, spalten);
        const Trefferzeile z = trefferZeile(spalten);
        QTEST(z.text, "text");
        QTEST(z.daten, "daten");
        QTEST(z.statusMarke, "marke");
        QTEST(z.durchgestrichen, "durch");
    }

    void baumOhneVerknuepfung()
    {
        QList<Knoten> knoten;
        QStringList ids{"1"};
        holeElement([](const QString &, const QString &) { return protokoll::Zeilen{}; }, "1", "ER", "1", "1", 0, 2, knoten, ids);
        QVERIFY(knoten.isEmpty());
    }

    void baumJederBelegEinmal()
    {
        // A <-> B, and B -> C; C refers to a number that is not archived.
        const QMap<QString, protokoll::Zeilen> links{
            {"1", {{"", "200", "LS", "2", "2024-01-05", "8"}}},
            {"2", {{"", "100", "ER", "1", "2024-01-10", "10"}, {"", "300", "BE", "3", "2024-01-02", "9"}}},
            {"3", {{"", "999", "LS", "0", "", "8"}, {"", "998", "LS", "0", "", "8"}}},
        };
        QList<Knoten> knoten;
        QStringList ids{"1"};
        holeElement([&](const QString &, const QString &id) { return links.value(id); }, "1", "ER", "100", "1", 0, 2, knoten, ids);
        QStringList texte;
        for (const Knoten &k : knoten)
            texte << QStringLiteral("%1@%2<%3").arg(k.text).arg(k.ebene).arg(k.eltern);
        // B under A, C under B; A itself is skipped; of the two numbers that
        // are not archived only the first gets a node (id 0 counts as seen).
        QCOMPARE(texte, QStringList({"LS200     2024-01-05@2<0", "BE300     2024-01-02@3<1", "LS999     @4<2"}));
        QCOMPARE(ids, QStringList({"1", "2", "3", "0"}));
        QCOMPARE(knoten.at(0).nummer, 9);
    }

    void langeKetteAusDemArchiv()
    {
        // The demo archive holds a chain ER 19001 -> LS 29001 -> ER 19002 ...
        // -> LS 29039 -> ER 19040 (not archived).
        test::ArchivServer server(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(server.starten(), qPrintable(server.fehler()));
        server::Verbindung v;
        QVERIFY(v.Connect(server.verbindungstext()));
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "ER", "19001", "", "", "", "5"});
        QVERIFY(rs.Next());
        const QString start = rs.GetData(1);
        const auto abfrage = [&](const QString &firma, const QString &id) {
            server::ErgebnisMenge l = v.ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigenschVerkn"));
            l.Execute(QStringList{firma, id});
            protokoll::Zeilen z;
            while (l.Next())
                z << QStringList{l.GetData(1), l.GetData(2), l.GetData(3), l.GetData(4), l.GetData(5), l.GetData(6)};
            return z;
        };
        QList<Knoten> knoten;
        QStringList ids{start};
        holeElement(abfrage, "1", "ER", "19001", start, 0, 2, knoten, ids);
        QCOMPARE(knoten.size(), 78); // 39 delivery notes, 38 invoices, one number not archived
        QCOMPARE(knoten.last().ebene, 79);
        QCOMPARE(knoten.last().dokId, QStringLiteral("0"));
        QCOMPARE(knoten.last().eltern, 77);
        QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()).size(), ids.size());
    }

    void lieferantentypen()
    {
        QCOMPARE(lieferantenTypen({{"A", false}, {"B", false}, {"C", false}}), QStringLiteral("A B C"));
        QCOMPARE(lieferantenTypen({{"A", true}, {"B", false}, {"C", true}}), QStringLiteral("A C"));
        QCOMPARE(lieferantenTypen({}), QString());
    }
};

QTEST_GUILESS_MAIN(TestSuchkriterien)
#include "tst_suchkriterien.moc"
