#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QTest>

using namespace archiv;
using namespace archiv::server;
using archiv::test::ArchivServer;

// The class queries of the archive on a small archive whose every row the
// test made itself, so each answer is known exactly.
class TestAbfragen : public QObject
{
    Q_OBJECT
    std::unique_ptr<ArchivServer> m_server;
    Verbindung m_v;
    QMap<QString, QString> m_id; // name in this test -> object id

    QString anlegen(const QString &klasse, const QMap<QString, QString> &props, const QMap<QString, QString> &refs = {})
    {
        // Master data comes in on the server; Belege over the wire.
        if (klasse != QLatin1String("AR.Dokumente") && klasse != QLatin1String("AR.Extind")) {
            QString fehler;
            if (!m_server->stammdaten(klasse, {props}, &fehler))
                qFatal("%s: %s", qPrintable(klasse), qPrintable(fehler));
            return {};
        }
        // Written by a user of the company they belong to.
        if (const QString firma = props.value(QStringLiteral("Firma"), QStringLiteral("1")); firma != m_server->angemeldeteFirma())
            if (!m_server->anmelden(firma))
                qFatal("no login for company %s", qPrintable(firma));
        Objekt o = m_v.New(klasse);
        for (auto it = props.cbegin(); it != props.cend(); ++it)
            o.set(it.key(), it.value());
        for (auto it = refs.cbegin(); it != refs.cend(); ++it)
            o.setRef(it.key(), it.value());
        if (o.SYS_Save() != 1)
            qFatal("%s: %s", qPrintable(klasse), qPrintable(o.letzterFehler()));
        return o.SYS_Id();
    }

    QString beleg(const QString &name, const QString &firma, const QString &typ, const QString &nr, const QString &datum,
                  const QString &zeit, const QString &picsw, const QString &text, const QString &storno, const QMap<int, QString> &werte)
    {
        const QString id = anlegen(
            QStringLiteral("AR.Dokumente"),
            {{"Firma", firma}, {"Belnr", nr}, {"Datum", datum}, {"zeit", zeit}, {"picsw", picsw}, {"Text", text}, {"storno", storno}},
            {{"IdBelart", firma + QStringLiteral("||") + typ}});
        for (auto it = werte.cbegin(); it != werte.cend(); ++it)
            anlegen(QStringLiteral("AR.Extind"), {{"Firma", firma}, {"Eigenschaft", QString::number(it.key())}, {"Wert", it.value()}},
                    {{"IDDokumente", id}});
        m_id.insert(name, id);
        return id;
    }

    protokoll::Zeilen abfrage(const QString &klasse, const QString &name, const QStringList &args)
    {
        ErgebnisMenge rs = m_v.ResultSet(klasse, name);
        rs.Execute(args);
        protokoll::Zeilen z;
        while (rs.Next()) {
            QStringList zeile;
            for (int i = 1; i <= 9; ++i)
                zeile << rs.GetData(i);
            while (!zeile.isEmpty() && zeile.last().isEmpty())
                zeile.removeLast();
            z << zeile;
        }
        rs.Close();
        return z;
    }

