// The property rows of the main window and the editor, on real widgets.
#include "app/Eigenschaftszeilen.h"
#include "common/Kennungen.h"
#include "common/Twips.h"
#include "support/DialogFahrer.h"
#include "support/Steuerelemente.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWidget>

using namespace archiv;
using app::Eigenschaftszeilen;

namespace {

template<typename T>
T *teil(QWidget *flaeche, const char *name, int i)
{
    return test::zeile<T>(flaeche, name, i);
}

Eigenschaftszeilen::Anordnung anordnung(Eigenschaftszeilen::Auswahlliste art)
{
    Eigenschaftszeilen::Anordnung a;
    a.bez = QRectF(200, 1190, 1700, 300);
    a.feld = QRectF(1950, 1150, 3500, 330);
    a.such = QRectF(5500, 1150, 400, 330);
    a.auswahl = art;
    a.faerben = art == Eigenschaftszeilen::Auswahlliste::Tabelle;
    return a;
}

Eigenschaftszeilen::Eigenschaft eigenschaft(int code, const QString &bez, const QString &art, bool suche = false, bool aenderbar = true)
{
    Eigenschaftszeilen::Eigenschaft e;
    e.code = code;
    e.bezeichnung = bez;
    e.art = art;
    e.suche = suche;
    e.aenderbar = aenderbar;
    return e;
}

} // namespace

