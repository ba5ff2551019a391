#include "common/Programmzustand.h"
#include "lookup/Suchdialog.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

using namespace archiv;
using archiv::lookup::Suchdialog;
using archiv::test::DialogFahrer;

// The lookup dialogs for customers, suppliers and articles on the demo archive.
class TestSuchdialog : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;

    static QTreeWidget *typen(Suchdialog &d) { return d.findChild<QTreeWidget *>(QStringLiteral("Lieftyp")); }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        global::Archivverbindung = std::make_shared<server::Verbindung>();
        QVERIFY(global::Archivverbindung->Connect(m_server->verbindungstext()));
    }

    void kundenOhneKriteriumFragtWonach()
    {
        test::MeldungsRecorder meldungen;
        Suchdialog d(Suchdialog::Art::Kunde, QStringLiteral("1"));
        QCOMPARE(d.windowTitle(), QStringLiteral("Suche Kunden"));
        auto *gruppe = d.findChild<QComboBox *>(QStringLiteral("Kgrp"));
        QCOMPARE(gruppe->count(), 6); // the empty row and five groups
        QCOMPARE(gruppe->itemText(0), QString());
        QCOMPARE(gruppe->itemText(1), QStringLiteral("EH  Einzelhandel"));
        d.suchen();
        QCOMPARE(meldungen.texte(), QStringList{"Suche wonach ?"});
        QCOMPARE(meldungen.meldungen().first().titel, QStringLiteral("Suche Kunde"));
        QCOMPARE(d.liste()->topLevelItemCount(), 0);
    }

    void kundeWaehlen()
    {
        global::SuchWert = QStringLiteral("vorher");
        Suchdialog d(Suchdialog::Art::Kunde, QStringLiteral("1"));
        auto *gruppe = d.findChild<QComboBox *>(QStringLiteral("Kgrp"));
        gruppe->setCurrentIndex(gruppe->findData(QStringLiteral("GH")));
        d.suchen();
        QCOMPARE(d.liste()->topLevelItemCount(), 40);
        QTreeWidgetItem *erste = d.liste()->topLevelItem(0);
        QCOMPARE(erste->text(0), QStringLiteral("010001")); // at least six digits
        QCOMPARE(erste->text(1), QStringLiteral("GH"));
        // Choosing without a selected row does nothing.
        d.waehlen();
        QCOMPARE(global::SuchWert, QStringLiteral("vorher"));
        QCOMPARE(d.result(), 0);
        d.liste()->setCurrentItem(erste);
        d.waehlen();
        QCOMPARE(global::SuchWert, QStringLiteral("10001")); // unformatted
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }

    void schliessenLaesstSuchwert()
    {
        global::SuchWert = QStringLiteral("17");
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("SuKund"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        // Closed without a pick: no value for the field.
        QVERIFY(!Suchdialog::zeigen(1, QStringLiteral("1"), nullptr));
        QCOMPARE(fahrer.gesehen(), QStringList{"SuKund"});
        QCOMPARE(global::SuchWert, QStringLiteral("17"));
        QVERIFY(!Suchdialog::zeigen(5, QStringLiteral("1"), nullptr));
    }

    void lieferantenTypen()
    {
        Suchdialog d(Suchdialog::Art::Lieferant, QStringLiteral("1"));
        QCOMPARE(typen(d)->topLevelItemCount(), 4);
        // No type marked: all types, and no question.
        test::MeldungsRecorder meldungen;
        d.suchen();
        QVERIFY(meldungen.texte().isEmpty());
        QCOMPARE(d.liste()->topLevelItemCount(), 80);
        for (int i = 0; i < typen(d)->topLevelItemCount(); ++i) {
            const QString t = typen(d)->topLevelItem(i)->text(0);
            typen(d)->topLevelItem(i)->setCheckState(0, t == QLatin1String("W") || t == QLatin1String("S") ? Qt::Checked : Qt::Unchecked);
        }
        d.suchen();
        QCOMPARE(d.liste()->topLevelItemCount(), 40);
        for (int i = 0; i < d.liste()->topLevelItemCount(); ++i)
            QVERIFY(QStringList({"W", "S"}).contains(d.liste()->topLevelItem(i)->text(1)));
    }

    void artikel()
    {
        test::MeldungsRecorder meldungen;
        Suchdialog d(Suchdialog::Art::Artikel, QStringLiteral("7"));
        QCOMPARE(d.windowTitle(), QStringLiteral("Suche Artikel"));
        d.suchen();
        QCOMPARE(meldungen.meldungen().size(), 1);
        QCOMPARE(meldungen.meldungen().first().titel, QStringLiteral("Suche Artikel"));
        auto *abt = d.findChild<QComboBox *>(QStringLiteral("Abtnr"));
        abt->setCurrentIndex(abt->findData(QStringLiteral("20")));
        d.suchen();
        QCOMPARE(d.liste()->topLevelItemCount(), 50);
        QCOMPARE(d.liste()->columnCount(), 3);
        QCOMPARE(d.liste()->topLevelItem(0)->text(1), QStringLiteral("20"));
        d.findChild<QLineEdit *>(QStringLiteral("KBez"))->setText(QStringLiteral("dübel"));
        d.suchen();
        QVERIFY(d.liste()->topLevelItemCount() > 0);
        for (int i = 0; i < d.liste()->topLevelItemCount(); ++i)
            QVERIFY(d.liste()->topLevelItem(i)->text(2).startsWith(QStringLiteral("Dübel")));
    }

    void cleanupTestCase()
    {
        global::Archivverbindung.reset();
        m_server.reset();
    }
};

QTEST_MAIN(TestSuchdialog)
#include "tst_suchdialog.moc"