    QStringList treffer(const QStringList &args)
    {
        QStringList namen;
        for (const QStringList &z : abfrage(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"), args))
            namen << m_id.key(z.value(0), QStringLiteral("?") + z.value(0));
        return namen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Leer);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        QVERIFY(m_v.Connect(m_server->verbindungstext()));
        for (const QString &f : {QStringLiteral("1"), QStringLiteral("7")}) {
            anlegen(QStringLiteral("AR.Firma"), {{"Firma", f}, {"Name", "Firma " + f}});
            anlegen(QStringLiteral("AR.Belart"),
                    {{"Firma", f},
                     {"Belart", "ER"},
                     {"Bezeichnung", "Eingangsrechnung"},
                     {"Vollstaendig", "J"},
                     {"WWS", "J"},
                     {"Barcode", "J"}});
            anlegen(QStringLiteral("AR.Belart"), {{"Firma", f}, {"Belart", "LS"}, {"Bezeichnung", "Lieferschein"}, {"WWS", "J"}});
            anlegen(QStringLiteral("AR.Belart"), {{"Firma", f}, {"Belart", "KA"}, {"Bezeichnung", "Kassenbeleg"}});
            int reihe = 1;
            for (const auto &[typ, eig, name, auswahl, suche, ziel] :
                 QList<std::tuple<const char *, int, const char *, const char *, const char *, const char *>>{
                     {"ER", 2, "Lieferant", "N", "J", ""},
                     {"ER", 8, "Lieferschein", "N", "N", "LS"},
                     {"ER", 16, "Profitcenter", "J", "N", ""},
                     {"ER", 3, "Mitarbeiter", "J", "N", ""},
                     {"ER", 5, "Bemerkung", "N", "N", ""},
                     {"LS", 1, "Kunde", "N", "J", ""},
                     {"LS", 10, "Rechnung", "N", "N", "ER"},
                     {"LS", 3, "Mitarbeiter", "J", "N", ""},
                     {"KA", 7, "Kasse", "J", "N", ""}})
                anlegen(QStringLiteral("AR.BelartIndex"),
                        {{"Firma", f},
                         {"Belart", typ},
                         {"Eigenschaft", QString::number(eig)},
                         {"Bezeichnung", name},
                         {"Reihenfolge", QString::number(reihe++)},
                         {"Auswahl", auswahl},
                         {"Suche", suche},
                         {"Anzeige", "J"},
                         {"Zielbelart", ziel}});
        }
        anlegen(QStringLiteral("AR.Kund"),
                {{"Firma", "1"},
                 {"Knr", "10001"},
                 {"Kgrp", "GH"},
                 {"Name", "Kunde Eins"},
                 {"Kurzbez", "EINS"},
                 {"Plz", "20095"},
                 {"Ort", "Hamburg"}});
        anlegen(QStringLiteral("AR.Kund"), {{"Firma", "1"}, {"Knr", "42"}, {"Kgrp", "EH"}, {"Name", "Zweiter Kunde"}, {"Kurzbez", "ZWEI"}});
        anlegen(QStringLiteral("AR.Lief"), {{"Firma", "1"}, {"Lnr", "70001"}, {"Lieftyp", "W"}, {"Name", "Lieferant W"}, {"Kurzbez", "LW"}});
        anlegen(QStringLiteral("AR.Lief"), {{"Firma", "1"}, {"Lnr", "70002"}, {"Lieftyp", "D"}, {"Name", "Dienst D"}, {"Kurzbez", "DD"}});
        anlegen(QStringLiteral("AR.Lief"), {{"Firma", "1"}, {"Lnr", "70003"}, {"Lieftyp", "S"}, {"Name", "Spedition"}, {"Kurzbez", "SP"}});
        anlegen(QStringLiteral("AR.Mitarb"), {{"Firma", "1"}, {"Mitarb", "MA01"}, {"Name", "Meyer, Anna"}});
        anlegen(QStringLiteral("AR.Mitarb"), {{"Firma", "1"}, {"Mitarb", "MA02"}, {"Name", "Koch, Bernd"}});
        anlegen(QStringLiteral("AR.Artikel"),
                {{"Firma", "1"}, {"Artnr", "400001"}, {"Abtnr", "10"}, {"Bezeichnung", "Schraube M8"}, {"Kurzbez", "SCHRAU"}});
        anlegen(QStringLiteral("AR.Artikel"),
                {{"Firma", "1"}, {"Artnr", "400002"}, {"Abtnr", "20"}, {"Bezeichnung", "Dübel"}, {"Kurzbez", "DUEBEL"}});

        beleg("A", "1", "ER", "100", "2024-01-10", "10:00:00", "1", "Rechnung A", "N",
              {{5, "Ware beschädigt, Gutschrift folgt"}, {2, "70001"}, {16, "0101"}, {8, "200"}});
        beleg("B", "1", "ER", "101", "2024-02-01", "09:00:00", "0", "Rechnung B", "N", {{16, "0102"}, {3, "MA01"}});
        beleg("C", "1", "LS", "200", "2024-01-05", "08:00:00", "2", "", "N", {{1, "10001"}, {10, "100"}, {3, "MA01"}});
        beleg("D", "1", "ER", "10023/1", "2023-12-31", "23:59:59", "1", "Korrektur", "J", {});
        beleg("E", "7", "KA", "5", "2025-06-01", "12:00:00", "1", "andere Firma", "N", {{7, "2"}});
        beleg("F", "1", "ER", "102", "2024-03-01", "07:00:00", "1", "Rechnung F", "N", {{8, "999"}, {16, "0101"}, {3, "MA02"}});
        beleg("G", "1", "ER", "102", "2024-03-01", "07:00:00", "1", "gleiche Zeit, spaeter angelegt", "N", {});
        // Values with capital umlauts and ß, in company 7.
        beleg("U", "7", "LS", "900", "2020-05-04", "10:00:00", "1", "", "N", {{5, "Überweisung"}});
        beleg("S", "7", "LS", "901", "2020-05-03", "10:00:00", "1", "", "N", {{5, "Straße"}, {3, "MÜ01"}});
        beleg("V", "7", "LS", "902", "2020-05-02", "10:00:00", "1", "", "N", {{5, "Außenlager"}});
    }

    void suche_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("erwartet");
        const auto a = [](const char *b, const char *n, const char *d1, const char *d2, const char *k, const char *l = "500") {
            return QStringList{"1", b, n, d1, d2, k, l};
        };
        QTest::newRow("everything of the company, newest first") << a("", "", "", "", "") << QStringList{"G", "F", "B", "A", "C", "D"};
        QTest::newRow("one type") << a("LS", "", "", "", "") << QStringList{"C"};
        QTest::newRow("types and a date range") << a("ER,LS", "", "2024-01-01", "2024-01-31", "") << QStringList{"A", "C"};
        QTest::newRow("only a start date") << a("", "", "2024-02-01", "", "") << QStringList{"G", "F", "B"};
        QTest::newRow("only an end date, inclusive") << a("", "", "", "2023-12-31", "") << QStringList{"D"};
        QTest::newRow("numbers with blanks") << a("", " 100 , 200", "", "", "") << QStringList{"A", "C"};
        QTest::newRow("number pattern") << a("ER", "10*", "", "", "") << QStringList{"G", "F", "B", "A", "D"};
        QTest::newRow("number range") << a("", "100-101", "", "", "") << QStringList{"B", "A"};
        QTest::newRow("number with slash is exact") << a("", "10023/1", "", "", "") << QStringList{"D"};
        QTest::newRow("text pattern, any case") << a("", "", "", "", "5|WARE*") << QStringList{"A"};
        QTest::newRow("backquote stands for a comma") << a("", "", "", "", "5|ware beschädigt` Gutschrift folgt") << QStringList{"A"};
        QTest::newRow("without the comma it is another text") << a("", "", "", "", "5|ware beschädigt Gutschrift folgt") << QStringList{};
        QTest::newRow("profit centres, any of them") << a("", "", "", "", "16|0101`0102`") << QStringList{"F", "B", "A"};
        QTest::newRow("profit centre and employee, both") << a("", "", "", "", "16|0101`,3|MA02`") << QStringList{"F"};
        QTest::newRow("a value and a list") << a("", "", "", "", "2|70001,16|0101`") << QStringList{"A"};
        QTest::newRow("limit") << a("", "", "", "", "", "2") << QStringList{"G", "F"};
        QTest::newRow("limit 0") << a("", "", "", "", "", "0") << QStringList{};
        QTest::newRow("other company") << QStringList{"7", "", "", "", "", "", "500"} << QStringList{"E", "U", "S", "V"};
    }

