// The scanner settings dialog on its real controls.
#include "app/EinstScan.h"
#include "app/Einstellungen.h"
#include "support/DialogFahrer.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"

#include <QCheckBox>
#include <QComboBox>
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

private Q_SLOTS:
    void initTestCase() { test::einstellungenAbschirmen(); }

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
