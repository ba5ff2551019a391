#include "app/DatumFeld.h"
#include "app/Einstellungen.h"
#include "app/Ereignis.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "editor/Bild.h"
#include "editor/Doksliste.h"
#include "editor/Editorregeln.h"
#include "editor/Seitenansicht.h"
#include "editor/Vorschaurahmen.h"
#include "imaging/Bilddatei.h"
#include "imaging/TiffDatei.h"
#include "lookup/SuBelnr.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/Steuerelemente.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTimeEdit>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

using namespace archiv;
using archiv::common::pixelZuTwips;
using archiv::common::twipsZuPixel;
using archiv::test::Belegbau;
using archiv::test::DialogFahrer;
using archiv::test::teil;
using archiv::test::zeile;
using archiv::test::Dokumentdatei;

// The editor window against the demo archive: the control rule, loading
// Belege and their documents, paging, thumbnails, page moves, layout and the
// index-property rows.
class TestBild : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QString m_fuenf, m_eine, m_zwei, m_drei, m_ohne, m_vier, m_werte;

    std::unique_ptr<editor::Bild> oeffnen(const QString &modus, const QString &id = {})
    {
        global::Modus = modus;
        auto b = std::make_unique<editor::Bild>(QStringLiteral("1"));
        b->laden();
        b->show();
        if (!id.isEmpty())
            b->belegLaden(id, true);
        return b;
    }
    // Bars on the page the view shows (page n of a test document has n).
    static int gezeigteSeite(editor::Bild *b)
    {
        const imaging::Seitenliste &l = b->ansicht()->seiten();
        return Belegbau::balken(l.seite(l.aktuell()).bild());
    }
    static QList<int> seitenfolge(editor::Bild *b)
    {
        QList<int> f;
        for (int i = 0; i < b->ansicht()->seiten().anzahl(); ++i)
            f << Belegbau::balken(b->ansicht()->seiten().seite(i).bild());
        return f;
    }
    static void typWaehlen(editor::Bild *b, const QString &code)
    {
        auto *belart = teil<QComboBox>(b, "Belart");
        belart->setCurrentIndex(belart->findData(code));
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 40);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        Belegbau bau(*m_v);
        QTemporaryDir dir;
        const QString pdfPfad = dir.filePath(QStringLiteral("ein.pdf"));
        imaging::Bilddatei::schreiben(pdfPfad, imaging::Bilddatei::lesen(Belegbau::tiff(1), QStringLiteral("s.tif")), imaging::Pdf);
        QFile pdf(pdfPfad);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        const QByteArray pdfInhalt = pdf.readAll();
        pdf.remove();
        m_fuenf = bau.anlegen(QStringLiteral("ER"), QStringLiteral("T-5"), {{"tif", "fünf Seiten", Belegbau::tiff(5)}});
        m_eine = bau.anlegen(QStringLiteral("ER"), QStringLiteral("T-1"), {{"tif", "eine Seite", Belegbau::tiff(1)}});
        m_zwei = bau.anlegen(QStringLiteral("ER"), QStringLiteral("T-2"), {{"tif", "zwei Seiten", Belegbau::tiff(2)}});
        m_vier = bau.anlegen(QStringLiteral("ER"), QStringLiteral("T-4"), {{"tif", "vier Seiten", Belegbau::tiff(4)}});
        m_drei = bau.anlegen(QStringLiteral("LS"), QStringLiteral("T-3D"),
                             {{"tif", "Erstfassung", Belegbau::tiff(5), "2026-11-02"},
                              {"tif", "korrigiert", Belegbau::tiff(2), "2026-11-03"},
                              {"pdf", "als PDF", pdfInhalt, "2026-11-04"}});
        m_ohne = bau.anlegen(QStringLiteral("LS"), QStringLiteral("T-0"), {});
        // Property 5 is text, 22 a free-value choice, 2 a supplier (new only).
        m_werte = bau.anlegen(QStringLiteral("ER"), QStringLiteral("T-W"), {{"tif", "", Belegbau::tiff(1)}},
                              {{5, "eins"}, {22, "Bar"}, {5, "zwei"}, {2, "70003"}, {22, "Karte"}, {5, "drei"}});
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    void ansichtOhneBearbeitungsknoepfe()
    {
        global::ScannerDa = true;
        auto b = oeffnen(QString(), m_fuenf);
        QCOMPARE(b->windowTitle(), QStringLiteral("Dokumentansicht"));
        for (const char *name : {"BUSpeich", "BUSubeleg", "BUNeu", "BUScan", "BUScandatabase", "budoknreinf", "budoknrloe"})
            QVERIFY2(teil<QPushButton>(b.get(), name)->isHidden(), name);
        QVERIFY(!teil<QLineEdit>(b.get(), "Belnr")->isEnabled());
        QVERIFY(!teil<QLineEdit>(b.get(), "Beldat")->isEnabled());
        // Nothing of the header can be changed while viewing.
        QVERIFY(!teil<QTimeEdit>(b.get(), "belzeit")->isEnabled());
        auto *typ = teil<QComboBox>(b.get(), "Belart");
        QVERIFY(!typ->isEnabled());
        const QString vorher = typ->currentText();
        typ->setFocus();
        QTest::keyClick(typ, Qt::Key_Down);
        QCOMPARE(typ->currentText(), vorher);
        QVERIFY(b->werkzeugAktion(4)->isVisible() == false);
        // Closing a view never asks, even when something changed.
        global::Geaendert = true;
        b->schliessen();
        QVERIFY(m_meldungen->meldungen().isEmpty());
        QVERIFY(!global::Geaendert);
    }

    void neuerBelegBrauchtTypNummerUndDatum()
    {
        global::ScannerDa = true;
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        auto *speich = teil<QPushButton>(b.get(), "BUSpeich");
        QVERIFY(!speich->isHidden());
        QVERIFY(!teil<QPushButton>(b.get(), "BUScan")->isHidden());
        QVERIFY(!teil<QPushButton>(b.get(), "BUNeu")->isHidden());
        QCOMPARE(teil<app::DatumFeld>(b.get(), "Beldat")->datum(), QDate::currentDate());
        QVERIFY(teil<QLineEdit>(b.get(), "Belnr")->text().isEmpty());
        teil<QLineEdit>(b.get(), "Belnr")->setText(QStringLiteral("4711"));
        QVERIFY(!speich->isEnabled()); // no type yet
        typWaehlen(b.get(), QStringLiteral("ER"));
        QCOMPARE(global::AktBelart, QStringLiteral("ER"));
        QVERIFY(speich->isEnabled());
        teil<QLineEdit>(b.get(), "Beldat")->clear();
        QVERIFY(!speich->isEnabled());
    }

    void neuNachGeladenemBeleg()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"), m_drei);
        QVERIFY(teil<QPushButton>(b.get(), "BUNeu")->isHidden());
        QVERIFY(!teil<QPushButton>(b.get(), "budoknreinf")->isHidden());
        b->buNeu();
        QVERIFY(global::DokId.isEmpty());
        QCOMPARE(global::AktDok, 0);
        QCOMPARE(global::DokAnz, 0);
        QVERIFY(!teil<QPushButton>(b.get(), "BUNeu")->isHidden());
        QVERIFY(!teil<QPushButton>(b.get(), "BUSubeleg")->isHidden());
        QVERIFY(teil<QPushButton>(b.get(), "budoknreinf")->isHidden());
        QVERIFY(teil<QPushButton>(b.get(), "budoknrloe")->isHidden());
        QCOMPARE(b->ansicht()->seiten().anzahl(), 0);
        QVERIFY(teil<editor::Seitenansicht>(b.get(), "Image1")->isHidden());
    }

    void seitenleisteAbZweiSeiten_data()
    {
        QTest::addColumn<QString>("beleg");
        QTest::addColumn<bool>("sichtbar");
        QTest::newRow("eine Seite") << QStringLiteral("eine") << false;
        QTest::newRow("zwei Seiten") << QStringLiteral("zwei") << true;
    }

    void seitenleisteAbZweiSeiten()
    {
        QFETCH(QString, beleg);
        QFETCH(bool, sichtbar);
        auto b = oeffnen(QString(), beleg == QLatin1String("eine") ? m_eine : m_zwei);
        QVERIFY(!teil<editor::Seitenansicht>(b.get(), "Image1")->isHidden());
        QCOMPARE(!teil<QLabel>(b.get(), "labseit")->isHidden(), sichtbar);
        QCOMPARE(!teil<QScrollBar>(b.get(), "Scroll1")->isHidden(), sichtbar);
        QCOMPARE(teil<QLabel>(b.get(), "labseit")->text(), sichtbar ? QStringLiteral("Seite 1 von 2") : QStringLiteral("Seite 1 von 1"));
    }

    void belegOhneDokumente()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"), m_ohne);
        QCOMPARE(global::DokAnz, 0);
        QCOMPARE(global::SeitenAnz, 0);
        QCOMPARE(teil<editor::Doksliste>(b.get(), "Doks")->count(), 0);
        QVERIFY(teil<editor::Seitenansicht>(b.get(), "Image1")->isHidden());
        QVERIFY(teil<QPushButton>(b.get(), "budoknreinf")->isHidden());
        QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->text(), QStringLiteral("T-0"));
        QCOMPARE(teil<QComboBox>(b.get(), "Belart")->currentData().toString(), QStringLiteral("LS"));
    }

    void dreiDokumenteWechseln()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"), m_drei);
        QVERIFY(m_drei.toLongLong() > 65535);
        auto *doks = teil<editor::Doksliste>(b.get(), "Doks");
        QCOMPARE(doks->count(), 3);
        QCOMPARE(doks->zeilenText(0), QStringLiteral("2026-11-02\n1     Erstfassung"));
        QCOMPARE(doks->zeilenText(2), QStringLiteral("2026-11-04\n3     als PDF"));
        QCOMPARE(doks->itemData(1).toString(), QStringLiteral("korrigiert"));
        QCOMPARE(global::AktDok, 1);
        QCOMPARE(global::SeitenAnz, 5);
        QCOMPARE(doks->currentIndex(), 0);
        QVERIFY(!teil<QFrame>(b.get(), "FRDokument")->isHidden());

        doks->setCurrentIndex(2);
        QCOMPARE(global::AktDok, 3);
        QCOMPARE(global::SeitenAnz, 1); // the PDF, rasterised
        // A work file of its own: another program of the user never writes into it.
        QVERIFY(QFileInfo(global::Tempdatei).fileName().startsWith(QStringLiteral("dok-")));
        QVERIFY(global::Tempdatei.endsWith(QStringLiteral(".pdf")));
        QVERIFY(!QFileInfo::exists(global::Tempdatei));
        QCOMPARE(gezeigteSeite(b.get()), 1);
        QCOMPARE(teil<QLabel>(b.get(), "labseit")->text(), QStringLiteral("Seite 1 von 1"));

        // The current row chosen again does nothing.
        b->dokumentGewaehlt(2);
        QCOMPARE(global::SeitenAnz, 1);

        // Changed pages: the question comes first; No discards them.
        global::Geaendert = true;
        m_meldungen->antworte(common::Antwort::Nein);
        doks->setCurrentIndex(1);
        QCOMPARE(m_meldungen->texte(), QStringList{"Dokument wurde verändert speichern ?"});
        QCOMPARE(m_meldungen->meldungen().first().knoepfe, common::MeldungsKnoepfe::JaNein);
        QVERIFY(!global::Geaendert);
        QCOMPARE(global::AktDok, 2);
        QCOMPARE(global::SeitenAnz, 2);
        QCOMPARE(teil<QScrollBar>(b.get(), "Scroll1")->maximum(), 2);

        // Activation selects the current document's row without loading it.
        b->aktivieren();
        QCOMPARE(doks->currentIndex(), 1);
        QCOMPARE(m_meldungen->meldungen().size(), 1);
    }

    void ohneSeitenBleibtDieAnsicht()
    {
        auto b = oeffnen(QString(), m_fuenf);
        b->belegLaden(m_eine, false);
        QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->text(), QStringLiteral("T-1"));
        QCOMPARE(b->ansicht()->seiten().anzahl(), 5);
    }

    void pfeiltastenAnDenEnden()
    {
        auto b = oeffnen(QString(), m_fuenf);
        auto *image1 = teil<editor::Seitenansicht>(b.get(), "Image1");
        auto *scroll = teil<QScrollBar>(b.get(), "Scroll1");
        QTest::keyClick(image1, Qt::Key_Left);
        QCOMPARE(global::AktSeite, 1);
        scroll->setValue(5);
        QCOMPARE(global::AktSeite, 5);
        QCOMPARE(gezeigteSeite(b.get()), 5);
        QTest::keyClick(image1, Qt::Key_Right);
        QCOMPARE(global::AktSeite, 5);
        QTest::keyClick(image1, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(global::AktSeite, 4);
        QCOMPARE(gezeigteSeite(b.get()), 4);
        QCOMPARE(teil<QLabel>(b.get(), "labseit")->text(), QStringLiteral("Seite 4 von 5"));
        QCOMPARE(scroll->value(), 5); // the arrow keys leave the scroll bar
        // Other keys and scroll value 0 change nothing.
        QTest::keyClick(image1, Qt::Key_Down);
        b->scrollWert(0);
        QCOMPARE(global::AktSeite, 0);
    }

    void zoomUndFit()
    {
        auto b = oeffnen(QString(), m_fuenf);
        auto *image1 = b->ansicht();
        const QSize passend = image1->zielGroesse();
        QVERIFY(!passend.isEmpty());
        // Fit to height: the height is 97 % of the view's.
        QVERIFY(qAbs(passend.height() - image1->viewport()->height() * 0.97) <= 1); // rounded to whole pixels
        for (int i = 0; i < 3; ++i)
            b->werkzeugAktion(3)->trigger();
        QCOMPARE(global::ZoomWert, 3.375);
        QVERIFY(image1->zielGroesse().height() > 3 * passend.height());
        b->werkzeugAktion(5)->trigger();
        QCOMPARE(global::ZoomWert, 1.0);
        QCOMPARE(global::Zoomtype, QStringLiteral("B"));
        QVERIFY(b->werkzeugAktion(5)->isChecked());
        QVERIFY(!b->werkzeugAktion(6)->isChecked());
        QVERIFY(qAbs(image1->zielGroesse().width() - image1->viewport()->width() * 0.97) <= 1);
        // The setting is not changed; the next window starts from it.
        QVERIFY(app::einstellung(QStringLiteral("Allgemein"), QStringLiteral("Zoomtype")).isEmpty());

        // Panning at zoom 1 in fit-to-width: the divisor 3 applies vertically.
        QScrollBar *v = image1->verticalScrollBar();
        QVERIFY(v->maximum() > 0);
        image1->panBeginn(QPointF(100, 300));
        image1->panBewegung(QPointF(100, 270));
        const int erwartet = qMin(v->maximum(), int(std::lround(30.0 * (v->maximum() + 1) / (image1->height() / 3.0))));
        QCOMPARE(v->value(), erwartet);
        image1->panEnde();
        image1->panBewegung(QPointF(100, 0));
        QCOMPARE(v->value(), erwartet); // no pan without the move pointer
    }

    void ohneSeiteTutZoomenNichts()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        b->Zoomen(QStringLiteral("B"));
        QVERIFY(b->ansicht()->zielGroesse().isEmpty());
        auto *tab = teil<QTabWidget>(b.get(), "Tab1");
        tab->setCurrentIndex(2);
        for (const char *rahmen : {"FRBeleg", "FRDokument", "Fransicht"})
            QVERIFY2(teil<QFrame>(b.get(), rahmen)->isHidden(), rahmen);
        tab->setCurrentIndex(1);
        QVERIFY(!teil<QFrame>(b.get(), "FRBeleg")->isHidden());
    }

    void vorschauUndDoppelklick()
    {
        auto b = oeffnen(QString(), m_fuenf);
        auto *tab = teil<QTabWidget>(b.get(), "Tab1");
        tab->setCurrentIndex(2);
        editor::Vorschaurahmen *v = b->vorschau();
        QVERIFY(!v->isHidden());
        QVERIFY(teil<QFrame>(b.get(), "FRDokument")->isHidden());
        QCOMPARE(v->anzahl(), 5);
        const double dpi = b->logicalDpiX();
        // Zoomfaktor 1: 2500 × 3550 twips, the next one 100 twips to the right.
        QCOMPARE(v->bild(0)->width(), twipsZuPixel(2500, dpi));
        QCOMPARE(v->bild(0)->height(), twipsZuPixel(3550, dpi));
        QCOMPARE(v->bild(1)->x(), twipsZuPixel(200 + 2600, dpi));
        QCOMPARE(v->bild(1)->y(), v->bild(0)->y());
        QCOMPARE(v->text(2)->text(), QStringLiteral("Seite 3"));
        // Wrapping: the first thumbnail of a new row is at left(0), 3850 lower.
        for (int i = 1; i < v->anzahl(); ++i)
            if (v->bild(i)->x() == v->bild(0)->x()) {
                QCOMPARE(v->bild(i)->y(), v->bild(i - 1)->y() + twipsZuPixel(3850, dpi));
                QVERIFY(pixelZuTwips(v->bild(i - 1)->geometry().right(), dpi) + 100 + 2500 + 300 > pixelZuTwips(v->width(), dpi));
            }
        QCOMPARE(gezeigteSeite(b.get()), 1); // rebuilding keeps the page shown

        QTest::mouseDClick(v->bild(2), Qt::LeftButton);
        QCOMPARE(global::AktSeite, 3);
        QCOMPARE(teil<QScrollBar>(b.get(), "Scroll1")->value(), 3);
        QCOMPARE(gezeigteSeite(b.get()), 3);
        QVERIFY(v->isHidden());
        QVERIFY(!teil<QFrame>(b.get(), "FRDokument")->isHidden());
        QCOMPARE(tab->currentIndex(), 0); // the tab shown is the one highlighted: "Dokument"

        // A second rebuild reuses the elements and keeps page 3.
        b->tabGewechselt(QStringLiteral("vorschau"));
        b->tabGewechselt(QStringLiteral("vorschau"));
        QCOMPARE(v->elemente(), 5);
        QCOMPARE(gezeigteSeite(b.get()), 3);
    }

    void spinUeberlebtDasFenster()
    {
        {
            auto b = oeffnen(QString(), m_zwei);
            b->tabGewechselt(QStringLiteral("vorschau"));
            auto *auf = b->findChild<QToolButton *>(QStringLiteral("Spin1Auf"));
            auf->click();
            auf->click();
            QCOMPARE(global::Zoomfaktor, 1.05 * 1.05);
            QCOMPARE(b->vorschau()->bild(1)->width(), twipsZuPixel(2756.25, b->logicalDpiX()));
        }
        auto b = oeffnen(QString(), m_zwei);
        b->tabGewechselt(QStringLiteral("vorschau"));
        QCOMPARE(b->vorschau()->bild(0)->width(), twipsZuPixel(2756.25, b->logicalDpiX()));
        b->findChild<QToolButton *>(QStringLiteral("Spin1Ab"))->click();
        QCOMPARE(b->vorschau()->bild(0)->width(), twipsZuPixel(2625, b->logicalDpiX()));
    }

    void seiteVerschieben_data()
    {
        QTest::addColumn<int>("von");
        QTest::addColumn<int>("auf");
        QTest::addColumn<QList<int>>("folge");
        QTest::addColumn<bool>("geaendert");
        QTest::newRow("1 auf 3") << 0 << 2 << QList<int>{2, 3, 1, 4} << true;
        QTest::newRow("4 auf 2") << 3 << 1 << QList<int>{1, 4, 2, 3} << true;
        QTest::newRow("auf sich selbst") << 1 << 1 << QList<int>{1, 2, 3, 4} << false;
    }

    void seiteVerschieben()
    {
        QFETCH(int, von);
        QFETCH(int, auf);
        QFETCH(QList<int>, folge);
        QFETCH(bool, geaendert);
        auto b = oeffnen(QStringLiteral("bearbeiten"), m_vier);
        b->tabGewechselt(QStringLiteral("vorschau"));
        b->seiteVerschieben(von, auf);
        QCOMPARE(seitenfolge(b.get()), folge);
        QCOMPARE(global::Geaendert, geaendert);
        QCOMPARE(global::SeitenAnz, 4);
        QCOMPARE(global::AktSeite, 1);
        // The strip shows the new order.
        QCOMPARE(b->vorschau()->anzahl(), 4);
        QCOMPARE(imaging::TiffDatei::dekodieren(b->vorschau()->bild(auf)->seite()), b->ansicht()->seiten().seite(auf));
    }

    void nurPfeiltastenBlaettern_data()
    {
        QTest::addColumn<int>("taste");
        QTest::addColumn<int>("seite");
        QTest::newRow("cursor left") << int(Qt::Key_Left) << 2;
        QTest::newRow("cursor right") << int(Qt::Key_Right) << 4;
        // Their old numeric key codes are other keys in Qt.
        QTest::newRow("percent sign (0x25)") << int(Qt::Key_Percent) << 3;
        QTest::newRow("apostrophe (0x27)") << int(Qt::Key_Apostrophe) << 3;
        QTest::newRow("cursor down") << int(Qt::Key_Down) << 3;
    }
    void nurPfeiltastenBlaettern()
    {
        QFETCH(int, taste);
        QFETCH(int, seite);
        auto b = oeffnen(QString(), m_fuenf);
        teil<QScrollBar>(b.get(), "Scroll1")->setValue(3);
        QTest::keyClick(teil<editor::Seitenansicht>(b.get(), "Image1"), Qt::Key(taste));
        QCOMPARE(global::AktSeite, seite);
        QCOMPARE(gezeigteSeite(b.get()), seite);
    }

    void klickAufDenGewaehltenTab()
    {
        auto b = oeffnen(QString(), m_fuenf);
        auto *tab = teil<QTabWidget>(b.get(), "Tab1");
        QTabBar *leiste = tab->tabBar();
        QTest::mouseClick(leiste, Qt::LeftButton, {}, leiste->tabRect(2).center());
        editor::Vorschaurahmen *v = b->vorschau();
        QVERIFY(!v->isHidden());
        QTest::mouseDClick(v->bild(3), Qt::LeftButton);
        QVERIFY(v->isHidden());
        QCOMPARE(tab->currentIndex(), 0);
        // One click on "Vorschau" shows the strip again.
        QTest::mouseClick(leiste, Qt::LeftButton, {}, leiste->tabRect(2).center());
        QVERIFY(!v->isHidden());
        QVERIFY(teil<QFrame>(b.get(), "FRDokument")->isHidden());
        QCOMPARE(gezeigteSeite(b.get()), 4);
        // And a click on "Beleg" changes as before.
        QTest::mouseClick(leiste, Qt::LeftButton, {}, leiste->tabRect(1).center());
        QVERIFY(v->isHidden());
        QVERIFY(!teil<QFrame>(b.get(), "FRBeleg")->isHidden());
    }

    void dokumentWechselUnterAktivierung()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"), m_drei);
        auto *doks = teil<editor::Doksliste>(b.get(), "Doks");
        global::Geaendert = true;
        // The question's box closes and the editor becomes active again
        // before the other document is loaded.
        const common::MeldungsAnzeige vorher = common::setzeMeldungsAnzeige([&](const common::MeldungsAnfrage &) {
            QCoreApplication::postEvent(b.get(), new QEvent(QEvent::WindowActivate));
            return common::Antwort::Nein;
        });
        doks->setFocus();
        QTest::keyClick(doks, Qt::Key_Down);
        common::setzeMeldungsAnzeige(vorher);
        QCoreApplication::processEvents();
        QCOMPARE(global::AktDok, 2);
        QCOMPARE(doks->currentIndex(), 1);
        QCOMPARE(global::SeitenAnz, 2);
    }

    void spinHatGrenzen()
    {
        auto b = oeffnen(QString(), m_zwei);
        QTest::mouseClick(teil<QTabWidget>(b.get(), "Tab1")->tabBar(), Qt::LeftButton, {},
                          teil<QTabWidget>(b.get(), "Tab1")->tabBar()->tabRect(2).center());
        auto *auf = b->findChild<QToolButton *>(QStringLiteral("Spin1Auf"));
        for (int i = 0; i < 80; ++i)
            QTest::mouseClick(auf, Qt::LeftButton);
        QCOMPARE(global::Zoomfaktor, editor::MaxZoomfaktor);
        QCOMPARE(b->vorschau()->bild(0)->width(), twipsZuPixel(2500 * editor::MaxZoomfaktor, b->logicalDpiX()));
        global::Zoomfaktor = 1;
    }

    void layoutInTwips()
    {
        auto b = oeffnen(QString(), m_eine);
        const double dpi = b->logicalDpiX();
        auto px = [dpi](double l, double o, double w, double h) {
            return QRect(twipsZuPixel(l, dpi), twipsZuPixel(o, dpi), twipsZuPixel(w, dpi), twipsZuPixel(h, dpi));
        };
        b->resize(twipsZuPixel(12000, dpi), twipsZuPixel(9000, dpi));
        b->layoutAnwenden();
        QCOMPARE(pixelZuTwips(b->width(), dpi), 12000.0);
        QCOMPARE(teil<QTabWidget>(b.get(), "Tab1")->geometry(), px(50, 50, 11850, 8600));
        // The button column ends where designed (10550 + 1400 twips) and is
        // as wide as its widest caption needs, at least as designed; the
        // frames end 230 twips before it.
        int knopfLinks = twipsZuPixel(10550, dpi);
        for (const char *knopf : {"BUClose", "BUSpeich", "BUScan", "BUScandatabase"}) {
            auto *k = teil<QPushButton>(b.get(), knopf);
            QVERIFY(qAbs(k->geometry().right() + 1 - twipsZuPixel(10550 + 1400, dpi)) <= 1);
            QVERIFY2(k->width() >= k->sizeHint().width(), knopf);
            knopfLinks = qMin(knopfLinks, k->x());
        }
        const QRect rahmen = teil<QFrame>(b.get(), "FRBeleg")->geometry();
        QCOMPARE(rahmen.topLeft(), px(70, 410, 0, 0).topLeft());
        QCOMPARE(rahmen.height(), px(0, 0, 0, 8200).height());
        QVERIFY(qAbs(knopfLinks - rahmen.right() - 1 - twipsZuPixel(230, dpi)) <= 1);
        for (const char *name : {"FRDokument", "Fransicht"})
            QCOMPARE(teil<QFrame>(b.get(), name)->geometry(), rahmen);
        auto *image1 = teil<editor::Seitenansicht>(b.get(), "Image1");
        QCOMPARE(image1->mapTo(b.get(), QPoint(0, 0)), px(120, 860, 0, 0).topLeft());
        QVERIFY(qAbs(image1->width() - (rahmen.width() - twipsZuPixel(150, dpi))) <= 1);
        QCOMPARE(image1->height(), px(0, 0, 0, 7100).height());
        // Spin1 and the bin where the window's layout rule puts them.
        const double rahmenTwips = pixelZuTwips(rahmen.width(), dpi);
        QVERIFY(qAbs(teil<QWidget>(b.get(), "Spin1")->x() - twipsZuPixel(rahmenTwips - 600, dpi)) <= 1);
        QVERIFY(qAbs(teil<QWidget>(b.get(), "PicMuell")->x() - twipsZuPixel(rahmenTwips - 610, dpi)) <= 1);
        QVERIFY(teil<QFrame>(b.get(), "FRBeleg")->frameShape() == QFrame::NoFrame);

        // Too small: the last valid sizes stay.
        b->resize(60, 60);
        b->layoutAnwenden();
        QCOMPARE(teil<QTabWidget>(b.get(), "Tab1")->geometry(), px(50, 50, 11850, 8600));
        QCOMPARE(image1->size().height(), px(0, 0, 0, 7100).height());
        QCOMPARE(teil<QFrame>(b.get(), "FRBeleg")->geometry(), rahmen);
    }

    void fensterplatzWirdGespeichert()
    {
        {
            auto b = oeffnen(QStringLiteral("bearbeiten"));
            b->resize(900, 700);
            global::Geaendert = true;
            m_meldungen->antworte(common::Antwort::Nein);
            QTest::mouseClick(teil<QPushButton>(b.get(), "BUClose"), Qt::LeftButton);
            QCOMPARE(m_meldungen->texte(), QStringList{"Dokument wurde verändert speichern ?"});
            QVERIFY(!global::Geaendert); // No drops the changes
            QVERIFY(b->isHidden());
            const QStringList teile = app::einstellung(QStringLiteral("Bild"), QStringLiteral("size")).split(u'|');
            QCOMPARE(teile.size(), 4);
            QCOMPARE(teile.mid(2), QStringList({"900", "700"}));
        }
        // The next window takes the size; a broken value is ignored.
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        QCOMPARE(b->size(), QSize(900, 700));
        app::setzeEinstellung(QStringLiteral("Bild"), QStringLiteral("size"), QStringLiteral("10|x"));
        auto c = oeffnen(QStringLiteral("bearbeiten"));
        QVERIFY(c->width() > 0);
        // The close box asks the same question once.
        global::Geaendert = true;
        m_meldungen->antworte(common::Antwort::Nein);
        c->close();
        QCOMPARE(m_meldungen->meldungen().size(), 2);
    }

    void modalUeberDemHauptfenster()
    {
        // Shown modally: other windows cannot be used until it closes.
        QWidget haupt;
        haupt.show();
        DialogFahrer fahrer;
        bool modal = false;
        QString belnr;
        fahrer.bei(QStringLiteral("bild"), [&](QDialog *d) {
            modal = d->isModal() && QApplication::activeModalWidget() == d;
            belnr = d->findChild<QLineEdit *>(QStringLiteral("Belnr"))->text();
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        global::Modus = QStringLiteral("click");
        editor::Bild::zeigen(&haupt, QStringLiteral("1"), m_zwei);
        QVERIFY(modal);
        QCOMPARE(belnr, QStringLiteral("T-2"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void eigenschaftenEinesNeuenBelegs()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        typWaehlen(b.get(), QStringLiteral("ER"));
        // Nine of its own and seven an e-invoice fills in.
        QCOMPARE(global::EigenAnz, 16);
        // Supplier (2): text with lookup, on a new Beleg yellow and enabled.
        QCOMPARE(global::EigenId[1], 2);
        QCOMPARE(global::EigenTyp[1], QStringLiteral("T"));
        auto *lief = zeile<QLineEdit>(b.get(), "EigenTxt", 1);
        QVERIFY(lief->isEnabled() && !lief->isHidden());
        QCOMPARE(lief->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0x00));
        QVERIFY(!zeile<QToolButton>(b.get(), "EigenSuch", 1)->isHidden());
        QCOMPARE(zeile<QLabel>(b.get(), "EigenBez", 1)->text(), QStringLiteral("Lieferant :"));
        // Employee (3): a choice list of the company's employees, two columns.
        QCOMPARE(global::EigenId[4], 3);
        QCOMPARE(global::EigenTyp[4], QStringLiteral("C"));
        auto *mitarb = zeile<QComboBox>(b.get(), "EigenCombo", 4);
        QCOMPARE(mitarb->count(), 12);
        QCOMPARE(mitarb->model()->columnCount(), 2);
        QCOMPARE(mitarb->itemText(0), QStringLiteral("MA01"));
        // Free values (22): an empty entry first, then the values used.
        auto *zahlung = zeile<QComboBox>(b.get(), "EigenCombo", 7);
        QCOMPARE(global::EigenId[7], 22);
        QVERIFY(zahlung->count() > 1);
        QVERIFY(zahlung->itemText(0).isEmpty());
        // Rows lie 400 twips apart.
        const double dpi = b->logicalDpiX();
        QCOMPARE(zeile<QLineEdit>(b.get(), "EigenTxt", 9)->y() - lief->y(), twipsZuPixel(1150 + 3600, dpi) - twipsZuPixel(1150 + 400, dpi));

        // A type without a lookup row hides the rows of the last type.
        typWaehlen(b.get(), QStringLiteral("KA"));
        QCOMPARE(global::EigenAnz, 4);
        QVERIFY(zeile<QLineEdit>(b.get(), "EigenTxt", 9)->isHidden());
        QVERIFY(zeile<QComboBox>(b.get(), "EigenCombo", 7)->isHidden());
        QCOMPARE(zeile<QComboBox>(b.get(), "EigenCombo", 1)->count(), 3); // Kasse 1 to 3
    }

    void verborgeneEigenschaftBelegtEineZeile()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        typWaehlen(b.get(), QStringLiteral("VE")); // 1, 2, 26, 11 (not shown), 5
        QCOMPARE(global::EigenAnz, 5);
        QCOMPARE(global::EigenId[4], 0);
        QVERIFY(global::EigenTyp[4].isEmpty());
        QVERIFY(zeile<QLabel>(b.get(), "EigenBez", 4)->isHidden());
        QCOMPARE(global::EigenId[5], 5);
        const double dpi = b->logicalDpiX();
        QCOMPARE(zeile<QLineEdit>(b.get(), "EigenTxt", 5)->y(), twipsZuPixel(1150 + 400 * 5, dpi));
    }

    void gespeicherterBeleg()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"), m_werte);
        // Supplier: new only, so white and disabled once stored, no lookup.
        auto *lief = zeile<QLineEdit>(b.get(), "EigenTxt", 1);
        QVERIFY(!lief->isEnabled());
        QCOMPARE(lief->palette().color(QPalette::Base), QColor(0xFF, 0xFF, 0xFF));
        QVERIFY(zeile<QToolButton>(b.get(), "EigenSuch", 1)->isHidden());
        QCOMPARE(lief->text(), QStringLiteral("70003 "));
        // Three text values joined, each followed by a blank; the last choice wins.
        QCOMPARE(b->eigenWert(9), QStringLiteral("eins zwei drei "));
        QCOMPARE(global::EigenTyp[7], QStringLiteral("C"));
        QCOMPARE(b->eigenWert(7), QStringLiteral("Karte"));
        QVERIFY(zeile<QComboBox>(b.get(), "EigenCombo", 7)->findText(QStringLiteral("Bar")) >= 0);

        // The type of a stored Beleg stays.
        typWaehlen(b.get(), QStringLiteral("AR"));
        QCOMPARE(m_meldungen->texte(), QStringList{"Kann nicht geändert werden"});
        QCOMPARE(teil<QComboBox>(b.get(), "Belart")->currentData().toString(), QStringLiteral("ER"));
        QCOMPARE(global::AktBelart, QStringLiteral("ER"));
        QCOMPARE(b->eigenWert(9), QStringLiteral("eins zwei drei "));
    }

    void ansichtZeigtNurTextfelder()
    {
        auto b = oeffnen(QString(), m_werte);
        for (int i = 1; i <= global::EigenAnz; ++i) {
            QVERIFY(zeile<QComboBox>(b.get(), "EigenCombo", i)->isHidden());
            if (global::EigenId[size_t(i)] > 0) {
                QCOMPARE(global::EigenTyp[size_t(i)], QStringLiteral("T"));
                QVERIFY(!zeile<QLineEdit>(b.get(), "EigenTxt", i)->isEnabled());
            }
        }
        QCOMPARE(b->eigenWert(7), QStringLiteral("Bar Karte "));
    }

    void suchknopfUebernimmtNurGewaehltes()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        typWaehlen(b.get(), QStringLiteral("ER"));
        auto *feld = zeile<QLineEdit>(b.get(), "EigenTxt", 1);
        QTest::keyClicks(feld, QStringLiteral("70017"));
        // A value from an earlier lookup must not land in the field when
        // the lookup is closed without a pick.
        global::SuchWert = QStringLiteral("10001");
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("SuLief"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        QTest::mouseClick(zeile<QToolButton>(b.get(), "EigenSuch", 1), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen().join(u','), QStringLiteral("SuLief"));
        QCOMPARE(feld->text(), QStringLiteral("70017"));

        // A picked row's key does.
        fahrer.bei(QStringLiteral("SuLief"), [](QDialog *d) {
            DialogFahrer::tippen(d, QStringLiteral("PLkbez"), QStringLiteral("*"));
            DialogFahrer::klicken(d, QStringLiteral("Busuch"));
            auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("liste"));
            QVERIFY(liste->topLevelItemCount() > 0);
            liste->setCurrentItem(liste->topLevelItem(0));
            QTest::keyClick(liste, Qt::Key_Return);
        });
        QTest::mouseClick(zeile<QToolButton>(b.get(), "EigenSuch", 1), Qt::LeftButton);
        QVERIFY(!global::SuchWert.isEmpty());
        QVERIFY(global::SuchWert != QLatin1String("10001"));
        QCOMPARE(feld->text(), global::SuchWert);
    }

    void nummernauswahlLaedtDenBeleg()
    {
        auto b = oeffnen(QStringLiteral("bearbeiten"));
        lookup::SuBelnr liste([&](const QString &id) { b->belegLaden(id, true); }, b.get());
        QCOMPARE(liste.windowTitle(), QStringLiteral("Datum"));
        liste.hinzufuegen(QStringLiteral("2026-12-01"), m_eine);
        liste.hinzufuegen(QStringLiteral("2026-12-01"), m_vier);
        liste.waehlen(); // nothing selected: nothing happens
        QVERIFY(global::DokId.isEmpty());
        liste.beleg()->setCurrentItem(liste.beleg()->topLevelItem(1));
        liste.waehlen();
        QCOMPARE(global::DokId, m_vier);
        QCOMPARE(global::AktDok, 1);
        QCOMPARE(global::SeitenAnz, 4);
        QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->text(), QStringLiteral("T-4"));
        QCOMPARE(liste.result(), int(QDialog::Accepted));
        QVERIFY(liste.beleg()->isEnabled());
    }

    void kaputtesDokumentLaesstDenBelegOffen()
    {
        // The file breaks off in the middle of the first page.
        QByteArray kaputt = Belegbau::tiff(3);
        kaputt.truncate(kaputt.size() / 2);
        Belegbau bau(*m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("T-K"),
                                       {{"tif", "kaputt", kaputt}, {"tif", "heil", Belegbau::tiff(2)}}, {{5, "noch da"}});
        auto b = oeffnen(QStringLiteral("bearbeiten"), id);
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY(m_meldungen->texte().first().startsWith(QStringLiteral("Das Dokument kann nicht angezeigt werden.")));
        QCOMPARE(m_meldungen->meldungen().first().symbol, common::MeldungsSymbol::Ausruf);
        QCOMPARE(global::SeitenAnz, 0);
        QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->text(), QStringLiteral("T-K"));
        QCOMPARE(b->eigenWert(9), QStringLiteral("noch da "));
        teil<editor::Doksliste>(b.get(), "Doks")->setCurrentIndex(1);
        QCOMPARE(global::SeitenAnz, 2);
    }

    void unbekannteIdMeldetSich()
    {
        auto b = oeffnen(QString());
        QVERIFY_THROWS_EXCEPTION(server::ServerFehler, b->belegLaden(QStringLiteral("99999999999"), true));
        // Opened as the result window does it: a message, and the busy
        // pointer is gone with the failed handler.
        QVERIFY(!app::ereignis([] { editor::Bild::zeigen(nullptr, QStringLiteral("1"), QStringLiteral("99999999999")); }));
        QCOMPARE(m_meldungen->texte().size(), 1);
        QVERIFY(m_meldungen->texte().first().contains(QStringLiteral("99999999999")));
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestBild)
#include "tst_bild.moc"
