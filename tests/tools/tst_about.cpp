// The about box: its texts, and the system information program or the
// message that there is none.
#include "about/FrmAbout.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"

#include <QDate>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
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
        // The day of the build, not a placeholder.
        const QDate gebaut = QLocale::c().toDate(teil<QLabel>(&f, "Erstellt")->text().mid(12), QStringLiteral("dd.MM.yyyy"));
        QVERIFY2(gebaut.isValid() && gebaut <= QDate::currentDate() && gebaut > QDate(2026, 1, 1), qPrintable(teil<QLabel>(&f, "Erstellt")->text()));
        QVERIFY(teil<QLabel>(&f, "Erstellt")->text().startsWith(QStringLiteral("Erstellt am ")));
        QCOMPARE(teil<QLabel>(&f, "Producktname")->text(), QStringLiteral("Produktname"));
        QCOMPARE(teil<QLabel>(&f, "Description")->text(), QStringLiteral("Beschreibung"));
        QVERIFY(!teil<QLabel>(&f, "lblDescription")->text().isEmpty());
        // This build names no support: no placeholder addresses are shown.
        QCOMPARE(teil<QLabel>(&f, "ctHyperLink1")->isVisible(), !about::kontaktDesBaus().mail.isEmpty());
        QCOMPARE(teil<QLabel>(&f, "ctHyperLink2")->isVisible(), !about::kontaktDesBaus().web.isEmpty());
        QVERIFY(!teil<QLabel>(&f, "ctHyperLink1")->text().contains(QStringLiteral("example")));
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

    // Without any of the programs the button says why before it is
    // clicked; with one it is there to click.
    void ohneProgrammKeinKnopf()
    {
        const QByteArray pfad = qgetenv("PATH");
        QTemporaryDir ordner;
        qputenv("PATH", QFile::encodeName(ordner.path()));
        {
            test::MeldungsRecorder meldungen;
            about::FrmAbout f;
            f.show();
            auto *knopf = teil<QPushButton>(&f, "cmdSysInfo");
            QVERIFY(!knopf->isEnabled());
            QVERIFY(knopf->toolTip().contains(QStringLiteral("Kein Programm")));
            QTest::mouseClick(knopf, Qt::LeftButton);
            QVERIFY(meldungen.texte().isEmpty());
        }
        // A stand-in for the desktop's program that only notes it was run.
        const QString programm = ordner.filePath(about::bekannteSysteminfoProgramme().constLast());
        const QString vermerk = ordner.filePath(QStringLiteral("gestartet"));
        QFile f(programm);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n/usr/bin/touch '" + QFile::encodeName(vermerk) + "'\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        {
            about::FrmAbout a;
            a.show();
            auto *knopf = teil<QPushButton>(&a, "cmdSysInfo");
            QVERIFY(knopf->isEnabled());
            QTest::mouseClick(knopf, Qt::LeftButton);
            QTRY_VERIFY(QFile::exists(vermerk));
        }
        qputenv("PATH", pfad);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
