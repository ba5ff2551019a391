#include "app/Einstellungen.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "search/Archiv.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace archiv;
using archiv::test::DialogFahrer;

// The start of the program: settings, two connection attempts, the company
// list, the login, the countdown of the login and the end.
class TestStart : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;

    void serverEinstellen(const QString &arport, const QString &wwsport)
    {
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), arport);
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsport"), wwsport);
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
    }

    void init() { test::zuruecksetzen(); }

    void ohneEinstellungenZweiVersucheDannEnde()
    {
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        for (int i = 0; i < 3; ++i)
            fahrer.bei(QStringLiteral("einstserv"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        search::Archiv archiv;
        QVERIFY(!archiv.laden());
        // Before the attempts, and after each of the two.
        QCOMPARE(fahrer.gesehen(), QStringList({"einstserv", "einstserv", "einstserv"}));
        QCOMPARE(global::Verbindungstext, QStringLiteral("cn_iptcp:[]:TSARCHIV"));
        QVERIFY(!global::Archivverbindung->IsConnected());
        QVERIFY(meldungen.texte().isEmpty()); // the program ends without a message
    }

    void imDialogKorrigierteAdresseGiltSofort()
    {
        serverEinstellen(test::freierPort(), QString::number(m_server->port()));
        const QString richtig = QString::number(m_server->port());
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("einstserv"), [richtig](QDialog *d) {
            DialogFahrer::tippen(d, QStringLiteral("arport"), richtig);
            DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
        });
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        search::Archiv archiv;
        // The second attempt uses the port typed after the first one failed.
        QVERIFY(archiv.laden());
        QCOMPARE(fahrer.gesehen(), QStringList({"einstserv", "anmeld"}));
        QVERIFY(global::Archivverbindung->IsConnected());
        QCOMPARE(global::Verbindungstext, QStringLiteral("cn_iptcp:127.0.0.1[%1]:TSARCHIV").arg(richtig));
        QCOMPARE(app::einstellung(QStringLiteral("Server"), QStringLiteral("arport")), richtig);
    }

    void startMitFirmenUndAnmeldung()
    {
        serverEinstellen(QString::number(m_server->port()), QString::number(m_server->port()));
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), DialogFahrer::anmeldung(QStringLiteral("EK"), QStringLiteral("erika")));
        search::Archiv archiv;
        QVERIFY(archiv.laden());
        QVERIFY2(fahrer.gesehen() == QStringList{"anmeld"}, qPrintable(fahrer.gesehen().join(',')));
        QVERIFY(meldungen.texte().isEmpty());
        QCOMPARE(archiv.windowTitle(), QStringLiteral("Tessam  Archivsystem"));
        QCOMPARE(archiv.pos(), QPoint(common::twipsZuPixel(100, archiv.logicalDpiX()), common::twipsZuPixel(100, archiv.logicalDpiY())));
        auto *firma = archiv.findChild<QComboBox *>(QStringLiteral("Firma"));
        QCOMPARE(firma->count(), 2);
        QCOMPARE(firma->itemText(0), QStringLiteral("01  Tessam Handel GmbH"));
        QCOMPARE(firma->itemText(1), QStringLiteral("07  Tessam Filiale Nord"));
        QCOMPARE(firma->itemData(1).toString(), QStringLiteral("7"));
        QCOMPARE(firma->currentIndex(), 0);
        QCOMPARE(archiv.firmaSchluessel(), QStringLiteral("1"));
        QCOMPARE(global::MaxTreffer, 500);
        QCOMPARE(global::Zoomfaktor, 1.0);
        QVERIFY(global::ScannerDa);
        QVERIFY(archiv.findChild<QPushButton *>(QStringLiteral("BUNeu"))->isVisible());
        QCOMPARE(global::Anmeldung, QStringLiteral("EK"));
        QCOMPARE(global::AnmeldName, QStringLiteral("Erika Kunz"));
        QVERIFY(archiv.findChild<QTimer *>(QStringLiteral("timer1"))->isActive());
        QCOMPARE(archiv.findChild<QTimer *>(QStringLiteral("timer1"))->interval(), 5000);
        QVERIFY(global::Archivverbindung->IsConnected());

        // The utilities of the menu, for the company shown.
        fahrer.bei(QStringLiteral("etikett"), [](QDialog *d) {
            QCOMPARE(d->findChild<QComboBox *>(QStringLiteral("LIBelart"))->currentData().toString(), QStringLiteral("ER"));
            DialogFahrer::klicken(d, QStringLiteral("BUAusstieg"));
        });
        archiv.findChild<QAction *>(QStringLiteral("etik"))->trigger();
        fahrer.bei(QStringLiteral("vollsttst"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        archiv.findChild<QAction *>(QStringLiteral("vollst"))->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList({"anmeld", "etikett", "vollsttst"}));
        archiv.findChild<QAction *>(QStringLiteral("info"))->trigger();
        auto *info = archiv.findChild<QDialog *>(QStringLiteral("frmAbout"));
        QVERIFY(info && info->isVisible() && !info->isModal());

        // Beenden: the connection is closed.
        archiv.findChild<QPushButton *>(QStringLiteral("BUEnd"))->click();
        QVERIFY(!global::Archivverbindung->IsConnected());
    }

    void menueIstVollstaendig()
    {
        search::Archiv archiv;
        const QList<std::pair<const char *, const char *>> eintraege{{"neu", "Neu/Bearbeiten"},  {"vollst", "Vollständigkeitstest"},
                                                                     {"etik", "Etikettendruck"}, {"beenden", "Beenden"},
                                                                     {"einstallg", "Allgemein"}, {"server", "Server"},
                                                                     {"scanner", "Scanner"},     {"info", "Info"}};
        for (const auto &[name, text] : eintraege) {
            auto *a = archiv.findChild<QAction *>(QLatin1String(name));
            QVERIFY2(a, name);
            QCOMPARE(a->text(), QString::fromUtf8(text));
        }
        QCOMPARE(archiv.findChild<QMenu *>(QStringLiteral("dokument"))->title(), QStringLiteral("Dokument"));
        QCOMPARE(archiv.findChild<QMenu *>(QStringLiteral("einst"))->title(), QStringLiteral("Einstellungen"));
    }

    void anmeldungAbgebrochen()
    {
        serverEinstellen(QString::number(m_server->port()), QString::number(m_server->port()));
        test::MeldungsRecorder meldungen;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        search::Archiv archiv;
        QVERIFY(archiv.laden());
        QCOMPARE(meldungen.texte(), QStringList{"Anmeldung nicht möglich"});
        QCOMPARE(meldungen.meldungen().first().symbol, common::MeldungsSymbol::Information);
        QVERIFY(global::Anmeldung.isEmpty());
        // Searching stays possible: the connection is there.
        QVERIFY(global::Archivverbindung->IsConnected());
    }

    void countdownInFuenfSekundenSchritten()
    {
        search::Archiv archiv;
        auto *status = archiv.findChild<QStatusBar *>(QStringLiteral("SBar1"));
        global::Anmeldung = QStringLiteral("MM");
        global::AnmeldName = QStringLiteral("Max Mustermann");
        global::AnmeldRest = 300;
        const QString sitzung = server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port());
        QVERIFY(!sitzung.isEmpty());
        archiv.timer1Abgelaufen();
        QCOMPARE(global::AnmeldRest, 295);
        QCOMPARE(status->currentMessage(), QStringLiteral("Max Mustermann   295 sec"));
        archiv.timer1Abgelaufen();
        QCOMPARE(status->currentMessage(), QStringLiteral("Max Mustermann   290 sec"));
        QCOMPARE(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()), sitzung); // kept while it runs
        int schritte = 2;
        while (!global::Anmeldung.isEmpty() && schritte < 100) {
            archiv.timer1Abgelaufen();
            ++schritte;
        }
        QCOMPARE(schritte, 60); // 300 seconds in steps of 5
        QVERIFY(global::AnmeldName.isEmpty());
        // The login's session goes with it: the next write logs in again.
        QVERIFY(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()).isEmpty());
        QCOMPARE(status->currentMessage(), QString());
        QVERIFY(archiv.findChild<QTimer *>(QStringLiteral("timer1"))->isActive());

        // Without a login the timer changes nothing.
        status->showMessage(QStringLiteral("bleibt"));
        global::AnmeldRest = 100;
        archiv.timer1Abgelaufen();
        QCOMPARE(global::AnmeldRest, 100);
        QCOMPARE(status->currentMessage(), QStringLiteral("bleibt"));
        QVERIFY(m_server->anmelden());
    }

    void cleanupTestCase() { m_server.reset(); }
};

QTEST_MAIN(TestStart)
#include "tst_start.moc"
