// The scanner settings dialog on its real controls.
#include "app/EinstScan.h"
#include "app/Einstellungen.h"
#include "app/Scanneroptionen.h"
#include "imaging/SaneQuelle.h"
#include "support/DialogFahrer.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace archiv;
using archiv::test::teil;

namespace {

const QStringList Quellen{"test:0", "test:1", "Ordner: /srv/scan/Büro Süd"};

QString scanner(const char *schluessel)
{
    return app::einstellung(QStringLiteral("Scanner"), QLatin1String(schluessel));
}

} // namespace

class TestEinstScan : public QObject
{
    Q_OBJECT

    QTemporaryDir m_sane;

    static void schreiben(const QString &pfad, const QByteArray &inhalt)
    {
        QFile f(pfad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(inhalt);
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        // SANE's test backend, through a private configuration.
        schreiben(m_sane.filePath("dll.conf"), "test\n");
        schreiben(m_sane.filePath("test.conf"), "number_of_devices 1\nmode Gray\ndepth 1\nresolution 75.0\n");
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(m_sane.path()));
    }

    void init()
    {
        for (const char *k : {"Quelle", "Dpi", "Bright", "Kontrast", "Drehen", "UserInterface"})
            app::setzeEinstellung(QStringLiteral("Scanner"), QLatin1String(k), QString());
    }

