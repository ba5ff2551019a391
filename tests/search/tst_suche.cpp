#include "app/Einstellungen.h"
#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "search/Archiv.h"
#include "search/Ergebnis.h"
#include "search/TrefferModell.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
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

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        test::zuruecksetzen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 300);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), QString::number(m_server->port()));
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        m_archiv = std::make_unique<search::Archiv>();
        QVERIFY(m_archiv->laden());
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
        QCOMPARE(texte, QStringList({"Lieferant :", "Lieferschein :", "Bestellung :", "Zahlungsart :", "Kostenstelle :", "Bemerkung :"}));
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
        QCOMPARE(m_archiv->eigenschaftsZeilen(), 6);
        knopf("BULOE")->click();
    }

    void suchenUndGrenzen()
    {
        typ(QStringLiteral("Eingangsrechnung"), true);
        knopf("Busuch")->click();
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
        knopf("Busuch")->click();
        const int bar = e->modell()->rowCount();
        QVERIFY(bar > 0 && bar < treffer);

        // Rows hidden by a later type selection keep their values and are
        // still sent: the choice made above goes on narrowing the search.
        knopf("BULOE")->click();
        knopf("BUAlle")->click();
        const int barAlleTypen = e->modell()->rowCount();
        QVERIFY(barAlleTypen >= bar);
        for (QComboBox *c : m_archiv->findChildren<QComboBox *>(QStringLiteral("EigenCombo")))
            c->setCurrentIndex(-1);
        knopf("BUAlle")->click();
        QVERIFY(e->modell()->rowCount() > barAlleTypen);
        QVERIFY(e->modell()->rowCount() > treffer);
        QCOMPARE(global::MaxTreffer, 50000);
        QVERIFY(!knopf("BUPlus")->isEnabled());
        m_archiv->buplus();
        QCOMPARE(global::MaxTreffer, 50500);
        // The chain of the demo: invoices 19000 to 19039.
        typ(QStringLiteral("Eingangsrechnung"), true);
        m_archiv->findChild<QLineEdit *>(QStringLiteral("Belnr"))->setText(QStringLiteral("19*"));
        knopf("Busuch")->click();
        QCOMPARE(e->modell()->rowCount(), 40);
        knopf("BULOE")->click();
        m_archiv->findChild<QLineEdit *>(QStringLiteral("Belnr"))->clear();
    }

    void plusBeiGenauDerGrenze()
    {
        // 500 letters of one number range: exactly the limit keeps "++"
        // usable, one fewer disables it.
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        for (int n = 1; n <= 500; ++n) {
            server::Objekt d = v.New(QStringLiteral("AR.Dokumente"));
            d.set(QStringLiteral("Firma"), QStringLiteral("1"));
            d.setRef(QStringLiteral("IdBelart"), QStringLiteral("1||KO"));
            d.set(QStringLiteral("Belnr"), QString::number(900000 + n));
            d.set(QStringLiteral("Datum"), QStringLiteral("2026-01-05"));
            d.set(QStringLiteral("picsw"), QStringLiteral("0"));
            QCOMPARE(d.SYS_Save(), 1);
        }
        auto *belnr = m_archiv->findChild<QLineEdit *>(QStringLiteral("Belnr"));
        belnr->setText(QStringLiteral("900001-900500"));
        knopf("Busuch")->click();
        QCOMPARE(global::Trefferzahl, 500);
        QVERIFY(knopf("BUPlus")->isEnabled());
        QCOMPARE(knopf("BUPlus")->text(), QStringLiteral("++  500"));
        knopf("BUPlus")->click();
        QCOMPARE(global::MaxTreffer, 1000);
        QVERIFY(!knopf("BUPlus")->isEnabled());
        belnr->setText(QStringLiteral("900001-900499"));
        knopf("Busuch")->click();
        QCOMPARE(global::Trefferzahl, 499);
        QVERIFY(!knopf("BUPlus")->isEnabled());
        belnr->clear();
    }

    void wwsTypen()
    {
        knopf("BULOE")->click();
        knopf("BUWWS")->click();
        QStringList an;
        for (int i = 0; i < belart()->topLevelItemCount(); ++i)
            if (belart()->topLevelItem(i)->checkState(0) == Qt::Checked)
                an << belart()->topLevelItem(i)->data(0, Qt::UserRole).toString().section(u',', 0, 0);
        an.sort();
        QCOMPARE(an, QStringList({"AR", "BE", "ER", "GU", "LS", "RK"}));
        knopf("BULOE")->click();
    }

    void baumDerVerknuepfungen()
    {
        m_archiv->findChild<QLineEdit *>(QStringLiteral("Belnr"))->setText(QStringLiteral("19001"));
        typ(QStringLiteral("Eingangsrechnung"), true);
        knopf("Busuch")->click();
        search::Ergebnis *e = m_archiv->ergebnis();
        QCOMPARE(e->modell()->rowCount(), 1);
        e->zeileGeklickt(0, 1);
        QTreeWidget *baum = e->baum();
        QCOMPARE(baum->topLevelItemCount(), 1);
        QVERIFY(baum->topLevelItem(0)->text(0).startsWith(QStringLiteral("ER19001  2025-06-02")));
        QCOMPARE(global::KnotenDokId.size(), 79);
        // Expanding does not open; the next click does.
        QSignalSpy oeffnen(e, &search::Ergebnis::oeffnen);
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("bild"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        m_meldungen.reset();
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
        e->knotenAufZu();
        e->knotenGeklickt(1, Qt::LeftButton);
        QCOMPARE(oeffnen.count(), 0);
        e->knotenGeklickt(1, Qt::LeftButton);
        QCOMPARE(oeffnen.count(), 1);
        e->knotenGeklickt(1, Qt::RightButton);
        QCOMPARE(oeffnen.count(), 1);
        // The linked Beleg opened in the editor, or it has no document.
        QVERIFY(fahrer.anzahl(QStringLiteral("bild")) == 1 || m_meldungen->texte() == QStringList{"Kein Bilddokument vorhanden"});
        // No picture mark (no document): the status cell does nothing.
        m_meldungen.reset();
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
        e->zeileGeklickt(0, 5);
        QCOMPARE(oeffnen.count(), 1);
        QVERIFY(m_meldungen->texte().isEmpty());
        m_archiv->findChild<QLineEdit *>(QStringLiteral("Belnr"))->clear();
        knopf("BULOE")->click();
    }

    void statusUndPopup()
    {
        knopf("BUAlle")->click();
        search::Ergebnis *e = m_archiv->ergebnis();
        int tif = -1, storno = -1, ohne = -1;
        for (int r = 0; r < e->modell()->rowCount(); ++r) {
            const search::Trefferzeile &z = e->modell()->zeile(r);
            if (z.statusMarke == 1 && tif < 0)
                tif = r;
            if (z.statusMarke == 5 && storno < 0)
                storno = r;
            if (z.statusMarke == 0 && ohne < 0)
                ohne = r;
        }
        QVERIFY(tif >= 0 && ohne >= 0);
        QVERIFY(e->modell()->index(tif, 4).data(Qt::DecorationRole).isValid());
        QVERIFY(!e->modell()->index(ohne, 4).data(Qt::DecorationRole).isValid());
        if (storno >= 0)
            QVERIFY(e->modell()->index(storno, 1).data(Qt::FontRole).value<QFont>().strikeOut());
        QSignalSpy oeffnen(e, &search::Ergebnis::oeffnen);
        // The status cell of a TIF Beleg shows it in the editor, view only.
        DialogFahrer fahrer;
        QString modus, belnr;
        fahrer.bei(QStringLiteral("bild"), [&](QDialog *d) {
            modus = global::Modus;
            belnr = d->findChild<QLineEdit *>(QStringLiteral("Belnr"))->text();
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        e->zeileGeklickt(tif, 5);
        QCOMPARE(oeffnen.count(), 1);
        QCOMPARE(fahrer.gesehen(), QStringList{"bild"});
        QCOMPARE(modus, QStringLiteral("click"));
        QVERIFY(!belnr.isEmpty());
        QVERIFY2(e->modell()->index(tif, 1).data().toString().endsWith(belnr), qPrintable(belnr));
        QCOMPARE(oeffnen.first().first().toString(), e->modell()->zeile(tif).daten.section(u'|', 0, 0));
        e->zeileRechtsGeklickt(tif, 2);
        QVERIFY(e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->isEnabled());
        QCOMPARE(e->windowTitle(), QStringLiteral("Tessam Archivsystem - Ergebnis"));

        // "Bearbeiten" opens the same Beleg in edit mode, pages loaded.
        bool speichernDa = false;
        int seiten = 0;
        fahrer.bei(QStringLiteral("bild"), [&](QDialog *d) {
            modus = global::Modus;
            belnr = d->findChild<QLineEdit *>(QStringLiteral("Belnr"))->text();
            speichernDa = !d->findChild<QPushButton *>(QStringLiteral("BUSpeich"))->isHidden();
            seiten = global::SeitenAnz;
            DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList({"bild", "bild"}));
        QCOMPARE(modus, QStringLiteral("bearbeiten"));
        QVERIFY(speichernDa);
        QVERIFY(seiten > 0);
        QVERIFY2(e->modell()->index(tif, 1).data().toString().endsWith(belnr), qPrintable(belnr));

        // A PDF Beleg cannot be edited here.
        int pdf = -1;
        for (int r = 0; r < e->modell()->rowCount() && pdf < 0; ++r)
            if (e->modell()->zeile(r).statusMarke == 2)
                pdf = r;
        QVERIFY(pdf >= 0);
        e->zeileRechtsGeklickt(pdf, 2);
        QVERIFY(!e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->isEnabled());
        e->zeileRechtsGeklickt(ohne, 2);
        QVERIFY(e->findChild<QAction *>(QStringLiteral("popup1_dokbe"))->isEnabled());

        // "Info ID" names the object id; a row without picture mark says nothing.
        test::MeldungsRecorder meldungen;
        e->infoId(ohne);
        QVERIFY(meldungen.texte().isEmpty());
        e->infoId(tif);
        QCOMPARE(meldungen.texte(), QStringList{QStringLiteral("Dokumentid = ") + e->modell()->zeile(tif).daten.section(u'|', 0, 0)});
    }

    void cleanupTestCase()
    {
        m_archiv.reset();
        m_server.reset();
    }
};

QTEST_MAIN(TestSuche)
#include "tst_suche.moc"
