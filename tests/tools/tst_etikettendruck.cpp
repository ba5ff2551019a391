// Label printing: the sheet's layout, a run printed to PDF through the
// window whose every barcode reads back and resolves to its Beleg number,
// the counter reserved on the server before printing.
#include "common/Etikett.h"
#include "common/Programmzustand.h"
#include "imaging/Barcode.h"
#include "imaging/Seitenliste.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"
#include "tools/Etikettendruck.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace archiv;
using archiv::test::teil;

Q_DECLARE_METATYPE(archiv::tools::Etikettplatz)

class TestEtikettendruck : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QTemporaryDir m_dir;

    // The counter set by the administrator (a workstation only moves it on).
    void zaehlerSetzen(const QString &typ, qint64 wert)
    {
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Belart"), {{{"Firma", "1"}, {"Belart", typ}, {"lastbelnrbarc", QString::number(wert)}}}));
    }
    qint64 zaehler(const QString &typ)
    {
        return m_v->OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||") + typ).get(QStringLiteral("lastbelnrbarc")).toLongLong();
    }
    // Start and count typed, "Aufbau" with its printer dialog accepted.
    static void aufbauen(tools::Etikettendruck &f, const QString &start, const QString &anzahl, bool dialogErwartet = true)
    {
        for (auto [feld, text] : {std::pair{"Belnrstart", start}, std::pair{"Etanz", anzahl}}) {
            auto *l = teil<QLineEdit>(&f, feld);
            l->selectAll();
            QTest::keyClicks(l, text);
        }
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("Print1"), [](QDialog *d) { d->accept(); });
        QTest::mouseClick(teil<QPushButton>(&f, "BUAufbau"), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), dialogErwartet ? QStringList{"Print1"} : QStringList{});
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    void layout_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<tools::Etikettplatz>("platz");
        QTest::newRow("first") << 0 << tools::Etikettplatz{0, 670, 850, 500};
        QTest::newRow("second") << 1 << tools::Etikettplatz{0, 2252, 850, 501};
        QTest::newRow("last of row 1") << 6 << tools::Etikettplatz{0, 10162, 850, 506};
        QTest::newRow("row 2") << 7 << tools::Etikettplatz{0, 670, 1417, 507};
        QTest::newRow("last of the page") << 188 << tools::Etikettplatz{0, 10162, 15592, 688};
        QTest::newRow("label 190: page 2, top left") << 189 << tools::Etikettplatz{1, 670, 850, 689};
    }
    void layout()
    {
        QFETCH(int, index);
        QFETCH(tools::Etikettplatz, platz);
        const QList<tools::Etikettplatz> l = tools::etikettenLayout(500, 200);
        QCOMPARE(l.size(), 200);
        QCOMPARE(l.at(index), platz);
        QCOMPARE(tools::etikettenLayout(1, 189).last().seite, 0);
    }

    // A company without labels for incoming invoices: no type is chosen
    // for the user, and nothing is proposed until one is.
    void ohneEingangsrechnungKeineVorauswahl()
    {
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Firma"), {{{"Firma", "9"}, {"Name", "Süd GmbH"}}}));
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Belart"),
                                     {{{"Firma", "9"}, {"Belart", "LS"}, {"Bezeichnung", "Lieferschein"}, {"Barcode", "J"}, {"lastbelnrbarc", "41"}},
                                      {{"Firma", "9"}, {"Belart", "KB"}, {"Bezeichnung", "Kassenbeleg"}, {"Barcode", "J"}, {"lastbelnrbarc", "7"}}}));
        tools::Etikettendruck f(QStringLiteral("9"));
        f.laden();
        f.show();
        auto *typ = teil<QComboBox>(&f, "LIBelart");
        QCOMPARE(typ->count(), 2);
        QCOMPARE(typ->currentIndex(), -1);
        QVERIFY(teil<QLineEdit>(&f, "Belnrstart")->text().isEmpty());
        typ->setCurrentIndex(typ->findData(QStringLiteral("LS")));
        QCOMPARE(teil<QLineEdit>(&f, "Belnrstart")->text(), QStringLiteral("42"));
    }

    // A run printed to PDF through the window: every label reads back as its
    // code and names its Beleg; the counter and the next proposal move on.
    void laufDrucken()
    {
        zaehlerSetzen(QStringLiteral("ER"), 99);
        tools::Etikettendruck f(QStringLiteral("1"));
        f.laden();
        f.show();
        QCOMPARE(f.windowTitle(), QStringLiteral("Archivserver - Etikettendruck"));
        auto *typ = teil<QComboBox>(&f, "LIBelart");
        QCOMPARE(typ->currentData().toString(), QStringLiteral("ER")); // preselected
        QVERIFY(typ->findData(QStringLiteral("BE")) < 0); // no labels for that type
        QCOMPARE(teil<QLineEdit>(&f, "Belnrstart")->text(), QStringLiteral("100"));
        aufbauen(f, QStringLiteral("100"), QStringLiteral("50"));
        const QString pdf = m_dir.filePath(QStringLiteral("etiketten.pdf"));
        f.drucker().setOutputFormat(QPrinter::PdfFormat);
        f.drucker().setOutputFileName(pdf);
        f.drucker().setResolution(300);
        QTest::mouseClick(teil<QPushButton>(&f, "BUDruck"), Qt::LeftButton);
        QVERIFY2(m_meldungen->texte().isEmpty(), qPrintable(m_meldungen->texte().join(u'\n')));
        QVERIFY(f.isHidden());
        QCOMPARE(zaehler(QStringLiteral("ER")), 149);

        QFile datei(pdf);
        QVERIFY(datei.open(QIODevice::ReadOnly));
        imaging::Seitenliste blatt;
        blatt.laden(datei.readAll(), QStringLiteral("etiketten.pdf"));
        QCOMPARE(blatt.anzahl(), 1);
        const QImage seite = blatt.seite(0).bild();
        const double dpi = seite.width() / 8.27; // A4
        server::KlassenMethoden scandat = m_v->ClassMethods(QStringLiteral("AR.Scandat"));
        for (const tools::Etikettplatz &e : tools::etikettenLayout(100, 50)) {
            const auto px = [dpi](double t) { return int(t * dpi / 1440); };
            const QImage etikett = seite.copy(px(e.links) - 20, px(e.oben + 200), px(1200) + 40, px(400));
            const QStringList codes = imaging::BarcodeLeser::lesen(imaging::Seite(etikett, int(dpi)));
            QCOMPARE(codes, QStringList{common::etikett::code(e.nummer)});
            QCOMPARE(scandat.call(QStringLiteral("GetBelegFromBarcode"), {codes.first()}).wert(), QStringLiteral("ER") + QString::number(e.nummer));
        }

        // Opened again: the next free number.
        tools::Etikettendruck wieder(QStringLiteral("1"));
        wieder.laden();
        QCOMPARE(teil<QLineEdit>(&wieder, "Belnrstart")->text(), QStringLiteral("150"));
    }

    // Workstations reserving the same numbers at the same moment, each
    // with a connection of its own: one run gets them, every other is
    // refused, and the counter moves once.
    void zweiLaeufeWirklichZugleich()
    {
        constexpr int Runden = 8, Plaetze = 4;
        zaehlerSetzen(QStringLiteral("LS"), 5000);
        for (int runde = 0; runde < Runden; ++runde) {
            const qint64 start = 5001 + runde * 10;
            std::atomic<int> bereit{0};
            std::atomic<int> gewonnen{0};
            std::vector<std::thread> faeden;
            for (int p = 0; p < Plaetze; ++p)
                faeden.emplace_back([&] {
                    server::Verbindung v;
                    if (!v.Connect(m_server->verbindungstext()))
                        return;
                    ++bereit;
                    while (bereit.load() < Plaetze)
                        std::this_thread::yield();
                    try {
                        if (!tools::etikettenReservieren(v, QStringLiteral("1"), QStringLiteral("LS"), start, 10))
                            ++gewonnen;
                    } catch (const std::exception &) {
                    }
                });
            for (std::thread &t : faeden)
                t.join();
            QCOMPARE(bereit.load(), Plaetze);
            QCOMPARE(gewonnen.load(), 1);
            QCOMPARE(zaehler(QStringLiteral("LS")), start + 9);
        }
        const auto laeufe = m_server->sqlite(QStringLiteral("SELECT count(*) FROM ar_etikettenlauf WHERE belart = 'LS' AND von > 5000"));
        QVERIFY(laeufe);
        QCOMPARE(laeufe->toInt(), Runden);
    }

    // Two workstations lay out the same numbers: the second one to print is
    // refused before anything is printed, and is offered the next free number.
    void zweiLaeufeNacheinander()
    {
        zaehlerSetzen(QStringLiteral("LS"), 2000);
        tools::Etikettendruck a(QStringLiteral("1")), b(QStringLiteral("1"));
        for (tools::Etikettendruck *f : {&a, &b}) {
            f->laden();
            f->show();
            auto *typ = teil<QComboBox>(f, "LIBelart");
            typ->setCurrentIndex(typ->findData(QStringLiteral("LS")));
            aufbauen(*f, QStringLiteral("2001"), QStringLiteral("10"));
            f->drucker().setOutputFormat(QPrinter::PdfFormat);
            f->drucker().setOutputFileName(m_dir.filePath(QStringLiteral("ls.pdf")));
        }
        QFile::remove(m_dir.filePath(QStringLiteral("ls.pdf")));
        QTest::mouseClick(teil<QPushButton>(&a, "BUDruck"), Qt::LeftButton);
        QCOMPARE(zaehler(QStringLiteral("LS")), 2010);
        QFile::remove(m_dir.filePath(QStringLiteral("ls.pdf")));
        QTest::mouseClick(teil<QPushButton>(&b, "BUDruck"), Qt::LeftButton);
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY(m_meldungen->texte().first().contains(QStringLiteral("2011")));
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("ls.pdf")))); // nothing printed
        QVERIFY(b.isVisible());
        QCOMPARE(teil<QLineEdit>(&b, "Belnrstart")->text(), QStringLiteral("2011"));
        QCOMPARE(zaehler(QStringLiteral("LS")), 2010);

        // The save behind the reservation is versioned: a copy read before
        // another run was reserved cannot move the counter.
        server::Objekt alt = m_v->OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||LS"));
        QCOMPARE(tools::etikettenReservieren(*m_v, QStringLiteral("1"), QStringLiteral("LS"), 2011, 5), std::nullopt);
        alt.set(QStringLiteral("lastbelnrbarc"), QString::number(2030));
        QVERIFY(alt.SYS_Save() != 1);
        QCOMPARE(zaehler(QStringLiteral("LS")), 2015);
    }

    void nummernUeberSechsStellen()
    {
        zaehlerSetzen(QStringLiteral("ER"), 999979);
        tools::Etikettendruck f(QStringLiteral("1"));
        f.laden();
        f.show();
        QCOMPARE(teil<QLineEdit>(&f, "Belnrstart")->text(), QStringLiteral("999980"));
        aufbauen(f, QStringLiteral("999980"), QStringLiteral("30"), false);
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY(m_meldungen->texte().first().contains(QStringLiteral("999999")));
        // Printing without a layout prints nothing.
        QTest::mouseClick(teil<QPushButton>(&f, "BUDruck"), Qt::LeftButton);
        QCOMPARE(zaehler(QStringLiteral("ER")), 999979);
        QCOMPARE(tools::etikettenReservieren(*m_v, QStringLiteral("1"), QStringLiteral("ER"), 999990, 10), std::nullopt);
        QVERIFY(tools::etikettenReservieren(*m_v, QStringLiteral("1"), QStringLiteral("ER"), 1000000, 1).has_value());
    }
};

QTEST_MAIN(TestEtikettendruck)
#include "tst_etikettendruck.moc"