    // Values are compared without regard to case by one folding on every
    // database, umlauts and ß included.
    void sucheOhneGrossKlein_data()
    {
        QTest::addColumn<QString>("kriterium");
        QTest::addColumn<QStringList>("erwartet");
        QTest::newRow("as stored") << "5|Überweisung" << QStringList{"U"};
        QTest::newRow("lower case") << "5|überweisung" << QStringList{"U"};
        QTest::newRow("upper case") << "5|ÜBERWEISUNG" << QStringList{"U"};
        QTest::newRow("pattern with capital umlaut") << "5|Übe*" << QStringList{"U"};
        QTest::newRow("pattern with lower umlaut") << "5|übe*" << QStringList{"U"};
        QTest::newRow("ß typed as SS") << "5|STRASSE" << QStringList{"S"};
        QTest::newRow("ß typed as ß") << "5|straße" << QStringList{"S"};
        QTest::newRow("ß in a pattern") << "5|*SSE" << QStringList{"S"};
        QTest::newRow("ß in the middle") << "5|AUSSENLAGER" << QStringList{"V"};
        QTest::newRow("list key with umlaut") << "3|mü01`" << QStringList{"S"};
        QTest::newRow("another text") << "5|Überweisungen" << QStringList{};
    }
    void sucheOhneGrossKlein()
    {
        QFETCH(QString, kriterium);
        QFETCH(QStringList, erwartet);
        QCOMPARE(treffer({"7", "LS", "", "", "", kriterium, "500"}), erwartet);
    }
    void suche()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, erwartet);
        QCOMPARE(treffer(args), erwartet);
    }

    void sucheSpalten()
    {
        const protokoll::Zeilen z = abfrage(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"), {"1", "", "", "", "", "", "500"});
        QMap<QString, QStringList> nachName;
        for (const QStringList &zeile : z)
            nachName.insert(m_id.key(zeile.at(0)), zeile);
        QCOMPARE(nachName.value("A"), QStringList({m_id["A"], "ER", "100", "2024-01-10", "10:00:00", "Rechnung A", "1"}));
        // No WWS text: the customer's name; status 2 for a PDF.
        QCOMPARE(nachName.value("C"), QStringList({m_id["C"], "LS", "200", "2024-01-05", "08:00:00", "Kunde Eins", "2"}));
        QCOMPARE(nachName.value("B").at(6), QStringLiteral("0"));
        QCOMPARE(nachName.value("D").at(6), QStringLiteral("5")); // cancelled
    }

    void sucheMitFehlern_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("date that is no date") << QStringList{"1", "", "", "2024-13-01", "", "", "500"};
        QTest::newRow("second date malformed") << QStringList{"1", "", "", "", "31.12.2024", "", "500"};
        QTest::newRow("limit not a number") << QStringList{"1", "", "", "", "", "", "viele"};
        QTest::newRow("negative limit") << QStringList{"1", "", "", "", "", "", "-1"};
        QTest::newRow("criterion without code") << QStringList{"1", "", "", "", "", "abc", "500"};
        QTest::newRow("company not a number") << QStringList{"eins", "", "", "", "", "", "500"};
        QTest::newRow("six arguments") << QStringList{"1", "", "", "", "", ""};
    }
    void sucheMitFehlern()
    {
        QFETCH(QStringList, args);
        ErgebnisMenge rs = m_v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        try {
            rs.Execute(args);
            QFAIL("no error");
        } catch (const ServerFehler &e) {
            QCOMPARE(e.status(), 400);
        }
    }

    void verknuepfungen()
    {
        auto links = [this](const QString &name) {
            QStringList l;
            for (const QStringList &z : abfrage(QStringLiteral("AR.Extind"), QStringLiteral("GetEigenschVerkn"), {"1", m_id.value(name)}))
                l << QStringLiteral("%1 %2 %3 %4 %5").arg(z.value(2), z.value(1), m_id.key(z.value(3), z.value(3)), z.value(4), z.value(5));
            return l;
        };
        // A holds a reference to delivery note 200 (C); C refers back to A.
        QCOMPARE(links("A"), QStringList({"LS 200 C 2024-01-05 8", "LS 200 C 2024-01-05 10"}));
        QCOMPARE(links("C"), QStringList({"ER 100 A 2024-01-10 8", "ER 100 A 2024-01-10 10"}));
        // A reference to a number that is not archived: id 0, no date.
        QCOMPARE(links("F"), QStringList({"LS 999 0  8"}));
        QCOMPARE(links("B"), QStringList());
    }

    void typenUndEigenschaften()
    {
        QCOMPARE(abfrage(QStringLiteral("AR.Belart"), QStringLiteral("Belart"), {"1"}),
                 protokoll::Zeilen({{"ER", "ER", "Eingangsrechnung", "J", "J", "J"},
                                    {"KA", "KA", "Kassenbeleg", "N", "N", "N"},
                                    {"LS", "LS", "Lieferschein", "N", "J", "N"}}));
        // The union of both types, each property once.
        const protokoll::Zeilen e = abfrage(QStringLiteral("AR.BelartIndex"), QStringLiteral("ListeIndexart"), {"ER,LS", "", "J"});
        QStringList codes;
        for (const QStringList &z : e)
            codes << z.at(0);
        QCOMPARE(codes, QStringList({"2", "8", "16", "3", "5", "1", "10"}));
        QCOMPARE(e.at(0), QStringList({"2", "Lieferant", "N", "J"}));
        QCOMPARE(e.at(2), QStringList({"16", "Profitcenter", "J", "N"}));
        QVERIFY(abfrage(QStringLiteral("AR.BelartIndex"), QStringLiteral("ListeIndexart"), {"", "", "J"}).isEmpty());
    }

    void editorAbfragen()
    {
        // The editor's rows of one type: nine columns in their order.
        const protokoll::Zeilen er = abfrage(QStringLiteral("AR.BelartIndex"), QStringLiteral("Liste"), {"ER", "1", ""});
        QCOMPARE(er.size(), 5);
        QCOMPARE(er.at(0), QStringList({"ER", "2", "Lieferant", "1", "N", "J", "N", "J", "N"}));
        QCOMPARE(er.at(2).mid(0, 6), QStringList({"ER", "16", "Profitcenter", "3", "J", "N"}));
        // Without a company every property comes once, not once per company.
        QCOMPARE(abfrage(QStringLiteral("AR.BelartIndex"), QStringLiteral("Liste"), {"ER", "", ""}), er);
        QVERIFY(abfrage(QStringLiteral("AR.BelartIndex"), QStringLiteral("Liste"), {"XX", "", ""}).isEmpty());

        // A Beleg's stored values in the order stored; several rows of one
        // property stay separate.
        const QString id = beleg("H", "1", "LS", "300", "2024-04-01", "10:00:00", "1", "", "N", {{1, "10001"}});
        for (const char *wert : {"erster", "zweiter", "dritter"})
            anlegen(QStringLiteral("AR.Extind"), {{"Firma", "1"}, {"Eigenschaft", "5"}, {"Wert", wert}}, {{"IDDokumente", id}});
        QCOMPARE(abfrage(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"), {"1", id}),
                 protokoll::Zeilen({{"1", "10001"}, {"5", "erster"}, {"5", "zweiter"}, {"5", "dritter"}}));
        QVERIFY(abfrage(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"), {"7", id}).isEmpty());
        // Ids beyond 16 and 32 bits are numbers like any other; text is refused.
        QVERIFY(abfrage(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"), {"1", "4294967297"}).isEmpty());
        ErgebnisMenge rs = m_v.ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
        QVERIFY_THROWS_EXCEPTION(server::ServerFehler, rs.Execute(QStringList{"1", "abc"}));
    }

    void stammdaten()
    {
        // Customers: short name or group, short name before group.
        QCOMPARE(abfrage(QStringLiteral("AR.Kund"), QStringLiteral("Liste"), {"1", "ein", ""}),
                 protokoll::Zeilen({{"10001", "GH", "Kunde Eins", "20095", "Hamburg"}}));
        QCOMPARE(abfrage(QStringLiteral("AR.Kund"), QStringLiteral("Liste"), {"1", "", "EH"}).size(), 1);
        QCOMPARE(abfrage(QStringLiteral("AR.Kund"), QStringLiteral("Liste"), {"1", "", ""}).size(), 2);
        QCOMPARE(abfrage(QStringLiteral("AR.Kund"), QStringLiteral("Liste"), {"1", "*kunde", ""}).size(), 2);
        // Suppliers: types joined by single blanks.
        QCOMPARE(abfrage(QStringLiteral("AR.Lief"), QStringLiteral("Liste"), {"1", "", "W S"}).size(), 2);
        QCOMPARE(abfrage(QStringLiteral("AR.Lief"), QStringLiteral("Liste"), {"1", "", "D"}).first().first(), QStringLiteral("70002"));
        // Articles: department before the short name.
        QCOMPARE(abfrage(QStringLiteral("AR.Artikel"), QStringLiteral("Liste"), {"1", "20", ""}),
                 protokoll::Zeilen({{"400002", "20", "Dübel"}}));
        QCOMPARE(abfrage(QStringLiteral("AR.Artikel"), QStringLiteral("Liste"), {"1", "", "schr"}).size(), 1);
        // Employees with the number of Belege of the types, and the editor's form.
        QCOMPARE(abfrage(QStringLiteral("AR.Mitarb"), QStringLiteral("Liste"), {"1", "ER"}),
                 protokoll::Zeilen({{"MA01", "Meyer, Anna", "1"}, {"MA02", "Koch, Bernd", "1"}}));
        QCOMPARE(abfrage(QStringLiteral("AR.Mitarb"), QStringLiteral("Liste"), {"1", "ER,LS"}).first(),
                 QStringList({"MA01", "Meyer, Anna", "2"}));
        QCOMPARE(abfrage(QStringLiteral("AR.Mitarb"), QStringLiteral("Liste"), {"1", "N"}).first(), QStringList({"MA01", "Meyer, Anna"}));
        // Values used so far, once each.
        QCOMPARE(abfrage(QStringLiteral("AR.Extind"), QStringLiteral("Inhalte"), {"1", "16"}), protokoll::Zeilen({{"0101"}, {"0102"}}));
        // Departments with or without the type list.
        QVERIFY(abfrage(QStringLiteral("AR.Abtnr1"), QStringLiteral("Liste"), {"1"}).isEmpty());
        QVERIFY(abfrage(QStringLiteral("AR.Abtnr2"), QStringLiteral("Liste"), {"1", "ER"}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAbfragen)
#include "tst_abfragen.moc"