class TestEigenschaftszeilen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void zeilenLiegenImAbstandUndWerdenWiederverwendet()
    {
        QWidget flaeche;
        flaeche.resize(500, 800);
        auto a = anordnung(Eigenschaftszeilen::Auswahlliste::Tabelle);
        Eigenschaftszeilen zeilen(&flaeche, a);
        flaeche.show();
        QCOMPARE(zeilen.anzahl(), 0);
        zeilen.zeigen(3, eigenschaft(5, QStringLiteral("Bemerkung"), common::zeilenart::Text));
        QCOMPARE(zeilen.anzahl(), 3); // rows 1 and 2 made on the way
        const double dpi = flaeche.logicalDpiY();
        QCOMPARE(teil<QLineEdit>(&flaeche, "EigenTxt", 3)->y(), common::twipsZuPixel(1150 + 400 + 2 * 400, dpi));
        QCOMPARE(teil<QLabel>(&flaeche, "EigenBez", 3)->text(), QStringLiteral("Bemerkung :"));
        QVERIFY(teil<QLabel>(&flaeche, "EigenBez", 2)->isHidden());
        QVERIFY(teil<QLabel>(&flaeche, "EigenBez", 0)->isHidden()); // the template

        zeilen.verbergen();
        QVERIFY(!zeilen.sichtbar(3));
        QCOMPARE(zeilen.code(3), 0);
        zeilen.zeigen(1, eigenschaft(2, QStringLiteral("Lieferant"), common::zeilenart::Text));
        QCOMPARE(zeilen.anzahl(), 3);
        QCOMPARE(flaeche.findChildren<QLineEdit *>(QStringLiteral("EigenTxt")).size(), 4);
        QVERIFY(zeilen.hoehe(3) > teil<QLineEdit>(&flaeche, "EigenTxt", 3)->geometry().bottom());
    }

    void verborgeneEigenschaftBelegtNurDieZeile()
    {
        QWidget flaeche;
        Eigenschaftszeilen zeilen(&flaeche, anordnung(Eigenschaftszeilen::Auswahlliste::Tabelle));
        zeilen.zeigen(1, eigenschaft(11, QStringLiteral("Intern"), QString(), true));
        QVERIFY(!zeilen.sichtbar(1));
        QCOMPARE(zeilen.code(1), 0);
        QVERIFY(teil<QToolButton>(&flaeche, "EigenSuch", 1)->isHidden());
        QVERIFY(zeilen.wert(1).isEmpty());
    }

    void suchknopfMeldetSeineZeile()
    {
        QWidget flaeche;
        flaeche.resize(500, 400);
        Eigenschaftszeilen zeilen(&flaeche, anordnung(Eigenschaftszeilen::Auswahlliste::Einfach));
        zeilen.zeigen(1, eigenschaft(2, QStringLiteral("Lieferant"), common::zeilenart::Text, true));
        zeilen.zeigen(2, eigenschaft(1, QStringLiteral("Kunde"), common::zeilenart::Text, true, false));
        flaeche.show();
        QVERIFY(QTest::qWaitForWindowExposed(&flaeche));
        QSignalSpy geklickt(&zeilen, &Eigenschaftszeilen::sucheGeklickt);
        QTest::mouseClick(teil<QToolButton>(&flaeche, "EigenSuch", 1), Qt::LeftButton);
        QCOMPARE(geklickt.size(), 1);
        QCOMPARE(geklickt.first().first().toInt(), 1);
        // A value that cannot be changed has no lookup.
        QVERIFY(teil<QToolButton>(&flaeche, "EigenSuch", 2)->isHidden());
        QVERIFY(!teil<QLineEdit>(&flaeche, "EigenTxt", 2)->isEnabled());
    }

    void farbeNachAenderbarkeit()
    {
        QWidget flaeche;
        Eigenschaftszeilen zeilen(&flaeche, anordnung(Eigenschaftszeilen::Auswahlliste::Tabelle));
        zeilen.zeigen(1, eigenschaft(2, QStringLiteral("Lieferant"), common::zeilenart::Text, false, true));
        QCOMPARE(zeilen.text(1)->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0x00));
        // The same row once the value is stored: white.
        zeilen.zeigen(1, eigenschaft(2, QStringLiteral("Lieferant"), common::zeilenart::Text, false, false));
        QCOMPARE(zeilen.text(1)->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xFF));
    }

    void auswahllisten_data()
    {
        QTest::addColumn<Eigenschaftszeilen::Auswahlliste>("art");
        QTest::addColumn<QString>("gewaehltText");
        QTest::addColumn<QString>("gewaehltWert");
        QTest::addColumn<int>("spalten");
        QTest::newRow("Hauptfenster") << Eigenschaftszeilen::Auswahlliste::Einfach << QStringLiteral("2  Kasse Süd") << QStringLiteral("2")
                                      << 1;
        QTest::newRow("Editor") << Eigenschaftszeilen::Auswahlliste::Tabelle << QStringLiteral("2") << QStringLiteral("2") << 2;
    }

    void auswahllisten()
    {
        QFETCH(Eigenschaftszeilen::Auswahlliste, art);
        QFETCH(QString, gewaehltText);
        QFETCH(QString, gewaehltWert);
        QFETCH(int, spalten);
        QWidget flaeche;
        Eigenschaftszeilen zeilen(&flaeche, anordnung(art));
        zeilen.zeigen(1, eigenschaft(common::eigenschaft::Kasse, QStringLiteral("Kasse"), common::zeilenart::Auswahl));
        zeilen.auswahlFuellen(1, {{QStringLiteral("1"), QStringLiteral("Hauptkasse")}, {QStringLiteral("2"), QStringLiteral("Kasse Süd")}},
                              Eigenschaftszeilen::Liste::Schluessel);
        QComboBox *c = zeilen.auswahl(1);
        QCOMPARE(c->count(), 2);
        QCOMPARE(c->model()->columnCount(), spalten);
        QCOMPARE(c->currentIndex(), -1);
        QVERIFY(zeilen.wert(1).isEmpty());
        c->setCurrentIndex(1);
        QCOMPARE(c->currentText(), gewaehltText);
        QCOMPARE(zeilen.wert(1), gewaehltWert);

        // The row then shows free values: none of the desks stays, an
        // empty entry comes first.
        zeilen.zeigen(1, eigenschaft(common::eigenschaft::FreierWert1, QStringLiteral("Zahlungsart"), common::zeilenart::Auswahl));
        zeilen.auswahlFuellen(1, {{QStringLiteral("Überweisung"), QString()}, {QStringLiteral("Bar"), QString()}},
                              Eigenschaftszeilen::Liste::FreieWerte);
        QCOMPARE(c->count(), 3);
        QCOMPARE(c->itemText(0), QString());
        QCOMPARE(c->findText(QStringLiteral("Hauptkasse")), -1);
        c->setCurrentIndex(1);
        QCOMPARE(zeilen.wert(1), QStringLiteral("Überweisung"));

        zeilen.leeren();
        QVERIFY(zeilen.wert(1).isEmpty());
    }

    void getippterWertBleibtBeimFuellen()
    {
        QWidget flaeche;
        flaeche.resize(500, 400);
        Eigenschaftszeilen zeilen(&flaeche, anordnung(Eigenschaftszeilen::Auswahlliste::Tabelle));
        zeilen.zeigen(1, eigenschaft(common::eigenschaft::FreierWert1, QStringLiteral("Zahlungsart"), common::zeilenart::Auswahl));
        flaeche.show();
        QVERIFY(QTest::qWaitForWindowExposed(&flaeche));
        test::DialogFahrer::tasten(zeilen.auswahl(1), QStringLiteral("Größe ß"));
        QCOMPARE(zeilen.wert(1), QStringLiteral("Größe ß"));
        zeilen.auswahlFuellen(1, {{QStringLiteral("Bar"), QString()}}, Eigenschaftszeilen::Liste::FreieWerte);
        QCOMPARE(zeilen.wert(1), QStringLiteral("Größe ß"));
        // A text row that took the place of the choice list shows its own value.
        zeilen.zeigen(1, eigenschaft(5, QStringLiteral("Bemerkung"), common::zeilenart::Text));
        QVERIFY(zeilen.auswahl(1)->isHidden());
        QVERIFY(zeilen.wert(1).isEmpty());
        zeilen.setzen(1, QStringLiteral("eins zwei "));
        QCOMPARE(zeilen.wert(1), QStringLiteral("eins zwei "));
    }
};

QTEST_MAIN(TestEigenschaftszeilen)
#include "tst_eigenschaftszeilen.moc"
