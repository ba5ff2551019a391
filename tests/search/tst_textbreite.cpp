// Every window and dialog of the program at its default size with the
// default font: each label, button, check box, group box, tab and column
// header shows its whole text. A renamed caption or a larger system font
// then fails here instead of at a user's desk.
#include "about/FrmAbout.h"
#include "app/Anmeldung.h"
#include "app/EinstAg.h"
#include "app/EinstScan.h"
#include "app/EinstServ.h"
#include "app/Einstellungen.h"
#include "app/Scanneroptionen.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Dokspeich.h"
#include "lookup/SuBeleg.h"
#include "lookup/SuBelnr.h"
#include "lookup/Suchdialog.h"
#include "scan/Scandatabase.h"
#include "search/Archiv.h"
#include "search/Ergebnis.h"
#include "search/InfoDvd.h"
#include "search/TrefferModell.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"
#include "support/Textbreite.h"
#include "tools/Etikettendruck.h"
#include "tools/Vollstaendigkeitstest.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

using namespace archiv;
using archiv::test::DialogFahrer;

// Nothing cut off; else each text that is, on a line of its own.
#define PASST(liste)                                                                                                                       \
    do {                                                                                                                                   \
        const QStringList abgeschnitten = (liste);                                                                                         \
        QVERIFY2(abgeschnitten.isEmpty(), qPrintable(u'\n' + abgeschnitten.join(u'\n')));                                                 \
    } while (false)

