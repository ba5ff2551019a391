// The about box: its texts, and the system information program or the
// message that there is none.
#include "about/FrmAbout.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace archiv;
using archiv::test::teil;

class TestAbout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void texte()
    {
        about::FrmAbout f;
        f.show();
        QCOMPARE(f.windowTitle(), QStringLiteral("Info zu Tessam Archivsystem"));
        QCOMPARE(teil<QLabel>(&f, "lblTitle")->text(), QStringLiteral("Tessam Archivsystem"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(teil<QLabel>(&f, "lblVersion")->text()).hasMatch());
        QCOMPARE(teil<QLabel>(&f, "Erstellt")->text(), QStringLiteral("Erstellt am 1.05.2002 Letzte Korrektur 27.05.2002"));
        QCOMPARE(teil<QLabel>(&f, "Producktname")->text(), QStringLiteral("Produktname"));
        QCOMPARE(teil<QLabel>(&f, "Description")->text(), QStringLiteral("Beschreibung"));
        QVERIFY(teil<QLabel>(&f, "lblDescription")->text().isEmpty());
        QCOMPARE(teil<QPushButton>(&f, "cmdSysInfo")->text(), QStringLiteral("&Systeminfo..."));
        QTest::mouseClick(teil<QPushButton>(&f, "cmdOK"), Qt::LeftButton);
        QVERIFY(f.isHidden());
    }

    void systeminfoProgramm()
    {
        // The first known program found wins; none found, none offered.
        const QString kde = about::bekannteSysteminfoProgramme().first();
        const QString gnome = about::bekannteSysteminfoProgramme().at(1);
        QCOMPARE(about::systeminfoProgramm([&](const QString &n) { return n == gnome || n == kde ? QStringLiteral("/usr/bin/") + n : QString(); }),
                 QStringLiteral("/usr/bin/") + kde);
        QCOMPARE(about::systeminfoProgramm([](const QString &) { return QString(); }), std::nullopt);
    }

    void ohneProgrammDieMeldung()
    {
        // A PATH without any of the programs.
        qputenv("PATH", "/nonexistent");
        test::MeldungsRecorder meldungen;
        about::FrmAbout f;
        f.show();
        QTest::mouseClick(teil<QPushButton>(&f, "cmdSysInfo"), Qt::LeftButton);
        QCOMPARE(meldungen.texte(), QStringList{"Systeminformationen sind momentan nicht verfügbar"});
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
