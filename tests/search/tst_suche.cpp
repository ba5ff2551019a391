#include "app/Einstellungen.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "editor/Bild.h"
#include "search/Archiv.h"
#include "search/Ergebnis.h"
#include "search/TrefferModell.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

using namespace archiv;
using archiv::test::DialogFahrer;

// The main window's search against the demo archive: types, property rows,
// the buttons and their limits, and the result window with its tree.
class TestSuche : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::unique_ptr<search::Archiv> m_archiv;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;

    QTreeWidget *belart() { return m_archiv->findChild<QTreeWidget *>(QStringLiteral("Belart")); }
    void typ(const QString &name, bool an)
    {
        const auto items = belart()->findItems(name, Qt::MatchExactly);
        QVERIFY2(!items.isEmpty(), qPrintable(name));
        items.first()->setCheckState(0, an ? Qt::Checked : Qt::Unchecked);
    }
    template<typename T>
    QList<T *> zeile(const char *name)
    {
        QList<T *> sichtbar;
        for (T *w : m_archiv->findChildren<T *>(QLatin1String(name)))
            if (w->property("index").toInt() > 0 && !w->isHidden())
                sichtbar << w;
        std::sort(sichtbar.begin(), sichtbar.end(), [](T *a, T *b) { return a->property("index").toInt() < b->property("index").toInt(); });
        return sichtbar;
    }
    QPushButton *knopf(const char *name) { return m_archiv->findChild<QPushButton *>(QLatin1String(name)); }
    QLineEdit *feld(const char *name) { return m_archiv->findChild<QLineEdit *>(QLatin1String(name)); }
    QComboBox *firma() { return m_archiv->findChild<QComboBox *>(QStringLiteral("Firma")); }
    void klicken(QPushButton *k) { QTest::mouseClick(k, Qt::LeftButton); }
    // A click into a cell of the result list, handled after the list's own
    // event as the window does.
    void zelleKlicken(int zeile, int spalte)
    {
        QTreeView *l = m_archiv->ergebnis()->liste();
        const QRect r = l->visualRect(l->model()->index(zeile, spalte));
        QVERIFY(r.isValid());
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
    }
    int zeileMitNummer(const QString &belnr)
    {
        const search::TrefferModell *m = m_archiv->ergebnis()->modell();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->index(r, 1).data().toString() == belnr)
                return r;
        return -1;
    }
    void nummernSuchen(const QString &typName, const QString &nummern)
    {
        typ(typName, true);
        feld("Belnr")->setText(nummern);
        klicken(knopf("Busuch"));
    }

    // Belege of this test's own (company 01, numbers 8800xx): a Beleg with
    // three versions of 1, 2 and 3 pages that refers to a delivery note
    // without a document and is referred to by one with a document, a
    // cancelled one and a PDF one.
    QString m_dreiVersionen, m_ohneDokument, m_mitDokument, m_storniert, m_pdf;
    void eigeneBelege()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        test::Belegbau bau(v);
        m_dreiVersionen = bau.anlegen(QStringLiteral("ER"), QStringLiteral("880001"),
                                      {{"tif", "erste", test::Belegbau::tiff(1), "2026-01-01"},
                                       {"tif", "zweite", test::Belegbau::tiff(2), "2026-01-02"},
                                       {"tif", "neueste", test::Belegbau::tiff(3), "2026-01-03"}},
                                      {{8, "880002"}});
        m_ohneDokument = bau.anlegen(QStringLiteral("LS"), QStringLiteral("880002"), {});
        m_mitDokument = bau.anlegen(QStringLiteral("LS"), QStringLiteral("880003"), {{"tif", "", test::Belegbau::tiff(2)}},
                                    {{10, "880001"}});
        m_storniert = bau.anlegen(QStringLiteral("ER"), QStringLiteral("880004"), {{"tif", "", test::Belegbau::tiff(1)}});
        server::Objekt s = v.OpenId(QStringLiteral("AR.Dokumente"), m_storniert);
        s.set(QStringLiteral("storno"), QStringLiteral("J"));
        QCOMPARE(s.SYS_Save(), 1);
        m_pdf = bau.anlegen(QStringLiteral("ER"), QStringLiteral("880005"), {{"pdf", "", QByteArray("%PDF-1.4\n%%EOF\n")}});
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        test::zuruecksetzen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 300);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        eigeneBelege();
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), QString::number(m_server->port()));
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        m_archiv = std::make_unique<search::Archiv>();
        QVERIFY(m_archiv->laden());
        new QAbstractItemModelTester(m_archiv->ergebnis()->modell(), QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     m_archiv->ergebnis());
    }

    // Every case starts from the window as a user finds it after start:
    // company 01, nothing ticked, no criteria, no messages.
    void init()
    {
        if (firma()->currentIndex() != 0)
            firma()->setCurrentIndex(0);
        klicken(knopf("BULOE"));
        for (const char *f : {"Belnr", "Datvon", "Datbis"})
            feld(f)->clear();
        for (QComboBox *c : m_archiv->findChildren<QComboBox *>(QStringLiteral("EigenCombo")))
            c->setCurrentIndex(-1);
        for (QLineEdit *t : m_archiv->findChildren<QLineEdit *>(QStringLiteral("EigenTxt")))
            t->clear();
        // The old recorder goes first: it restores the display it found.
        m_meldungen.reset();
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void typenDerFirma()
    {
        QCOMPARE(belart()->topLevelItemCount(), 10);
        QCOMPARE(belart()->headerItem()->text(0), QStringLiteral("Belegart"));
        const auto er = belart()->findItems(QStringLiteral("Eingangsrechnung"), Qt::MatchExactly);
        QCOMPARE(er.first()->data(0, Qt::UserRole).toString(), QStringLiteral("ER,ER,J"));
        QVERIFY(zeile<QLabel>("EigenBez").isEmpty()); // no type marked: no rows
        QVERIFY(m_archiv->findChild<QTabBar *>(QStringLiteral("TabStrip1"))->isHidden());
    }

    void eigenschaftsZeilen()
    {
        typ(QStringLiteral("Eingangsrechnung"), true);
        // Supplier (lookup), delivery note, order, payment, cost centre, remark;
        // employee, department and profit centre go to the tab lists.
        const auto bez = zeile<QLabel>("EigenBez");
        QStringList texte;
        for (QLabel *l : bez)
            texte << l->text();
        // Then what an e-invoice brings.
        QCOMPARE(texte, QStringList({"Lieferant :", "Lieferschein :", "Bestellung :", "Zahlungsart :", "Kostenstelle :", "Bemerkung :",
                                     "Rg.-Nr. Lieferant :", "Bruttobetrag :", "Nettobetrag :", "Umsatzsteuer :", "Währung :", "Fällig am :",
                                     "Leitweg-ID :"}));
        QCOMPARE(zeile<QToolButton>("EigenSuch").size(), 1);
        QCOMPARE(zeile<QComboBox>("EigenCombo").size(), 2);
        QCOMPARE(global::SuchTyp[1], QStringLiteral("S"));
        QCOMPARE(global::SuchTyp[4], QStringLiteral("C"));
        QCOMPARE(global::EigenId[4], 22);
        // Row i is 400 twips below row i - 1, the first at the template's place.
        QCOMPARE(bez.at(0)->y(), 0);
        QCOMPARE(bez.at(3)->y(), common::twipsZuPixel(3 * 400, m_archiv->logicalDpiY()));
        // The free-value choice lists start with an empty entry.
        QComboBox *zahlungsart = zeile<QComboBox>("EigenCombo").first();
        QCOMPARE(zahlungsart->itemText(0), QString());
        QVERIFY(zahlungsart->findText(QStringLiteral("Bar")) > 0);
        QVERIFY(!m_archiv->findChild<QTabBar *>(QStringLiteral("TabStrip1"))->isHidden());
        QVERIFY(m_archiv->findChild<QTreeWidget *>(QStringLiteral("LIPers"))->topLevelItemCount() == 12);
        typ(QStringLiteral("Eingangsrechnung"), false);
        QVERIFY(zeile<QLabel>("EigenBez").isEmpty());
        // Rows are reused, not created again.
        typ(QStringLiteral("Eingangsrechnung"), true);
        QCOMPARE(m_archiv->eigenschaftsZeilen(), 13);
    }

    void auswahllistenWerdenNeuGefuellt()
    {
        // The cash-desk row (code 7) is row 1 of "Kassenbeleg".
        typ(QStringLiteral("Kassenbeleg"), true);
        QComboBox *kasse = zeile<QComboBox>("EigenCombo").first();
        QCOMPARE(global::EigenId[1], 7);
        const int kassen = kasse->count();
        QVERIFY(kassen > 0);
        for (int i = 0; i < 3; ++i) {
            typ(QStringLiteral("Kassenbeleg"), false);
            typ(QStringLiteral("Kassenbeleg"), true);
        }
        QCOMPARE(zeile<QComboBox>("EigenCombo").first()->count(), kassen);
        // The rows reused for another type: row 1 (the cash desk) becomes a
        // text row, row 2 (payment) the project choice, whose list holds the
        // projects and nothing of what the row showed before.
        typ(QStringLiteral("Kassenbeleg"), false);
        typ(QStringLiteral("Bestellung"), true);
        QCOMPARE(global::EigenId[1], 2);
        QCOMPARE(global::SuchTyp[1], QStringLiteral("S"));
        QCOMPARE(global::EigenId[2], 26);
        const QList<QComboBox *> listen = zeile<QComboBox>("EigenCombo");
        QCOMPARE(listen.size(), 1);
        QCOMPARE(listen.first()->property("index").toInt(), 2);
        QStringList erwartet{QString()};
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("Inhalte"));
        rs.Execute(QStringList{QStringLiteral("1"), QStringLiteral("26")});
        while (rs.Next())
            erwartet << rs.GetData(1);
        QVERIFY(erwartet.size() > 1);
        QStringList gezeigt;
        for (int i = 0; i < listen.first()->count(); ++i)
            gezeigt << listen.first()->itemText(i);
        QCOMPARE(gezeigt, erwartet);
    }

    void suchknopfOhneWahlLaesstDasFeld()
    {
        // The supplier lookup of row 1: a picked supplier goes into the
        // field; closed without a pick, the field keeps what the user typed.
        typ(QStringLiteral("Eingangsrechnung"), true);
        QToolButton *suche = zeile<QToolButton>("EigenSuch").first();
        QLineEdit *feld = zeile<QLineEdit>("EigenTxt").first();
        DialogFahrer fahrer;
        QString erste;
        fahrer.bei(QStringLiteral("SuLief"), [&erste](QDialog *d) {
            DialogFahrer::klicken(d, QStringLiteral("Busuch"));
            auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("liste"));
            QVERIFY(liste->topLevelItemCount() > 0);
            erste = liste->topLevelItem(0)->text(0);
            const QRect r = liste->visualItemRect(liste->topLevelItem(0));
            QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, r.center());
            QTest::mouseDClick(liste->viewport(), Qt::LeftButton, {}, r.center());
        });
        QTest::mouseClick(suche, Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList{"SuLief"});
        QVERIFY(!feld->text().isEmpty());
        QCOMPARE(feld->text().toLongLong(), erste.toLongLong()); // shown 000042, handed back 42
        const QString gewaehlt = global::SuchWert;
        feld->setText(QStringLiteral("70999"));
        fahrer.bei(QStringLiteral("SuLief"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        QTest::mouseClick(suche, Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList({"SuLief", "SuLief"}));
        QCOMPARE(feld->text(), QStringLiteral("70999"));
        QCOMPARE(global::SuchWert, gewaehlt);
    }

    void suchenUndGrenzen()
    {
        typ(QStringLiteral("Eingangsrechnung"), true);
        klicken(knopf("Busuch"));
        search::Ergebnis *e = m_archiv->ergebnis();
        const int treffer = e->modell()->rowCount();
        QVERIFY(treffer > 0 && treffer < 500);
        QCOMPARE(knopf("BUPlus")->text(), QStringLiteral("++  %1").arg(treffer));
        QVERIFY(!knopf("BUPlus")->isEnabled());
        QCOMPARE(global::MaxTreffer, 500);
        for (int r = 0; r < treffer; ++r)
            QCOMPARE(e->modell()->index(r, 0).data().toString(), QStringLiteral("ER"));
        // Newest first by the date column.
        QVERIFY(e->modell()->index(0, 2).data().toString() >= e->modell()->index(treffer - 1, 2).data().toString());

        // A value in a row narrows the search.
        zeile<QComboBox>("EigenCombo").first()->setCurrentText(QStringLiteral("Bar"));
        klicken(knopf("Busuch"));
        const int bar = e->modell()->rowCount();
        QVERIFY(bar > 0 && bar < treffer);

        // Rows hidden by a later type selection are not sent: the choice
        // made above no longer narrows a search that does not show it.
        klicken(knopf("BULOE"));
        klicken(knopf("BUAlle"));
        const int alle = e->modell()->rowCount();
        QVERIFY(alle > treffer);
        QCOMPARE(global::MaxTreffer, 50000);
        QVERIFY(!knopf("BUPlus")->isEnabled());
        // Another type without the payment kind: its Belege, not none.
        typ(QStringLiteral("Lieferschein"), true);
        klicken(knopf("Busuch"));
        QVERIFY(e->modell()->rowCount() > 0);
        for (int r = 0; r < e->modell()->rowCount(); ++r)
            QCOMPARE(e->modell()->index(r, 0).data().toString(), QStringLiteral("LS"));
        klicken(knopf("BULOE"));
        // Fewer hits than "Alle" allows: "++" is disabled and a click does nothing.
        klicken(knopf("BUAlle"));
        klicken(knopf("BUPlus"));
        QCOMPARE(global::MaxTreffer, 50000);
        // The chain of the demo: invoices 19000 to 19039.
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("19*"));
        QCOMPARE(e->modell()->rowCount(), 40);
    }

    void ungueltigesDatum_data()
    {
        QTest::addColumn<QString>("feldName");
        QTest::addColumn<QString>("datum");
        QTest::newRow("31 February") << "Datvon"
                                     << "31.02.2026";
        QTest::newRow("month 13") << "Datbis"
                                  << "01.13.2026";
        QTest::newRow("incomplete") << "Datvon"
                                    << "12.2026";
        QTest::newRow("letters") << "Datbis"
                                 << "morgen";
    }
    void ungueltigesDatum()
    {
        QFETCH(QString, feldName);
        QFETCH(QString, datum);
        QLineEdit *f = feld(qPrintable(feldName));
        QTest::keyClicks(f, datum);
        global::Trefferzahl = -1;
        klicken(knopf("Busuch"));
        // Refused, not searched without the date.
        QCOMPARE(m_meldungen->texte(), QStringList{QStringLiteral("Ungültiges Datum: ") + datum});
        QCOMPARE(m_meldungen->meldungen().first().symbol, common::MeldungsSymbol::Ausruf);
        QCOMPARE(m_meldungen->meldungen().first().titel, QStringLiteral("Tessam  Archivsystem"));
        QCOMPARE(global::Trefferzahl, -1);
        QCOMPARE(m_archiv->focusWidget(), f);
        // A readable date searches.
        f->setText(QStringLiteral("28.02.2026"));
        klicken(knopf("Busuch"));
        QVERIFY(global::Trefferzahl >= 0);
        QCOMPARE(m_meldungen->texte().size(), 1);
    }

    void plusBeiGenauDerGrenze()
    {
        // 500 letters of one number range in company 07, so that the other
        // cases (company 01) do not see them: exactly the limit keeps "++"
        // usable, one fewer disables it.
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        // Belege of company 07 are written by one of its users.
        QVERIFY(m_server->anmelden(QStringLiteral("7")));
        for (int n = 1; n <= 500; ++n) {
            server::Objekt d = v.New(QStringLiteral("AR.Dokumente"));
            d.set(QStringLiteral("Firma"), QStringLiteral("7"));
            d.setRef(QStringLiteral("IdBelart"), QStringLiteral("7||KO"));
            d.set(QStringLiteral("Belnr"), QString::number(900000 + n));
            d.set(QStringLiteral("Datum"), QStringLiteral("2026-01-05"));
            d.set(QStringLiteral("picsw"), QStringLiteral("0"));
            QCOMPARE(d.SYS_Save(), 1);
        }
        QVERIFY(m_server->anmelden());
        firma()->setCurrentIndex(1);
        feld("Belnr")->setText(QStringLiteral("900001-900500"));
        klicken(knopf("Busuch"));
        QCOMPARE(global::Trefferzahl, 500);
        QVERIFY(knopf("BUPlus")->isEnabled());
        QCOMPARE(knopf("BUPlus")->text(), QStringLiteral("++  500"));
        klicken(knopf("BUPlus"));
        QCOMPARE(global::MaxTreffer, 1000);
        QVERIFY(!knopf("BUPlus")->isEnabled());
        feld("Belnr")->setText(QStringLiteral("900001-900499"));
        klicken(knopf("Busuch"));
        QCOMPARE(global::Trefferzahl, 499);
        QVERIFY(!knopf("BUPlus")->isEnabled());
    }

    void bearbeitenNachFirmenwechsel()
    {
        // The hits of company 01 stay in the result window while the user
        // switches to company 07: "Bearbeiten" still edits the Beleg as a
        // Beleg of company 01, and its save keeps it there.
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const QString id = test::Belegbau(v).anlegen(QStringLiteral("ER"), QStringLiteral("880010"), {{"tif", "", test::Belegbau::tiff(1)}});
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("880010"));
        const int r = zeileMitNummer(QStringLiteral("880010"));
        QVERIFY(r >= 0);
        zelleKlicken(r, 1);
        QTRY_COMPARE(global::ErgZeile, r);
        firma()->setCurrentIndex(1);
        global::Anmeldung = QStringLiteral("MA01");
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("bild"), [](QDialog *d) {
            auto *b = qobject_cast<editor::Bild *>(d);
            QVERIFY(b);
            QCOMPARE(b->findChild<QComboBox *>(QStringLiteral("Belart"))->currentData().toString(), QStringLiteral("ER"));
            QVERIFY(b->speichernMit({false, QStringLiteral("nach dem Wechsel"), false}));
            d->close();
        });
        m_archiv->ergebnis()->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList{"bild"});
        server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.get(QStringLiteral("Firma")), QStringLiteral("1"));
        QCOMPARE(beleg.refId(QStringLiteral("IDBelart")), QStringLiteral("1||ER"));
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(1).get(QStringLiteral("doktext")), QStringLiteral("nach dem Wechsel"));
        global::Anmeldung.clear();
    }

    void wwsTypen()
    {
        klicken(knopf("BUWWS"));
        QStringList an;
        for (int i = 0; i < belart()->topLevelItemCount(); ++i)
            if (belart()->topLevelItem(i)->checkState(0) == Qt::Checked)
                an << belart()->topLevelItem(i)->data(0, Qt::UserRole).toString().section(u',', 0, 0);
        an.sort();
        QCOMPARE(an, QStringList({"AR", "BE", "ER", "GU", "LS", "RK"}));
    }

    void baumDerVerknuepfungen()
    {
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("880001"));
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 1);
        zelleKlicken(0, 1);
        QTreeWidget *baum = e->baum();
        QTRY_COMPARE(baum->topLevelItemCount(), 1);
        QTreeWidgetItem *wurzel = baum->topLevelItem(0);
        QVERIFY(wurzel->text(0).startsWith(QStringLiteral("ER880001  2026-12-01")));
        // The delivery note it names (no document) and the one that names it.
        QCOMPARE(wurzel->childCount(), 2);
        QCOMPARE(global::KnotenDokId, QStringList({m_dreiVersionen, m_ohneDokument, m_mitDokument}));
        QTreeWidgetItem *ohne = wurzel->child(0);
        QTreeWidgetItem *mit = wurzel->child(1);
        QVERIFY(ohne->text(0).startsWith(QStringLiteral("LS880002")));
        QVERIFY(mit->text(0).startsWith(QStringLiteral("LS880003")));

        QSignalSpy oeffnen(e, &search::Ergebnis::oeffnen);
        DialogFahrer fahrer;
        QString belnr;
        fahrer.bei(QStringLiteral("bild"), [&](QDialog *d) {
            belnr = d->findChild<QLineEdit *>(QStringLiteral("Belnr"))->text();
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        QWidget *flaeche = baum->viewport();
        const auto pfeil = [&](QTreeWidgetItem *item) {
            const QRect r = baum->visualItemRect(item);
            return QPoint(r.left() - baum->indentation() / 2, r.center().y());
        };
        // Collapsing and expanding with the branch arrow opens nothing ...
        QTest::mouseClick(flaeche, Qt::LeftButton, {}, pfeil(wurzel));
        QVERIFY(!wurzel->isExpanded());
        QTest::mouseClick(flaeche, Qt::LeftButton, {}, pfeil(wurzel));
        QVERIFY(wurzel->isExpanded());
        QCOMPARE(oeffnen.count(), 0);
        // ... and the next real click on a node opens its newest document.
        QTest::mouseClick(flaeche, Qt::LeftButton, {}, baum->visualItemRect(mit).center());
        QCOMPARE(oeffnen.count(), 1);
        QCOMPARE(oeffnen.last().first().toString(), m_mitDokument);
        QCOMPARE(fahrer.gesehen(), QStringList{"bild"});
        QCOMPARE(belnr, QStringLiteral("880003"));
        // A node without a document says so; the right button does nothing.
        QTest::mouseClick(flaeche, Qt::LeftButton, {}, baum->visualItemRect(ohne).center());
        QCOMPARE(m_meldungen->texte(), QStringList{"Kein Bilddokument vorhanden"});
        QTest::mouseClick(flaeche, Qt::RightButton, {}, baum->visualItemRect(mit).center());
        QCOMPARE(oeffnen.count(), 2);
        QCOMPARE(fahrer.gesehen(), QStringList{"bild"});
        // Expanding from the keyboard swallows nothing either.
        baum->setFocus();
        baum->setCurrentItem(wurzel);
        QTest::keyClick(baum, Qt::Key_Left);
        QTest::keyClick(baum, Qt::Key_Right);
        QVERIFY(wurzel->isExpanded());
        fahrer.bei(QStringLiteral("bild"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        QTest::mouseClick(flaeche, Qt::LeftButton, {}, baum->visualItemRect(mit).center());
        QCOMPARE(oeffnen.count(), 3);
        QCOMPARE(fahrer.anzahl(QStringLiteral("bild")), 2);
    }

    void baumMitLangerKette()
    {
        // The demo chain of 40 invoices nests deep: the tree scrolls sideways.
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("19001"));
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 1);
        zelleKlicken(0, 2);
        QTRY_COMPARE(global::KnotenDokId.size(), 79);
        QTreeWidget *baum = e->baum();
        QCoreApplication::processEvents();
        QVERIFY(baum->horizontalScrollBar()->maximum() > 0);
        QVERIFY(baum->columnWidth(0) > baum->viewport()->width());
    }

    void tastaturFuelltDenBaum()
    {
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("880001,880004"));
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 2);
        zelleKlicken(0, 1);
        QTRY_COMPARE(global::ErgZeile, 0);
        QTRY_VERIFY(e->baum()->topLevelItemCount() == 1);
        const QString erste = e->baum()->topLevelItem(0)->text(0);
        QTest::keyClick(e->liste(), Qt::Key_Down);
        QCOMPARE(global::ErgZeile, 1);
        QVERIFY(e->baum()->topLevelItem(0)->text(0) != erste);
        QVERIFY(e->baum()->topLevelItem(0)->text(0).contains(e->modell()->index(1, 1).data().toString()));
    }

    void statusZelleZeigtNeuestesDokument()
    {
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("880001"));
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 1);
        QVERIFY(e->modell()->index(0, 4).data(Qt::DecorationRole).isValid());
        DialogFahrer fahrer;
        QString modus;
        int aktDok = 0, seiten = 0, zeileDoks = -1;
        fahrer.bei(QStringLiteral("bild"), [&](QDialog *d) {
            modus = global::Modus;
            aktDok = global::AktDok;
            seiten = global::SeitenAnz;
            zeileDoks = d->findChild<QComboBox *>(QStringLiteral("Doks"))->currentIndex();
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        zelleKlicken(0, 4);
        QTRY_COMPARE(fahrer.gesehen(), QStringList{"bild"});
        QCOMPARE(modus, QStringLiteral("click"));
        // The newest of three versions: three pages, its row selected.
        QCOMPARE(aktDok, 3);
        QCOMPARE(seiten, 3);
        QCOMPARE(zeileDoks, 2);

        // "Bearbeiten" opens it in edit mode, newest version too.
        fahrer.bei(QStringLiteral("bild"), [&](QDialog *d) {
            modus = global::Modus;
            aktDok = global::AktDok;
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        e->zeileRechtsGeklickt(0, 2);
        QVERIFY(e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->isEnabled());
        e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList({"bild", "bild"}));
        QCOMPARE(modus, QStringLiteral("bearbeiten"));
        QCOMPARE(aktDok, 3);
    }

    // A double-click on any cell of a row, or Return on it, opens its
    // newest document; a second time in one run as well.
    void zeileOeffnetMitDoppelklickUndReturn()
    {
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("880001"));
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 1);
        DialogFahrer fahrer;
        int aktDok = 0;
        const auto schliessen = [&](QDialog *d) {
            aktDok = global::AktDok;
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        };
        fahrer.bei(QStringLiteral("bild"), schliessen);
        QTreeView *l = e->liste();
        const QRect r = l->visualRect(l->model()->index(0, 1));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(l->viewport(), Qt::LeftButton, {}, r.center());
        QTRY_COMPARE(fahrer.gesehen(), QStringList{"bild"});
        QCOMPARE(aktDok, 3);
        aktDok = 0;
        fahrer.bei(QStringLiteral("bild"), schliessen);
        l->setCurrentIndex(l->model()->index(0, 2));
        l->setFocus();
        QTest::keyClick(l, Qt::Key_Return);
        QTRY_COMPARE(fahrer.gesehen(), QStringList({"bild", "bild"}));
        QCOMPARE(aktDok, 3);
    }

    void statusMarkenUndPopup()
    {
        nummernSuchen(QStringLiteral("Eingangsrechnung"), QStringLiteral("880004,880005"));
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 2);
        const int storno = zeileMitNummer(QStringLiteral("880004"));
        const int pdf = zeileMitNummer(QStringLiteral("880005"));
        QVERIFY(storno >= 0 && pdf >= 0);
        QCOMPARE(e->modell()->zeile(storno).statusMarke, 5);
        QVERIFY(e->modell()->index(storno, 1).data(Qt::FontRole).value<QFont>().strikeOut());
        QVERIFY(!e->modell()->index(pdf, 1).data(Qt::FontRole).value<QFont>().strikeOut());
        QCOMPARE(e->modell()->zeile(pdf).statusMarke, 2);
        // A PDF Beleg cannot be edited here.
        e->zeileRechtsGeklickt(pdf, 2);
        QVERIFY(!e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->isEnabled());
        e->zeileRechtsGeklickt(storno, 2);
        QVERIFY(e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->isEnabled());
        QCOMPARE(e->windowTitle(), QStringLiteral("Tessam Archivsystem - Ergebnis"));

        // "Info ID" names the object id and the Beleg's last change on record.
        e->infoId(storno);
        QCOMPARE(m_meldungen->texte().size(), 1);
        const QStringList info = m_meldungen->texte().first().split(u'\n');
        QCOMPARE(info.value(0), QStringLiteral("Dokumentid = ") + m_storniert);
        QVERIFY2(info.value(1).startsWith(QStringLiteral("Letzte Änderung: ") + QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))) &&
                     info.value(1).endsWith(QStringLiteral(", Benutzer ") + QLatin1String(test::ArchivServer::TestBenutzer) +
                                            QStringLiteral(", Arbeitsplatz test")),
                 qPrintable(info.value(1)));

        // A Beleg without document: no picture mark, the status cell says nothing.
        klicken(knopf("BULOE"));
        nummernSuchen(QStringLiteral("Lieferschein"), QStringLiteral("880002"));
        QCOMPARE(e->modell()->rowCount(), 1);
        QVERIFY(!e->modell()->index(0, 4).data(Qt::DecorationRole).isValid());
        QSignalSpy oeffnen(e, &search::Ergebnis::oeffnen);
        zelleKlicken(0, 4);
        QTRY_COMPARE(e->baum()->topLevelItemCount(), 1);
        QCOMPARE(oeffnen.count(), 0);
        e->infoId(0);
        QCOMPARE(m_meldungen->texte().size(), 1);
    }

    void cleanupTestCase()
    {
        m_archiv.reset();
        m_server.reset();
    }
};

QTEST_MAIN(TestSuche)
#include "tst_suche.moc"