class TestTextbreite : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::unique_ptr<search::Archiv> m_archiv;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QString m_beleg;

    // A window as the program shows it: what is cut off, by name.
    static QStringList pruefen(QWidget *w)
    {
        if (!w->isVisible()) {
            w->show();
            if (!QTest::qWaitForWindowExposed(w))
                return {QStringLiteral("%1 nicht gezeigt").arg(w->objectName())};
        }
        QCoreApplication::processEvents();
        test::bildSichern(w, w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName());
        return test::abgeschnitteneTexte(w);
    }

    // The editor's action: each of its tabs checked, then closed.
    static std::function<void(QDialog *)> jederReiter(QStringList &fehler)
    {
        return [&fehler](QDialog *d) {
            for (QTabWidget *t : d->findChildren<QTabWidget *>())
                for (int i = 0; i < t->count(); ++i) {
                    t->setCurrentIndex(i);
                    fehler << pruefen(d);
                }
            d->close();
        };
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        test::zuruecksetzen();
        app::anmeldungFuerSchreibenEinrichten();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        for (const char *k : {"arip", "wwsip"})
            app::setzeEinstellung(QStringLiteral("Server"), QLatin1String(k), QStringLiteral("127.0.0.1"));
        for (const char *k : {"arport", "wwsport"})
            app::setzeEinstellung(QStringLiteral("Server"), QLatin1String(k), QString::number(m_server->port()));
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), DialogFahrer::anmeldung(QStringLiteral("EK"), QStringLiteral("erika")));
        m_archiv = std::make_unique<search::Archiv>();
        QVERIFY(m_archiv->laden());
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        QVERIFY(m_server->anmelden());
        m_beleg = test::Belegbau(v).anlegen(QStringLiteral("ER"), QStringLiteral("4711-Größenprüfung"), {{"tif", "Erstscan", test::Belegbau::tiff(2)}});
    }

    void cleanupTestCase()
    {
        m_archiv.reset();
        m_meldungen.reset();
    }

    void hauptfensterUndErgebnis()
    {
        PASST(pruefen(m_archiv.get()));
        // The whole archive of the company: the result window with its rows.
        QTest::mouseClick(m_archiv->findChild<QPushButton *>(QStringLiteral("Busuch")), Qt::LeftButton);
        search::Ergebnis *e = m_archiv->ergebnis();
        QTRY_VERIFY(e->isVisible());
        QVERIFY(e->modell()->rowCount() > 0);
        PASST(pruefen(e));
        // Each type ticked on its own (its property rows and key lists,
        // the employees among them), at the designed size and widened.
        auto *typen = m_archiv->findChild<QTreeWidget *>(QStringLiteral("Belart"));
        const QSize entworfen = m_archiv->size();
        for (int i = 0; i < typen->topLevelItemCount(); ++i) {
            for (int j = 0; j < typen->topLevelItemCount(); ++j)
                typen->topLevelItem(j)->setCheckState(0, i == j ? Qt::Checked : Qt::Unchecked);
            for (const QSize groesse : {entworfen, entworfen + QSize(400, 100)}) {
                m_archiv->resize(groesse);
                QTest::qWait(1);
                for (QTabBar *t : m_archiv->findChildren<QTabBar *>())
                    for (int k = 0; k < t->count(); ++k) {
                        t->setCurrentIndex(k);
                        PASST(pruefen(m_archiv.get()));
                    }
            }
        }
        m_archiv->resize(entworfen);
    }

    // A stored Beleg with its document and its version text, opened from
    // the result window's popup.
    void editorMitDokument()
    {
        QStringList fehler;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("bild"), jederReiter(fehler));
        auto *typen = m_archiv->findChild<QTreeWidget *>(QStringLiteral("Belart"));
        for (int j = 0; j < typen->topLevelItemCount(); ++j)
            typen->topLevelItem(j)->setCheckState(0, Qt::Unchecked);
        auto *nummer = m_archiv->findChild<QLineEdit *>(QStringLiteral("Belnr"));
        nummer->clear();
        DialogFahrer::tasten(nummer, QStringLiteral("4711-Größenprüfung"));
        QTest::mouseClick(m_archiv->findChild<QPushButton *>(QStringLiteral("Busuch")), Qt::LeftButton);
        search::Ergebnis *e = m_archiv->ergebnis();
        QTreeView *liste = e->liste();
        int zeile = -1;
        for (int r = 0; r < e->modell()->rowCount(); ++r)
            if (e->modell()->index(r, 1).data().toString().contains(QStringLiteral("4711-Größenprüfung")))
                zeile = r;
        QVERIFY2(zeile >= 0, qPrintable(QStringLiteral("%1 Zeilen; %2").arg(e->modell()->rowCount()).arg(m_meldungen->texte().join(u'|'))));
        QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, liste->visualRect(e->modell()->index(zeile, 1)).center());
        QTRY_COMPARE(global::ErgZeile, zeile);
        e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList{"bild"});
        fehler.removeDuplicates();
        PASST(fehler);
    }

    void editorMitJedemReiter()
    {
        QStringList fehler;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("bild"), jederReiter(fehler));
        QTest::mouseClick(m_archiv->findChild<QPushButton *>(QStringLiteral("BUNeu")), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList{"bild"});
        fehler.removeDuplicates();
        PASST(fehler);
    }

    // The first start: no server settings yet, the dialog that asks for them.
    void ersterStart()
    {
        QStringList vorher;
        for (const char *k : {"arip", "arport", "wwsip", "wwsport"}) {
            vorher << app::einstellung(QStringLiteral("Server"), QLatin1String(k));
            app::setzeEinstellung(QStringLiteral("Server"), QLatin1String(k), QString());
        }
        {
            app::EinstServ d;
            test::bildSichern(&d, QStringLiteral("erster-start"));
            PASST(pruefen(&d));
        }
        int i = 0;
        for (const char *k : {"arip", "arport", "wwsip", "wwsport"})
            app::setzeEinstellung(QStringLiteral("Server"), QLatin1String(k), vorher.at(i++));
    }

    void dialoge_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *n : {"einstserv", "einstag", "einstscan", "scanneroptionen", "anmeld", "SuKund", "SuLief", "SuArtikel", "SuBelnr",
                              "SuBeleg", "scanbearb", "scanvorgabe", "scandatabase", "etikett", "vtest", "frmabout", "infodvd", "dokspeich"})
            QTest::newRow(n) << QString::fromLatin1(n);
    }

    void dialoge()
    {
        QFETCH(QString, name);
        std::unique_ptr<QWidget> d;
        QWidget *besitzer = m_archiv.get();
        if (name == QLatin1String("einstserv"))
            d = std::make_unique<app::EinstServ>(besitzer);
        else if (name == QLatin1String("einstag"))
            d = std::make_unique<app::EinstAg>(besitzer);
        else if (name == QLatin1String("einstscan"))
            d = std::make_unique<app::EinstScan>(besitzer, QStringList{"test:0", "Ordner: /srv/scan/Büro Süd"});
        else if (name == QLatin1String("scanneroptionen")) {
            imaging::Geraeteoption quelle;
            quelle.name = QStringLiteral("source");
            quelle.auswahl = QStringList{"Flatbed", "Automatic Document Feeder"};
            quelle.wert = QStringLiteral("Flatbed");
            imaging::Geraeteoption duplex;
            duplex.name = QStringLiteral("duplex");
            duplex.art = imaging::Geraeteoption::Art::Schalter;
            duplex.gruppe = QStringLiteral("Advanced");
            d = std::make_unique<app::Scanneroptionen>(QStringLiteral("fujitsu:fi-7160:12345"), QList{quelle, duplex}, besitzer);
        } else if (name == QLatin1String("anmeld"))
            d = std::make_unique<app::AnmeldDialog>(QStringLiteral("1"), besitzer);
        else if (name == QLatin1String("SuKund"))
            d = std::make_unique<lookup::Suchdialog>(lookup::Suchdialog::Art::Kunde, QStringLiteral("1"), besitzer);
        else if (name == QLatin1String("SuLief")) {
            auto s = std::make_unique<lookup::Suchdialog>(lookup::Suchdialog::Art::Lieferant, QStringLiteral("1"), besitzer);
            s->suchen();
            d = std::move(s);
        } else if (name == QLatin1String("SuArtikel"))
            d = std::make_unique<lookup::Suchdialog>(lookup::Suchdialog::Art::Artikel, QStringLiteral("1"), besitzer);
        else if (name == QLatin1String("SuBelnr")) {
            auto s = std::make_unique<lookup::SuBelnr>([](const QString &) {}, besitzer);
            s->hinzufuegen(QStringLiteral("30.11.2026"), m_beleg);
            d = std::move(s);
        } else if (name == QLatin1String("SuBeleg"))
            d = std::make_unique<lookup::SuBeleg>(QStringLiteral("ER4711-Größenprüfung"), besitzer);
        else if (name == QLatin1String("scanbearb"))
            d = std::make_unique<scan::Scanbearbeitung>(QStringLiteral("12345678"), QStringLiteral("ER4711-Größenprüfung"), QStringLiteral("3"), besitzer);
        else if (name == QLatin1String("scanvorgabe"))
            d = std::make_unique<scan::Scanvorgabe>(besitzer);
        else if (name == QLatin1String("scandatabase"))
            d = std::make_unique<scan::Scandatabase>(besitzer);
        else if (name == QLatin1String("etikett"))
            d = std::make_unique<tools::Etikettendruck>(QStringLiteral("1"), besitzer);
        else if (name == QLatin1String("vtest"))
            d = std::make_unique<tools::Vollstaendigkeitstest>(besitzer);
        else if (name == QLatin1String("frmabout"))
            d = std::make_unique<about::FrmAbout>(besitzer);
        else if (name == QLatin1String("infodvd"))
            d = std::make_unique<search::InfoDvd>(m_beleg, besitzer);
        else if (name == QLatin1String("dokspeich"))
            d = std::make_unique<editor::Dokspeich>(true, QStringLiteral("Erstscan"), besitzer);
        QVERIFY(d);
        PASST(pruefen(d.get()));
        d->close();
    }
};

QTEST_MAIN(TestTextbreite)
#include "tst_textbreite.moc"
