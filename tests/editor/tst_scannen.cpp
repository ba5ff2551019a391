// Scanning into the editor from a folder source against a real archivd:
// where the pages go, the label barcode on the first page, the Beleg
// search, an empty feeder and "Anfügen".
#include "app/Einstellungen.h"
#include "common/Etikett.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Doksliste.h"
#include "editor/Seitenansicht.h"
#include "imaging/Barcode.h"
#include "imaging/TiffDatei.h"
#include "server/ErgebnisMenge.h"
#include "scan/Uebernahme.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QToolBar>
#include <QDropEvent>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTabBar>
#include <QTabWidget>
#include <QFrame>
#include <QTest>
#include <QTreeWidget>

using namespace archiv;
using archiv::test::Belegbau;
using archiv::test::DialogFahrer;
using archiv::test::teil;

class TestScannen : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QTemporaryDir m_einzug;
    qint64 m_etikettER = 0, m_etikettRK = 0;

    std::unique_ptr<editor::Bild> oeffnen(const QString &id = {})
    {
        global::Modus = QStringLiteral("bearbeiten");
        global::ScannerDa = true;
        auto b = std::make_unique<editor::Bild>(QStringLiteral("1"));
        b->laden();
        b->show();
        if (!id.isEmpty())
            b->belegLaden(id, true);
        return b;
    }
    // n pages into the feeder; page i has i + 1 bars (a label code on page
    // mitCode from 0 when given).
    void einlegen(int n, int mitCode = -1, const QString &code = {})
    {
        QList<imaging::Seite> seiten = imaging::TiffDatei::lesen(Belegbau::tiff(n), QStringLiteral("s.tif"));
        if (mitCode >= 0)
            seiten[mitCode] = Belegbau::beklebt(seiten[mitCode], {code});
        QVERIFY(QDir(m_einzug.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_einzug.path()));
        imaging::TiffDatei::schreibenG4(QDir(m_einzug.path()).filePath(QStringLiteral("stapel.tif")), seiten);
    }
    static QList<int> seitenfolge(editor::Bild *b)
    {
        QList<int> f;
        for (int i = 0; i < b->ansicht()->seiten().anzahl(); ++i)
            f << Belegbau::balken(b->ansicht()->seiten().seite(i).bild());
        return f;
    }
    static void scanKlicken(editor::Bild *b) { QTest::mouseClick(teil<QPushButton>(b, "BUScan"), Qt::LeftButton); }
    // A label run of the type: returns the first number printed.
    qint64 etikettenlauf(const QString &typ)
    {
        server::Objekt t = m_v->OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||") + typ);
        const qint64 vorher = t.get(QStringLiteral("lastbelnrbarc")).toLongLong();
        t.set(QStringLiteral("lastbelnrbarc"), QString::number(vorher + 10));
        if (t.SYS_Save() != 1)
            qFatal("label run not recorded");
        return vorher + 1;
    }

    // Scan-store pages of a Belegnummer; page n has n bars.
    void imScanspeicher(const QString &nummer, const QList<int> &seiten)
    {
        const QList<imaging::Seite> vorlage = imaging::TiffDatei::lesen(Belegbau::tiff(qMax(3, int(seiten.size()))), QStringLiteral("s.tif"));
        for (const int n : seiten) {
            server::Objekt scan = m_v->New(QStringLiteral("AR.Scandat"));
            scan.set(QStringLiteral("dokument"), nummer);
            scan.set(QStringLiteral("seite"), QString::number(n));
            scan.strom(QStringLiteral("dok")).Write(imaging::TiffDatei::schreibenG4({vorlage.at(n - 1)}));
            QCOMPARE(scan.SYS_Save(), 1);
        }
    }
    int imSpeicher(const QString &nummer)
    {
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        rs.Execute(QStringList{nummer});
        int n = 0;
        while (rs.Next())
            ++n;
        return n;
    }
    // Pages of the number some session holds.
    int gehalten(const QString &nummer)
    {
        const auto n = m_server->sqlite(QStringLiteral("SELECT count(*) FROM ar_scandat WHERE dokument = '%1' AND genommen IS NOT NULL").arg(nummer));
        return n ? n->toInt() : -1;
    }
    // "Scan Dokumente": the scan intake window picks the number with a double-click.
    static void ausDemSpeicher(editor::Bild *b, const QString &nummer, DialogFahrer &fahrer)
    {
        fahrer.bei(QStringLiteral("scandatabase"), [nummer](QDialog *d) {
            auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("LIBelege"));
            const auto treffer = liste->findItems(nummer, Qt::MatchExactly);
            QVERIFY(!treffer.isEmpty());
            liste->scrollToItem(treffer.first());
            const QRect zeile = liste->visualItemRect(treffer.first());
            QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
            QTest::mouseDClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
        });
        QTest::mouseClick(teil<QPushButton>(b, "BUScandatabase"), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        m_etikettER = etikettenlauf(QStringLiteral("ER"));
        m_etikettRK = etikettenlauf(QStringLiteral("RK"));
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        global::Anmeldung = QStringLiteral("MA01");
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("Ordner: ") + m_einzug.path());
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Drehen"), QStringLiteral("0"));
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    void keineScanquelle()
    {
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QString());
        auto b = oeffnen();
        scanKlicken(b.get());
        QCOMPARE(m_meldungen->texte(), QStringList{"Keine Scanquelle definiert"});
        QCOMPARE(global::SeitenAnz, 0);
        QVERIFY(teil<QPushButton>(b.get(), "BUScan")->isEnabled());
    }

    void einzugInLeereAnsicht()
    {
        einlegen(10);
        auto b = oeffnen();
        // The user looks at the header, then scans.
        QTabBar *reiter = teil<QTabWidget>(b.get(), "Tab1")->tabBar();
        QTest::mouseClick(reiter, Qt::LeftButton, {}, reiter->tabRect(1).center());
        QVERIFY(!teil<QFrame>(b.get(), "FRBeleg")->isHidden());
        scanKlicken(b.get());
        QVERIFY(m_meldungen->texte().isEmpty());
        QCOMPARE(global::SeitenAnz, 10);
        QCOMPARE(global::AktSeite, 10);
        // The document is shown, its tab highlighted, on the page the
        // counter names, drawn (not the grey of a page never fitted).
        QCOMPARE(reiter->tabData(reiter->currentIndex()).toString(), QStringLiteral("dokument"));
        QVERIFY(!teil<QFrame>(b.get(), "FRDokument")->isHidden());
        QVERIFY(teil<QFrame>(b.get(), "FRBeleg")->isHidden());
        QCOMPARE(b->ansicht()->seiten().aktuell(), 9);
        QVERIFY(!b->ansicht()->isHidden());
        QVERIFY(global::Geaendert);
        QCOMPARE(seitenfolge(b.get()), QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        QCOMPARE(teil<QScrollBar>(b.get(), "Scroll1")->maximum(), 10);
        test::bildSichern(b.get(), QStringLiteral("editor-nach-scan"));
        QVERIFY(!teil<QPushButton>(b.get(), "BUSpeich")->isHidden());
        // No barcode: nothing looked up.
        QVERIFY(global::BarcodeBelart.isEmpty());
    }

    void einzugNachSeiteZwei()
    {
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("LS"), QStringLiteral("SC-5"), {{"tif", "", Belegbau::tiff(5)}});
        auto b = oeffnen(id);
        // Page 2 shown, as a user gets there: the arrow key.
        QTest::keyClick(b->ansicht(), Qt::Key_Right);
        QCOMPARE(global::AktSeite, 2);
        einlegen(3);
        scanKlicken(b.get());
        QCOMPARE(global::SeitenAnz, 8);
        QCOMPARE(global::AktSeite, 8);
        // The new pages, in their order, after page 2.
        QCOMPARE(seitenfolge(b.get()), QList<int>({1, 2, 1, 2, 3, 3, 4, 5}));
    }

    void etikettAufSeiteEinsFindetDenBeleg()
    {
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QString::number(m_etikettER), {{"tif", "", Belegbau::tiff(1)}});
        einlegen(2, 0, common::etikett::code(m_etikettER));
        auto b = oeffnen();
        scanKlicken(b.get());
        QVERIFY2(m_meldungen->texte().isEmpty(), qPrintable(m_meldungen->texte().join(u'|')));
        QCOMPARE(global::AktBelart, QStringLiteral("ER"));
        QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->text(), QString::number(m_etikettER));
        QCOMPARE(global::DokId, id);
        QCOMPARE(global::AktDok, 0);
        QCOMPARE(global::SeitenAnz, 2);
        // Saved, the pages become the Beleg's second document.
        QVERIFY(b->speichernMit({false, QStringLiteral("gescannt"), false}));
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 2);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(2).get(QStringLiteral("doktext")), QStringLiteral("gescannt"));
    }

    void etikettAufSeiteZweiZaehltNicht()
    {
        einlegen(2, 1, common::etikett::code(m_etikettER));
        auto b = oeffnen();
        scanKlicken(b.get());
        QVERIFY(global::AktBelart.isEmpty());
        QVERIFY(global::DokId.isEmpty());
        QVERIFY(teil<QLineEdit>(b.get(), "Belnr")->text().isEmpty());
    }

    void korrekturGehtZurRechnung()
    {
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QString::number(m_etikettRK) + QStringLiteral("/1"), {});
        einlegen(1, 0, common::etikett::code(m_etikettRK));
        auto b = oeffnen();
        scanKlicken(b.get());
        QCOMPARE(global::AktBelart, QStringLiteral("ER"));
        QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->text(), QString::number(m_etikettRK) + QStringLiteral("/1"));
        QCOMPARE(global::DokId, id);
    }

    void belegsucheMehrereOderKeiner()
    {
        Belegbau bau(*m_v);
        bau.anlegen(QStringLiteral("BE"), QStringLiteral("SC-DOPPELT"), {}, {}, QStringLiteral("2026-03-01"));
        bau.anlegen(QStringLiteral("BE"), QStringLiteral("SC-DOPPELT"), {}, {}, QStringLiteral("2026-03-02"));
        auto b = oeffnen();
        auto *belart = teil<QComboBox>(b.get(), "Belart");
        belart->setCurrentIndex(belart->findData(QStringLiteral("BE")));
        teil<QLineEdit>(b.get(), "Belnr")->setText(QStringLiteral("SC-DOPPELT"));
        global::DokId.clear();
        DialogFahrer fahrer;
        int zeilen = 0;
        fahrer.bei(QStringLiteral("SuBelnr"), [&zeilen](QDialog *d) {
            zeilen = d->findChild<QTreeWidget *>(QStringLiteral("Beleg"))->topLevelItemCount();
            d->close();
        });
        QTest::mouseClick(teil<QPushButton>(b.get(), "BUSubeleg"), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList{"SuBelnr"});
        QCOMPARE(zeilen, 2);
        // Closed without a choice: the editor holds no Beleg it was not given.
        QVERIFY(global::DokId.isEmpty());

        teil<QLineEdit>(b.get(), "Belnr")->setText(QStringLiteral("SC-GIBTSNICHT"));
        QTest::mouseClick(teil<QPushButton>(b.get(), "BUSubeleg"), Qt::LeftButton);
        QCOMPARE(m_meldungen->texte(), QStringList{"Dokument nicht gefunden"});
    }

    void auswahlOhneWahlBehaeltDenBelegVorher()
    {
        // A Beleg is open; a label scanned into it names a number two Belege
        // share. Closing the pick list without a choice leaves the editor
        // with the Beleg it held, not with the last one listed.
        Belegbau bau(*m_v);
        const QString vorher = bau.anlegen(QStringLiteral("ER"), QStringLiteral("SC-VORHER"), {{"tif", "", Belegbau::tiff(1)}});
        const qint64 nummer = m_etikettER + 5;
        bau.anlegen(QStringLiteral("ER"), QString::number(nummer), {}, {}, QStringLiteral("2026-04-01"));
        bau.anlegen(QStringLiteral("ER"), QString::number(nummer), {}, {}, QStringLiteral("2026-04-02"));
        auto b = oeffnen(vorher);
        QCOMPARE(global::DokId, vorher);
        // Into an empty view, so that the label on the first page counts.
        m_meldungen->antworte(common::Antwort::Nein);
        QTest::mouseClick(teil<QPushButton>(b.get(), "budoknreinf"), Qt::LeftButton);
        einlegen(1, 0, common::etikett::code(nummer));
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("SuBelnr"), [](QDialog *d) {
            QCOMPARE(d->findChild<QTreeWidget *>(QStringLiteral("Beleg"))->topLevelItemCount(), 2);
            d->close();
        });
        scanKlicken(b.get());
        QCOMPARE(fahrer.gesehen(), QStringList{"SuBelnr"});
        QCOMPARE(global::DokId, vorher);
    }

    void leererEinzugBehaeltDieSeiten()
    {
        einlegen(2);
        auto b = oeffnen();
        scanKlicken(b.get());
        QCOMPARE(global::SeitenAnz, 2);
        QVERIFY(QDir(m_einzug.path()).removeRecursively());
        QVERIFY(QDir().mkpath(m_einzug.path()));
        scanKlicken(b.get());
        QCOMPARE(m_meldungen->texte(), QStringList{"Scanner nicht bereit"});
        QCOMPARE(global::SeitenAnz, 2);
        QCOMPARE(b->ansicht()->seiten().anzahl(), 2);
        QVERIFY(teil<QPushButton>(b.get(), "BUScan")->isEnabled());
    }

    void anfuegenStartetEinNeuesDokument()
    {
        Belegbau bau(*m_v);
        const QString id =
            bau.anlegen(QStringLiteral("LS"), QStringLiteral("SC-ANF"), {{"tif", "eins", Belegbau::tiff(1)}, {"tif", "zwei", Belegbau::tiff(2)}});
        auto b = oeffnen(id);
        QTest::mouseClick(teil<QPushButton>(b.get(), "budoknreinf"), Qt::LeftButton);
        QCOMPARE(global::AktDok, 3);
        QCOMPARE(global::SeitenAnz, 0);
        QCOMPARE(teil<editor::Doksliste>(b.get(), "Doks")->count(), 3);
        einlegen(2);
        scanKlicken(b.get());
        QVERIFY(b->speichernMit({false, QStringLiteral("drei"), false}));
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 3);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(1).get(QStringLiteral("doktext")), QStringLiteral("eins"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(3).get(QStringLiteral("doktext")), QStringLiteral("drei"));
    }

    void seiteLoeschenUeberDieWerkzeugleiste()
    {
        einlegen(3);
        auto b = oeffnen();
        scanKlicken(b.get());
        QCOMPARE(global::AktSeite, 3);
        global::Geaendert = false;
        auto *leiste = teil<QToolBar>(b.get(), "Tool1");
        QWidget *loeschen = leiste->widgetForAction(b->werkzeugAktion(4));
        QVERIFY(loeschen && loeschen->isVisible());
        // Page 3 of 3: the last page goes, page 2 is shown, no question.
        QTest::mouseClick(loeschen, Qt::LeftButton);
        QCOMPARE(global::SeitenAnz, 2);
        QCOMPARE(global::AktSeite, 2);
        QCOMPARE(seitenfolge(b.get()), QList<int>({1, 2}));
        QVERIFY(global::Geaendert);
        QVERIFY(m_meldungen->texte().isEmpty());
        QCOMPARE(teil<QLabel>(b.get(), "labseit")->text(), QStringLiteral("Seite 2 von 2"));
        QTest::mouseClick(loeschen, Qt::LeftButton);
        QTest::mouseClick(leiste->widgetForAction(b->werkzeugAktion(4)), Qt::LeftButton);
        // The only page gone: nothing left to show.
        QCOMPARE(global::SeitenAnz, 0);
        QCOMPARE(global::AktSeite, 0);
        QVERIFY(b->ansicht()->isHidden());
    }

    void vorschauInDenMuelleimer()
    {
        einlegen(4);
        auto b = oeffnen();
        scanKlicken(b.get());
        b->tabGewechselt(QStringLiteral("vorschau"));
        QLabel *muell = teil<QLabel>(b.get(), "PicMuell");
        const auto bild = [muell] { return muell->pixmap().toImage().convertToFormat(QImage::Format_ARGB32); };
        const QImage zu = bild();
        // Thumbnail 2 dragged over the bin and dropped on it.
        auto *daten = new QMimeData;
        daten->setData(QStringLiteral("application/x-archiv-vorschau"), QByteArray("1"));
        const QPoint mitte = muell->rect().center();
        QDragEnterEvent betreten(mitte, Qt::MoveAction, daten, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(muell, &betreten);
        QVERIFY(betreten.isAccepted());
        QCOMPARE(bild(), zu); // entering changes nothing
        QDragMoveEvent bewegen(mitte, Qt::MoveAction, daten, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(muell, &bewegen);
        QVERIFY(bewegen.isAccepted());
        QVERIFY(bild() != zu); // the open bin
        QDropEvent ablegen(QPointF(mitte), Qt::MoveAction, daten, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(muell, &ablegen);
        QCOMPARE(global::SeitenAnz, 3);
        QCOMPARE(seitenfolge(b.get()), QList<int>({1, 3, 4}));
        QVERIFY(global::Geaendert);
        delete daten;
    }

    void druckenAbgebrochenDrucktNichts()
    {
        einlegen(5);
        auto b = oeffnen();
        scanKlicken(b.get());
        QTest::keyClick(b->ansicht(), Qt::Key_Home);
        const int gezeigt = global::AktSeite;
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("Print1"), [](QDialog *d) { d->reject(); });
        QTest::mouseClick(teil<QToolBar>(b.get(), "Tool1")->widgetForAction(b->werkzeugAktion(7)), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList{"Print1"});
        QVERIFY(m_meldungen->texte().isEmpty());
        QCOMPARE(global::AktSeite, gezeigt);
        QCOMPARE(seitenfolge(b.get()), QList<int>({1, 2, 3, 4, 5}));
    }

    void verworfeneScansBleibenImSpeicher_data()
    {
        QTest::addColumn<QString>("weg");
        QTest::newRow("neuer WWS-Beleg, Nein") << QStringLiteral("neu");
        QTest::newRow("Anfügen, Nein") << QStringLiteral("anfuegen");
        QTest::newRow("anderes Dokument, Nein") << QStringLiteral("dokument");
        QTest::newRow("Seite gelöscht") << QStringLiteral("loeschen");
    }

    void verworfeneScansBleibenImSpeicher()
    {
        // Pages taken from the scan store leave the view unsaved: their
        // records stay in the store, free for others, and the next save of
        // another Beleg takes nothing of them.
        QFETCH(QString, weg);
        const QString nummer = QStringLiteral("ERVW-") + weg.toUpper();
        // "neuer WWS-Beleg" is there while no stored Beleg is found.
        const bool mitBeleg = weg != QLatin1String("neu");
        Belegbau bau(*m_v);
        if (mitBeleg)
            bau.anlegen(QStringLiteral("ER"), nummer.mid(2), {{"tif", "eins", Belegbau::tiff(1)}, {"tif", "zwei", Belegbau::tiff(2)}});
        imScanspeicher(nummer, {1, 2});
        auto b = oeffnen();
        {
            DialogFahrer fahrer;
            ausDemSpeicher(b.get(), nummer, fahrer);
            QVERIFY2(fahrer.gesehen() == QStringList{"scandatabase"}, qPrintable(fahrer.gesehen().join(u',')));
        }
        QVERIFY2(global::DokId.isEmpty() != mitBeleg, qPrintable(m_meldungen->texte().join(u'|')));
        // Pages that came in are no failure, whether or not their Beleg is
        // archived already.
        QVERIFY2(m_meldungen->texte().isEmpty(), qPrintable(m_meldungen->texte().join(u'|')));
        QCOMPARE(global::SeitenAnz, 2);
        QCOMPARE(gehalten(nummer), 2);
        m_meldungen->antworte(common::Antwort::Nein);
        if (weg == QLatin1String("neu")) {
            QVERIFY(teil<QPushButton>(b.get(), "BUNeu")->isVisible());
            QTest::mouseClick(teil<QPushButton>(b.get(), "BUNeu"), Qt::LeftButton);
            // Asked first: pages are never dropped without a word.
            QVERIFY(m_meldungen->texte().contains(QStringLiteral("Dokument wurde verändert speichern ?")));
            QCOMPARE(global::SeitenAnz, 0);
        } else if (weg == QLatin1String("anfuegen")) {
            QTest::mouseClick(teil<QPushButton>(b.get(), "budoknreinf"), Qt::LeftButton);
        } else if (weg == QLatin1String("dokument")) {
            teil<editor::Doksliste>(b.get(), "Doks")->setCurrentIndex(1);
        } else {
            // One page deleted: only its record goes back.
            QTest::mouseClick(teil<QToolBar>(b.get(), "Tool1")->widgetForAction(b->werkzeugAktion(4)), Qt::LeftButton);
            QCOMPARE(gehalten(nummer), 1);
            QTest::mouseClick(teil<QToolBar>(b.get(), "Tool1")->widgetForAction(b->werkzeugAktion(4)), Qt::LeftButton);
        }
        QCOMPARE(gehalten(nummer), 0);
        QCOMPARE(imSpeicher(nummer), 2);

        // The editor goes on with another Beleg and saves it.
        b->buNeu();
        auto *belart = teil<QComboBox>(b.get(), "Belart");
        belart->setCurrentIndex(belart->findData(QStringLiteral("LS")));
        teil<QLineEdit>(b.get(), "Belnr")->setText(QStringLiteral("VW-ANDERS-") + weg);
        einlegen(1);
        scanKlicken(b.get());
        QVERIFY(b->speichernMit({false, QString(), false}));
        QCOMPARE(imSpeicher(nummer), 2);
    }

    void mehrereBelegeGleicherNummerBehaltenDieSeiten()
    {
        // Two Belege share the number; the pages from the store go into the
        // one whose date the user picks, and leave the store with its save.
        Belegbau bau(*m_v);
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("MB-7"), {{"tif", "", Belegbau::tiff(1)}}, {}, QStringLiteral("2026-01-05"));
        const QString zweiter = bau.anlegen(QStringLiteral("ER"), QStringLiteral("MB-7"), {{"tif", "", Belegbau::tiff(1)}}, {}, QStringLiteral("2026-02-06"));
        imScanspeicher(QStringLiteral("ERMB-7"), {1, 2, 3});
        auto b = oeffnen();
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("SuBelnr"), [](QDialog *d) {
            auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("Beleg"));
            QCOMPARE(liste->topLevelItemCount(), 2);
            const QRect zeile = liste->visualItemRect(liste->topLevelItem(1));
            QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
            QTest::mouseDClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
        });
        ausDemSpeicher(b.get(), QStringLiteral("ERMB-7"), fahrer);
        QCOMPARE(fahrer.gesehen(), QStringList({"scandatabase", "SuBelnr"}));
        QCOMPARE(global::DokId, zweiter);
        QCOMPARE(seitenfolge(b.get()), QList<int>({1, 2, 3}));
        QVERIFY(global::Geaendert);
        QVERIFY(b->speichernMit({false, QStringLiteral("aus dem Scanspeicher"), false}));
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), zweiter);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 2);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(2).get(QStringLiteral("doktext")), QStringLiteral("aus dem Scanspeicher"));
        QCOMPARE(imSpeicher(QStringLiteral("ERMB-7")), 0);
    }

    void gehalteneSeitenUebernimmtDieScanstationNicht()
    {
        // An editor holds the pages: a scan station (another session)
        // leaves them alone, so one page never lands in two Belege.
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("HALT-1"), {{"tif", "", Belegbau::tiff(1)}});
        imScanspeicher(QStringLiteral("ERHALT-1"), {1, 2});
        m_v->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")});
        auto b = oeffnen();
        {
            DialogFahrer fahrer;
            ausDemSpeicher(b.get(), QStringLiteral("ERHALT-1"), fahrer);
        }
        QCOMPARE(global::SeitenAnz, 2);
        const QString editorSitzung = server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port());
        QVERIFY(m_server->anmelden()); // the scan station's own login
        QVERIFY(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()) != editorSitzung);
        const scan::Uebernahmebericht bericht = scan::ScanBelegUebernahme(*m_v, QStringLiteral("ERHALT-1"), true);
        QCOMPARE(bericht.uebernommen, 0);
        QCOMPARE(imSpeicher(QStringLiteral("ERHALT-1")), 2);
        QCOMPARE(m_v->OpenId(QStringLiteral("AR.Dokumente"), id).sammlung(QStringLiteral("Doks")).Count(), 1);

        // The editor's save files them, once.
        server::setzeSitzung(QStringLiteral("127.0.0.1"), m_server->port(), editorSitzung);
        QVERIFY(b->speichernMit({false, QString(), false}));
        QCOMPARE(imSpeicher(QStringLiteral("ERHALT-1")), 0);
        QCOMPARE(m_v->OpenId(QStringLiteral("AR.Dokumente"), id).sammlung(QStringLiteral("Doks")).Count(), 2);
        QCOMPARE(m_server->sqlite(QStringLiteral("SELECT count(*) FROM ar_protokoll WHERE klasse = 'AR.Scandat' AND aktion = 'übernommen' AND beleg = %1").arg(id))->toInt(), 2);
    }

    void scanspeicherErstNachDemSpeichernGeleert()
    {
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("SCS-1"), {});
        // Three scanned pages of "ERSCS-1", stored out of order; page n has n bars.
        const QList<imaging::Seite> seiten = imaging::TiffDatei::lesen(Belegbau::tiff(3), QStringLiteral("s.tif"));
        for (const int n : {2, 3, 1}) {
            server::Objekt scan = m_v->New(QStringLiteral("AR.Scandat"));
            scan.set(QStringLiteral("dokument"), QStringLiteral("ERSCS-1"));
            scan.set(QStringLiteral("seite"), QString::number(n));
            QTemporaryDir d;
            const QString datei = d.filePath(QStringLiteral("s.tif"));
            imaging::TiffDatei::schreibenG4(datei, {seiten.at(n - 1)});
            scan.strom(QStringLiteral("dok")).FileRead(datei);
            QCOMPARE(scan.SYS_Save(), 1);
        }
        const auto imSpeicher = [this] {
            server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
            rs.Execute(QStringList{QStringLiteral("ERSCS-1")});
            int n = 0;
            while (rs.Next())
                ++n;
            return n;
        };
        const auto holen = [](editor::Bild *b) {
            DialogFahrer fahrer;
            fahrer.bei(QStringLiteral("scandatabase"), [](QDialog *d) {
                // Editor mode: no transfer, no clearing; a double-click picks.
                QVERIFY(d->findChild<QPushButton *>(QStringLiteral("buuebern"))->isHidden());
                QVERIFY(d->findChild<QPushButton *>(QStringLiteral("buloeall"))->isHidden());
                QVERIFY(d->findChild<QPushButton *>(QStringLiteral("BUScan"))->isHidden());
                QVERIFY(!d->findChild<QAction *>(QStringLiteral("beenden"))->isVisible());
                auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("LIBelege"));
                const auto treffer = liste->findItems(QStringLiteral("ERSCS-1"), Qt::MatchExactly);
                QCOMPARE(treffer.size(), 3); // one row a page
                const QRect zeile = liste->visualItemRect(treffer.first());
                QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
                QTest::mouseDClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
            });
            QTest::mouseClick(teil<QPushButton>(b, "BUScandatabase"), Qt::LeftButton);
            QVERIFY2(fahrer.gesehen() == QStringList{"scandatabase"}, qPrintable(fahrer.gesehen().join(u',')));
        };
        {
            auto b = oeffnen();
            holen(b.get());
            QCOMPARE(global::ScanBarcode, QStringLiteral("ERSCS-1"));
            QCOMPARE(global::Startmodus, QStringLiteral("archiv"));
            QCOMPARE(seitenfolge(b.get()), QList<int>({1, 2, 3}));
            QCOMPARE(global::AktSeite, 1);
            QCOMPARE(global::AktBelart, QStringLiteral("ER"));
            QCOMPARE(global::DokId, id);
            // Closed without saving: the scans wait in the store.
            m_meldungen->antworte(common::Antwort::Nein);
            b->schliessen();
            QCOMPARE(imSpeicher(), 3);
        }
        auto b = oeffnen();
        holen(b.get());
        QVERIFY(b->speichernMit({false, QString(), false}));
        QCOMPARE(imSpeicher(), 0);
        server::Objekt beleg = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
    }
};

QTEST_MAIN(TestScannen)
#include "tst_scannen.moc"
