#include "editor/Editorbilder.h"
#include "editor/Editorregeln.h"

#include <QTest>

using namespace archiv::editor;

class TestEditorregeln : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void speicheroptionen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("abgebrochen");
        QTest::addColumn<bool>("neueVersion");
        QTest::addColumn<QString>("versionstext");
        QTest::addColumn<bool>("privat");
        QTest::newRow("abgebrochen") << QString() << true << false << QString() << false;
        QTest::newRow("nichts angekreuzt") << "0||0" << false << false << QString() << false;
        QTest::newRow("neue Version") << "1|Korrektur Lieferschein|0" << false << true << "Korrektur Lieferschein" << false;
        QTest::newRow("privat mit Umlaut") << "0|Größe geändert|1" << false << false << "Größe geändert" << true;
        QTest::newRow("Strich im Text") << "0|a|b|1" << false << false << "a|b" << true;
    }

    void speicheroptionen()
    {
        QFETCH(QString, text);
        QFETCH(bool, abgebrochen);
        const auto o = archiv::editor::speicheroptionen(text);
        QCOMPARE(!o.has_value(), abgebrochen);
        if (!o)
            return;
        QTEST(o->neueVersion, "neueVersion");
        QTEST(o->versionstext, "versionstext");
        QTEST(o->privat, "privat");
    }

    void elementWahl_data()
    {
        QTest::addColumn<bool>("neueVersion");
        QTest::addColumn<int>("aktDok");
        QTest::addColumn<int>("doks");
        QTest::addColumn<QString>("vorigerTyp");
        QTest::addColumn<bool>("neu");
        QTest::addColumn<QString>("doktyp");
        QTest::addColumn<bool>("ersteDatei");
        QTest::newRow("erstes Dokument") << false << 0 << 0 << QString() << true << "tif" << true;
        QTest::newRow("ersetzen") << false << 1 << 2 << "tif" << false << QString() << false;
        QTest::newRow("neue Version nach TIF") << true << 2 << 2 << "tif" << true << "tif" << false;
        QTest::newRow("neue Version nach PDF") << true << 1 << 1 << "pdf" << true << "pdf" << false;
        QTest::newRow("angefügte Zeile") << false << 3 << 2 << QString() << true << "tif" << false;
        QTest::newRow("PDF ersetzen bleibt PDF") << false << 1 << 1 << "pdf" << false << QString() << false;
    }

    void elementWahl()
    {
        QFETCH(bool, neueVersion);
        QFETCH(int, aktDok);
        QFETCH(int, doks);
        QFETCH(QString, vorigerTyp);
        const archiv::editor::Elementwahl w = archiv::editor::elementWaehlen(neueVersion, aktDok, doks, vorigerTyp);
        QTEST(w.neu, "neu");
        QTEST(w.doktyp, "doktyp");
        QTEST(w.ersteDatei, "ersteDatei");
    }

    void steuerung_data()
    {
        QTest::addColumn<Editorstand>("stand");
        QTest::addColumn<bool>("speichern");
        QTest::addColumn<bool>("ansicht");
        QTest::addColumn<bool>("seitenanzeige");
        QTest::addColumn<bool>("loeschen");
        QTest::addColumn<bool>("kopf");
        QTest::addColumn<bool>("neu");
        QTest::addColumn<bool>("dokumentKnoepfe");
        QTest::newRow("view only") << Editorstand{"", "ER", true, "4711", 3, "100001", 2} << false << true << true << false << false
                                   << false << false;
        QTest::newRow("edit, everything filled")
            << Editorstand{"bearbeiten", "ER", true, "4711", 1, "", 0} << true << true << false << true << true << true << false;
        QTest::newRow("edit, no type") << Editorstand{"bearbeiten", "", true, "4711", 1, "", 0} << false << true << false << true << true
                                       << true << false;
        QTest::newRow("edit, no number") << Editorstand{"bearbeiten", "ER", true, "", 0, "", 0} << false << false << false << false << true
                                         << true << false;
        QTest::newRow("edit, no date") << Editorstand{"bearbeiten", "ER", false, "1", 0, "", 0} << false << false << false << false << true
                                       << true << false;
        QTest::newRow("two pages show the page controls")
            << Editorstand{"bearbeiten", "ER", true, "1", 2, "100001", 1} << true << true << true << true << true << false << true;
    }
    void steuerung()
    {
        QFETCH(Editorstand, stand);
        const Steuerung z = Zustand(stand);
        QTEST(z.speichernAn, "speichern");
        QTEST(z.seitenansichtSichtbar, "ansicht");
        QTEST(z.seitenanzeigeSichtbar, "seitenanzeige");
        QTEST(z.loeschenAngeboten, "loeschen");
        QTEST(z.kopfAn, "kopf");
        QTEST(z.neuSichtbar, "neu");
        QTEST(z.dokumentKnoepfeSichtbar, "dokumentKnoepfe");
        QCOMPARE(z.werkzeugeAn, stand.seiten > 0);
        QCOMPARE(z.druckenAn, stand.seiten > 0);
    }

    void fensterlayout()
    {
        const auto l = layout(12000, 9000);
        QVERIFY(l);
        QCOMPARE(l->tab1, (Rechteck{50, 50, 11850, 8600}));
        QCOMPARE(l->rahmen, (Rechteck{70, 410, 10250, 8200}));
        QCOMPARE(l->image1, (Rechteck{120, 860, 10100, 7100}));
        QCOMPARE(l->knopfLinks, 10550.0);
        QCOMPARE(l->spinLinks, 9650.0);
        QCOMPARE(l->muellLinks, 9640.0);
        // Captions that need wider buttons (a larger font): the column keeps
        // its right edge and the gap to the frame; narrower ones change nothing.
        const auto breit = layout(12000, 9000, 2000);
        QCOMPARE(breit->knopfLinks + breit->knopfBreite, l->knopfLinks + l->knopfBreite);
        QCOMPARE(breit->knopfLinks, 9950.0);
        QCOMPARE(breit->knopfLinks - (breit->rahmen.links + breit->rahmen.breite), l->knopfLinks - (l->rahmen.links + l->rahmen.breite));
        QCOMPARE(layout(12000, 9000, 900)->knopfLinks, l->knopfLinks);
        // Too small (or minimised): no layout, the last valid one stays.
        QVERIFY(!layout(1800, 9000));
        QVERIFY(!layout(12000, 1800));
        QVERIFY(!layout(0, 0));
    }

    void vorschaubilder()
    {
        // Zoomfaktor 1 in a frame 8000 wide.
        const auto p = vorschauLayout(4, 1.0, 100, 200, 8000);
        QCOMPARE(p.size(), 4);
        QCOMPARE(p.at(0).bild, (Rechteck{100, 200, 2500, 3550}));
        QCOMPARE(p.at(1).bild.links, 100 + 2600.0);
        QCOMPARE(p.at(1).bild.oben, 200.0);
        // 5300 + 2500 + 300 > 8000: a new row, 3850 below.
        QCOMPARE(p.at(2).bild.links, 100.0);
        QCOMPARE(p.at(2).bild.oben, 200 + 3850.0);
        QCOMPARE(p.at(3).bild.links, 2700.0);
        QCOMPARE(p.at(1).textLinks, 2700 + 1250 - 250.0);
        QCOMPARE(p.at(1).textOben, 200 + 3550 + 50.0);
        QVERIFY(vorschauLayout(0, 1.0, 0, 0, 8000).isEmpty());
    }

    void spin()
    {
        double z = 1;
        z = spinSchritt(z, 1);
        z = spinSchritt(z, 1);
        QCOMPARE(vorschauLayout(1, z, 0, 0, 8000).first().bild.breite, 2756.25);
        QCOMPARE(spinSchritt(spinSchritt(z, 0), -1), z / 1.05 / 1.05);
        // Held arrows stop at the bounds, in both directions.
        double klein = 1, gross = 1;
        for (int i = 0; i < 200; ++i) {
            klein = spinSchritt(klein, 0);
            gross = spinSchritt(gross, 1);
        }
        QCOMPARE(klein, MinZoomfaktor);
        QCOMPARE(gross, MaxZoomfaktor);
        QCOMPARE(spinSchritt(MaxZoomfaktor, 0), MaxZoomfaktor / 1.05);
    }

    void schwenken()
    {
        // A view 4000 wide, range 0 to 999, mouse 100 to the left: +100.
        QCOMPARE(panPosition(0, 500, 400, 0, 999, 4000, 1.0, 4), 100);
        // Vertically the divisor is 3: view 3000 high, same range.
        QCOMPARE(panPosition(50, 400, 500, 0, 999, 3000, 1.0, 3), -50);
        QCOMPARE(panPosition(7, 1, 2, 0, 999, 0, 1.0, 4), 7);
    }

    void ziehsymbol_data()
    {
        QTest::addColumn<int>("zustand");
        QTest::addColumn<int>("ueber");
        QTest::addColumn<QString>("symbol");
        // Dragging thumbnail 1.
        QTest::newRow("über einem anderen") << int(Ziehzustand::Bewegen) << 2 << "paperkl.ico";
        QTest::newRow("einen anderen verlassen") << int(Ziehzustand::Verlassen) << 2 << "papergr.ico";
        QTest::newRow("einen anderen betreten") << int(Ziehzustand::Betreten) << 2 << "papergr.ico";
        QTest::newRow("über sich selbst") << int(Ziehzustand::Bewegen) << 1 << "papergr.ico";
    }

    void ziehsymbol()
    {
        QFETCH(int, zustand);
        QFETCH(int, ueber);
        QFETCH(QString, symbol);
        QCOMPARE(ziehSymbol(Ziehzustand(zustand), ueber, 1), symbol);
        // The pictures are built in, wherever the program starts.
        QVERIFY(!bildDatei(symbol).isNull());
    }
};

QTEST_MAIN(TestEditorregeln)
#include "tst_editorregeln.moc"