    void gespeichertWieEingestellt()
    {
        app::EinstScan d(nullptr, Quellen);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QCOMPARE(d.windowTitle(), QStringLiteral("Einstellungen Scanner"));
        auto *quelle = teil<QComboBox>(&d, "Quelle");
        QCOMPARE(quelle->currentIndex(), -1);
        QCOMPARE(teil<QComboBox>(&d, "Dpi")->count(), 16);
        QCOMPARE(teil<QLabel>(&d, "BrightTxT")->text(), QStringLiteral("0 %"));
        quelle->setCurrentIndex(2);
        // A resolution not in the list, typed.
        auto *dpi = teil<QComboBox>(&d, "Dpi");
        dpi->lineEdit()->selectAll();
        QTest::keyClicks(dpi->lineEdit(), QStringLiteral("275"));
        auto *bright = teil<QScrollBar>(&d, "bright");
        bright->setValue(-35);
        QCOMPARE(bright->minimum(), -100);
        QCOMPARE(bright->maximum(), 100);
        QCOMPARE(teil<QLabel>(&d, "BrightTxT")->text(), QStringLiteral("-35 %"));
        teil<QScrollBar>(&d, "Kontr")->setValue(20);
        QCOMPARE(teil<QLabel>(&d, "KontrTXT")->text(), QStringLiteral("20 %"));
        auto *drehen = teil<QCheckBox>(&d, "CHTurn");
        QTest::mouseClick(drehen, Qt::LeftButton, {}, QPoint(5, drehen->height() / 2));
        auto *barcode = teil<QCheckBox>(&d, "CHBarcode");
        QVERIFY(!barcode->isChecked()); // off until switched on
        QTest::mouseClick(barcode, Qt::LeftButton, {}, QPoint(5, barcode->height() / 2));
        QTest::mouseClick(teil<QPushButton>(&d, "BUSpeich"), Qt::LeftButton);
        QCOMPARE(scanner("Quelle"), Quellen.at(2));
        QCOMPARE(scanner("Dpi"), QStringLiteral("275"));
        QCOMPARE(scanner("Bright"), QStringLiteral("-35"));
        QCOMPARE(scanner("Kontrast"), QStringLiteral("20"));
        QCOMPARE(scanner("Drehen"), QStringLiteral("1"));
        QCOMPARE(scanner("UserInterface"), QStringLiteral("0"));
        QCOMPARE(app::einstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode")), QStringLiteral("1"));

        // Opened again, it shows what was stored.
        app::EinstScan wieder(nullptr, Quellen);
        QCOMPARE(teil<QComboBox>(&wieder, "Quelle")->currentText(), Quellen.at(2));
        QCOMPARE(teil<QComboBox>(&wieder, "Dpi")->currentText(), QStringLiteral("275"));
        QCOMPARE(teil<QLabel>(&wieder, "BrightTxT")->text(), QStringLiteral("-35 %"));
        QVERIFY(teil<QCheckBox>(&wieder, "CHTurn")->isChecked());
        QVERIFY(teil<QCheckBox>(&wieder, "CHBarcode")->isChecked());
    }

    // "User Interface" on: before a scan the device's own options, as the
    // device describes them; the choice is used and remembered per device.
    void scanneroptionenDesGeraets()
    {
        if (!imaging::SaneQuelle::geraete().contains(QStringLiteral("test:0")))
            QSKIP("SANE test backend not available");
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("test:0"));
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("UserInterface"), QStringLiteral("1"));
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanneroptionen"), [](QDialog *d) {
            QVERIFY(d->windowTitle().endsWith(QLatin1String("test:0")));
            auto *quelle = d->findChild<QComboBox *>(QStringLiteral("source"));
            QVERIFY(quelle);
            QCOMPARE(quelle->currentText(), QStringLiteral("Flatbed"));
            QVERIFY(d->findChild<QComboBox *>(QStringLiteral("mode")));
            QVERIFY(d->findChild<QComboBox *>(QStringLiteral("test-picture"))); // whatever else the device lists
            // The caption every device names alike is German.
            auto *form = qobject_cast<QFormLayout *>(quelle->parentWidget()->layout());
            QVERIFY(form);
            auto *titel = qobject_cast<QLabel *>(form->labelForField(quelle));
            QVERIFY(titel);
            QCOMPARE(titel->text(), QStringLiteral("Quelle (Flachbett, Einzug):"));
            quelle->setCurrentIndex(quelle->findText(QStringLiteral("Automatic Document Feeder")));
            auto *dpi = d->findChild<QAbstractSpinBox *>(QStringLiteral("resolution"));
            QVERIFY(dpi);
            dpi->selectAll();
            QTest::keyClicks(dpi, QStringLiteral("100"));
            test::DialogFahrer::klicken(d, QStringLiteral("BUOk"));
        });
        app::Scannereinstellungen e = app::scannereinstellungen();
        QVERIFY(app::scanneroptionenFragen(nullptr, e));
        QCOMPARE(fahrer.gesehen(), QStringList{"scanneroptionen"});
        // The feeder chosen: the test device's ten sheets, at 100 dpi.
        QList<imaging::Seite> seiten;
        QCOMPARE(imaging::Seitenquelle::oeffnen(e.quelle)->erfassen(e.geraet, [&](const imaging::Seite &s) { seiten << s; }),
                 int(imaging::Seitenquelle::Ok));
        QCOMPARE(seiten.size(), 10);
        QCOMPARE(seiten.first().dpiX(), 100);

        // Remembered for the device: shown again next time; cancelling
        // there means no scan.
        fahrer.bei(QStringLiteral("scanneroptionen"), [](QDialog *d) {
            QCOMPARE(d->findChild<QComboBox *>(QStringLiteral("source"))->currentText(), QStringLiteral("Automatic Document Feeder"));
            QCOMPARE(d->findChild<QAbstractSpinBox *>(QStringLiteral("resolution"))->text(), QStringLiteral("100 dpi"));
            test::DialogFahrer::klicken(d, QStringLiteral("BUAbbrechen"));
        });
        app::Scannereinstellungen wieder = app::scannereinstellungen();
        QVERIFY(!app::scanneroptionenFragen(nullptr, wieder));
        QCOMPARE(fahrer.anzahl(QStringLiteral("scanneroptionen")), 2);

        // A folder has no options, and with the box cleared none are asked.
        app::Scannereinstellungen ordner = wieder;
        ordner.quelle = QStringLiteral("Ordner: /srv/scan/Büro Süd");
        QVERIFY(app::scanneroptionenFragen(nullptr, ordner));
        wieder.geraet.eigenerDialog = false;
        QVERIFY(app::scanneroptionenFragen(nullptr, wieder));
        QCOMPARE(fahrer.anzahl(QStringLiteral("scanneroptionen")), 2);
    }

    void verschwundeneQuelleOhneAuswahl()
    {
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("alter Scanner"));
        app::EinstScan d(nullptr, Quellen);
        QCOMPARE(teil<QComboBox>(&d, "Quelle")->currentIndex(), -1);
        // Closing writes nothing.
        teil<QScrollBar>(&d, "Kontr")->setValue(50);
        QTest::mouseClick(teil<QPushButton>(&d, "BUClose"), Qt::LeftButton);
        QCOMPARE(scanner("Quelle"), QStringLiteral("alter Scanner"));
        QVERIFY(scanner("Kontrast").isEmpty());
    }
};

QTEST_MAIN(TestEinstScan)
#include "tst_einstscan.moc"
