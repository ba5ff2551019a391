// The scan intake window at a scan station, driven by clicks, double-clicks
// and popup entries, against a real archivd.
#include "app/Anmeldung.h"
#include "app/EinstScan.h"
#include "app/Einstellungen.h"
#include "common/Etikett.h"
#include "common/Programmzustand.h"
#include "imaging/Barcode.h"
#include "imaging/TiffDatei.h"
#include "scan/Scandatabase.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QFileDialog>
#include <QDirIterator>
#include <QAbstractItemView>
#include <QTest>
#include <QTreeWidget>

using namespace archiv;
using archiv::test::Belegbau;
using archiv::test::teil;

class TestScandatabase : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QTemporaryDir m_dir;
    QTemporaryDir m_einzug;
    QString m_beleg;
    qint64 m_etikett = 0;

    void scan(const QString &nummer, int seite)
    {
        const QString pfad = m_dir.filePath(QStringLiteral("s.tif"));
        imaging::TiffDatei::schreibenG4(pfad, {imaging::TiffDatei::lesen(Belegbau::tiff(seite), QStringLiteral("s.tif")).last()});
        server::Objekt s = m_v->New(QStringLiteral("AR.Scandat"));
        s.set(QStringLiteral("dokument"), nummer);
        s.set(QStringLiteral("seite"), QString::number(seite));
        s.strom(QStringLiteral("dok")).FileRead(pfad);
        QCOMPARE(s.SYS_Save(), 1);
    }
    // The window as the scan station starts it: its own connection from the
    // server settings.
    std::unique_ptr<scan::Scandatabase> station()
    {
        auto f = std::make_unique<scan::Scandatabase>();
        f->show();
        if (!f->laden())
            qFatal("scan station without connection");
        return f;
    }
    // The feeder: pages made by Belegbau::tiff with the barcodes given per page.
    void einlegen(const QList<QStringList> &codes)
    {
        QList<imaging::Seite> seiten = imaging::TiffDatei::lesen(Belegbau::tiff(int(codes.size())), QStringLiteral("s.tif"));
        for (qsizetype i = 0; i < codes.size(); ++i)
            if (!codes[i].isEmpty())
                seiten[i] = Belegbau::beklebt(seiten[i], codes[i]);
        QDir(m_einzug.path()).removeRecursively();
        QDir().mkpath(m_einzug.path());
        imaging::TiffDatei::schreibenG4(QDir(m_einzug.path()).filePath(QStringLiteral("stapel.tif")), seiten);
    }
    static QStringList zeilen(scan::Scandatabase &f)
    {
        QStringList z;
        for (int i = 0; i < f.liste()->topLevelItemCount(); ++i)
            z << f.liste()->topLevelItem(i)->text(0) + u'/' + f.liste()->topLevelItem(i)->text(1);
        return z;
    }
    // Right button on row r, then the popup entry.
    static void popupEintrag(scan::Scandatabase &f, int r, const char *eintrag, bool *aktiv = nullptr)
    {
        QTreeWidget *l = f.liste();
        const QPoint p = l->visualItemRect(l->topLevelItem(r)).center();
        QTest::mousePress(l->viewport(), Qt::RightButton, {}, p);
        QContextMenuEvent menueEreignis(QContextMenuEvent::Mouse, p, l->viewport()->mapToGlobal(p));
        QApplication::sendEvent(l->viewport(), &menueEreignis);
        QTest::mouseRelease(l->viewport(), Qt::RightButton, {}, p);
        auto *menue = f.findChild<QMenu *>(QStringLiteral("popup"));
        QTRY_VERIFY(menue->isVisible());
        QAction *a = f.findChild<QAction *>(QLatin1String(eintrag));
        if (aktiv)
            *aktiv = a->isEnabled();
        if (!a->isEnabled()) {
            menue->close();
            return;
        }
        QTest::mouseClick(menue, Qt::LeftButton, {}, menue->actionGeometry(a).center());
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        app::anmeldungFuerSchreibenEinrichten();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        Belegbau bau(*m_v);
        m_beleg = bau.anlegen(QStringLiteral("ER"), QStringLiteral("SD-1"), {});
        // A label run of type ER: its first number.
        server::Objekt t = m_v->OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||ER"));
        m_etikett = t.get(QStringLiteral("lastbelnrbarc")).toLongLong() + 1;
        t.set(QStringLiteral("lastbelnrbarc"), QString::number(m_etikett + 9));
        QCOMPARE(t.SYS_Save(), 1);
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        global::Startmodus.clear();
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), QString::number(m_server->port()));
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("Ordner: ") + m_einzug.path());
        app::setzeEinstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"), QStringLiteral("1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("wwsport"), QString::number(m_server->port()));
        m_v->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    void befehleAufDerListe()
    {
        scan(QStringLiteral("ERSD-1"), 1);
        scan(QStringLiteral("ERSD-1"), 2);
        scan(QStringLiteral("ERSD-OHNE"), 1);
        scan(QStringLiteral("LSZ-9"), 1);
        auto fenster = station();
        scan::Scandatabase &f = *fenster;
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.windowTitle(), QStringLiteral("Tessam Archivsystem - Scandokumente"));
        QVERIFY(!teil<QPushButton>(&f, "buuebern")->isHidden());
        QCOMPARE(zeilen(f), QStringList({"ERSD-1/1", "ERSD-1/2", "ERSD-OHNE/1", "LSZ-9/1"}));

        // Nothing selected: the command says so.
        f.findChild<QAction *>(QStringLiteral("loe"))->trigger();
        QCOMPARE(m_meldungen->texte(), QStringList{"Kein Scan-Dokument ausgewählt"});

        // Unassigned: no assignment to remove.
        bool aktiv = true;
        popupEintrag(f, 0, "zuordloe", &aktiv);
        QVERIFY(!aktiv);
        QTest::mouseClick(teil<QPushButton>(&f, "BU_Belegsuche"), Qt::LeftButton);
        QCOMPARE(f.liste()->topLevelItem(0)->text(2), QStringLiteral("2026-12-01"));
        QVERIFY(f.liste()->topLevelItem(2)->text(2).isEmpty());
        popupEintrag(f, 0, "zuordloe", &aktiv);
        QVERIFY(aktiv);
        QVERIFY(f.liste()->topLevelItem(0)->text(2).isEmpty());

        // Deleting row 1 removes both pages of its number; row 1 stays selected.
        QTest::mouseClick(f.liste()->viewport(), Qt::LeftButton, {}, f.liste()->visualItemRect(f.liste()->topLevelItem(1)).center());
        popupEintrag(f, 1, "loe");
        QCOMPARE(zeilen(f), QStringList({"ERSD-OHNE/1", "LSZ-9/1"}));
        QCOMPARE(f.liste()->indexOfTopLevelItem(f.liste()->currentItem()), 1);

        // Everything, after the question.
        m_meldungen->antworte(common::Antwort::Abbrechen);
        QTest::mouseClick(teil<QPushButton>(&f, "buloeall"), Qt::LeftButton);
        QCOMPARE(zeilen(f).size(), 2);
        m_meldungen->antworte(common::Antwort::Ok);
        QTest::mouseClick(teil<QPushButton>(&f, "buloeall"), Qt::LeftButton);
        QVERIFY(zeilen(f).isEmpty());
        QVERIFY(m_meldungen->texte().contains(QStringLiteral("Wirklich alle Scans löschen")));
    }

    void datensatzBearbeiten()
    {
        scan(QStringLiteral("ERSD-1"), 1);
        scan(QStringLiteral("XX-FALSCH"), 1);
        auto fenster = station();
        scan::Scandatabase &f = *fenster;
        QTest::mouseClick(teil<QPushButton>(&f, "BU_Belegsuche"), Qt::LeftButton);
        QVERIFY(!f.liste()->topLevelItem(0)->text(2).isEmpty()); // ERSD-1 assigned
        // A misread number corrected: the whole text is selected, typing replaces it.
        test::DialogFahrer fahrer;
        QString id;
        fahrer.bei(QStringLiteral("scanbearb"), [&id](QDialog *d) {
            auto *nr = d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt"));
            QCOMPARE(nr->selectedText(), QStringLiteral("XX-FALSCH"));
            id = d->findChild<QLineEdit *>(QStringLiteral("idtxt"))->text();
            QTest::keyClicks(nr, QStringLiteral("ERSD-1"));
            auto *seite = d->findChild<QSpinBox *>(QStringLiteral("SeiteTxt"));
            seite->setValue(2);
            test::DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
        });
        popupEintrag(f, 1, "bearb");
        QCOMPARE(fahrer.gesehen(), QStringList{"scanbearb"});
        QCOMPARE(zeilen(f), QStringList({"ERSD-1/1", "ERSD-1/2"}));
        QCOMPARE(m_v->OpenId(QStringLiteral("AR.Scandat"), id).get(QStringLiteral("dokument")), QStringLiteral("ERSD-1"));
        // The assigned record renamed: its assignment goes with the old number.
        fahrer.bei(QStringLiteral("scanbearb"), [](QDialog *d) {
            QTest::keyClicks(d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt")), QStringLiteral("LSNEU-1"));
            test::DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
        });
        popupEintrag(f, 0, "bearb");
        QCOMPARE(zeilen(f), QStringList({"ERSD-1/2", "LSNEU-1/1"}));
        QVERIFY(f.liste()->topLevelItem(1)->text(2).isEmpty());
    }

    // A double-click on a page without a Belegnummer opens its edit dialog
    // and transfers nothing (not every Beleg, as an empty number would).
    void doppelklickOhneNummerBearbeitet()
    {
        scan(QStringLiteral("ERSD-1"), 1);
        scan(QString(), 1);
        auto fenster = station();
        scan::Scandatabase &f = *fenster;
        QTest::mouseClick(teil<QPushButton>(&f, "BU_Belegsuche"), Qt::LeftButton);
        QCOMPARE(zeilen(f), QStringList({"/1", "ERSD-1/1"}));
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanbearb"), [](QDialog *d) {
            QTest::keyClicks(d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt")), QStringLiteral("ERSD-1"));
            d->findChild<QSpinBox *>(QStringLiteral("SeiteTxt"))->setValue(2);
            test::DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
        });
        const QRect zeile = f.liste()->visualItemRect(f.liste()->topLevelItem(0));
        QTest::mouseClick(f.liste()->viewport(), Qt::LeftButton, {}, zeile.center());
        QTest::mouseDClick(f.liste()->viewport(), Qt::LeftButton, {}, zeile.center());
        QTRY_COMPARE(fahrer.gesehen(), QStringList{"scanbearb"});
        QCOMPARE(zeilen(f), QStringList({"ERSD-1/1", "ERSD-1/2"}));
        QCOMPARE(m_meldungen->texte().size(), 1); // the Belegsuche's report only
        QCOMPARE(m_v->OpenId(QStringLiteral("AR.Dokumente"), m_beleg).sammlung(QStringLiteral("Doks")).Count(), 0);
    }

    // The edit dialog finds the Beleg of a page in the archive: the number
    // alone is enough, and the page belongs to the Beleg picked at once,
    // without a Belegsuche. The dialog is used twice in one run.
    void bearbeitenMitBelegsuche()
    {
        scan(QString(), 1);
        scan(QString(), 2);
        auto fenster = station();
        scan::Scandatabase &f = *fenster;
        test::DialogFahrer fahrer;
        for (int mal = 0; mal < 2; ++mal) {
            fahrer.bei(QStringLiteral("scanbearb"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUBeleg")); });
            fahrer.bei(QStringLiteral("SuBeleg"), [](QDialog *d) {
                auto *nummer = d->findChild<QLineEdit *>(QStringLiteral("Nummer"));
                nummer->clear();
                QTest::keyClicks(nummer, QStringLiteral("SD-1"));
                QTest::keyClick(nummer, Qt::Key_Return);
                auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("Belege"));
                QCOMPARE(liste->topLevelItemCount(), 1);
                QCOMPARE(liste->topLevelItem(0)->text(1) + liste->topLevelItem(0)->text(2), QStringLiteral("ERSD-1"));
                QTest::keyClick(liste, Qt::Key_Return);
            });
            fahrer.bei(QStringLiteral("scanbearb"), [](QDialog *d) {
                QCOMPARE(d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt"))->text(), QStringLiteral("ERSD-1"));
                test::DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
            });
        }
        // Both rows without a number; each opened with a double-click.
        for (int mal = 0; mal < 2; ++mal) {
            const QRect zeile = f.liste()->visualItemRect(f.liste()->topLevelItem(0));
            QTest::mouseClick(f.liste()->viewport(), Qt::LeftButton, {}, zeile.center());
            QTest::mouseDClick(f.liste()->viewport(), Qt::LeftButton, {}, zeile.center());
        }
        QCOMPARE(fahrer.anzahl(QStringLiteral("SuBeleg")), 2);
        QVERIFY2(!fahrer.gesehen().join(u' ').contains(QLatin1String("unerwartet")), qPrintable(fahrer.gesehen().join(u' ')));
        QCOMPARE(zeilen(f), QStringList({"ERSD-1/1", "ERSD-1/2"}));
        // Assigned: the list shows the Beleg's date, and the transfer files them.
        QVERIFY(!f.liste()->topLevelItem(0)->text(2).isEmpty());
        QVERIFY(m_meldungen->texte().isEmpty());
        QTest::mouseClick(teil<QPushButton>(&f, "buuebern"), Qt::LeftButton);
        QCOMPARE(m_meldungen->texte(), QStringList{"2 Seiten in ihre Belege übernommen."});
        QVERIFY(zeilen(f).isEmpty());

        // A number the archive does not have: said, nothing picked.
        scan(QString(), 1);
        QTest::mouseClick(teil<QPushButton>(&f, "BUAkt"), Qt::LeftButton);
        fahrer.bei(QStringLiteral("scanbearb"), [](QDialog *d) {
            QTest::keyClicks(d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt")), QStringLiteral("ER99ÄÖ"));
            test::DialogFahrer::klicken(d, QStringLiteral("BUBeleg"));
            QCOMPARE(d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt"))->text(), QStringLiteral("ER99ÄÖ"));
            test::DialogFahrer::klicken(d, QStringLiteral("BUClose"));
        });
        fahrer.bei(QStringLiteral("SuBeleg"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        const QRect zeile = f.liste()->visualItemRect(f.liste()->topLevelItem(0));
        QTest::mouseClick(f.liste()->viewport(), Qt::LeftButton, {}, zeile.center());
        QTest::mouseDClick(f.liste()->viewport(), Qt::LeftButton, {}, zeile.center());
        QCOMPARE(m_meldungen->texte().mid(1), QStringList{"Keinen Beleg mit der Nummer ER99ÄÖ gefunden."});
        QCOMPARE(zeilen(f), QStringList({"/1"}));
    }

    void uebernehmenAlles()
    {
        scan(QStringLiteral("ERSD-1"), 1);
        scan(QStringLiteral("ERSD-1"), 2);
        scan(QStringLiteral("ERSD-OHNE"), 1);
        auto fenster = station();
        scan::Scandatabase &f = *fenster;
        scan(QString(), 1);
        QTest::mouseClick(teil<QPushButton>(&f, "BU_Belegsuche"), Qt::LeftButton);
        QCOMPARE(m_meldungen->texte(), QStringList{"Belegsuche: 2 Seiten einem Beleg zugeordnet.\n2 Seiten ohne Beleg:\n"
                                                   "1 Seite ohne Belegnummer\n"
                                                   "ERSD-OHNE: Beleg ER SD-OHNE gibt es noch nicht (1 Seite)"});
        QTest::mouseClick(teil<QPushButton>(&f, "buuebern"), Qt::LeftButton);
        // The assigned pages went into their Beleg; the others stay, and the
        // report says why.
        QCOMPARE(zeilen(f), QStringList({"/1", "ERSD-OHNE/1"}));
        QCOMPARE(m_meldungen->texte().mid(1), QStringList{"2 Seiten in ihre Belege übernommen.\n\n2 Seiten ohne Beleg bleiben im "
                                                          "Scanspeicher:\n1 Seite ohne Belegnummer\n"
                                                          "ERSD-OHNE: Beleg ER SD-OHNE gibt es noch nicht (1 Seite)"});
        QCOMPARE(m_meldungen->meldungen().last().symbol, common::MeldungsSymbol::Information);
        server::Objekt b = m_v->OpenId(QStringLiteral("AR.Dokumente"), m_beleg);
        QCOMPARE(b.sammlung(QStringLiteral("Doks")).Count(), 1);
        QVERIFY(teil<QPushButton>(&f, "BUClose")->isEnabled());
    }

    // Received files into the scan store with "Dateien…": a digital record
    // each, listed with its name and kind; given its Belegnummer in the edit
    // dialog, and transferred with a scanned page of the same Beleg, each
    // file becomes an element of its own, byte for byte, beside the TIFF.
    void dateienAlsDigitaleDatensaetze()
    {
        const QString beispiele = qEnvironmentVariable("ARCHIV_EINVOICE");
        if (beispiele.isEmpty())
            QSKIP("the sample invoices (ARCHIV_EINVOICE) are not there");
        const QString xml = m_dir.filePath(QStringLiteral("Rechnung Größe März.xml"));
        QFile::remove(xml);
        QVERIFY(QFile::copy(QDir(beispiele).filePath(QStringLiteral("kosit/business-cases/standard/01.01a-INVOICE_ubl.xml")), xml));
        const QString pdf = m_dir.filePath(QStringLiteral("Lieferschein.pdf"));
        QFile::remove(pdf);
        QDirIterator it(beispiele, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(QFile::copy(it.next(), pdf));
        const QString kaputt = m_dir.filePath(QStringLiteral("notiz.txt"));
        {
            QFile f(kaputt);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Bitte bis Freitag zahlen.");
        }
        const QString beleg = Belegbau(*m_v).anlegen(QStringLiteral("ER"), QStringLiteral("SD-DIGITAL"), {});
        scan(QStringLiteral("ERSD-DIGITAL"), 1);

        for (int lauf = 0; lauf < 2; ++lauf) { // the same window, files taken in twice: the second run is cleared below
            auto fenster = station();
            scan::Scandatabase &f = *fenster;
            test::DialogFahrer fahrer;
            fahrer.bei(QStringLiteral("DateiAuswahl"), [&](QDialog *d) {
                auto *dialog = qobject_cast<QFileDialog *>(d);
                dialog->setDirectory(m_dir.path());
                // The user switches the filter to every file to pick the note.
                dialog->selectNameFilter(QStringLiteral("Alle Dateien (*)"));
                // The folder is read again in the background: the note shows up.
                auto *ansicht = d->findChild<QAbstractItemView *>(QStringLiteral("listView"));
                QVERIFY(ansicht);
                QTRY_VERIFY(!ansicht->model()->match(ansicht->model()->index(0, 0, ansicht->rootIndex()),
                                                     Qt::DisplayRole, QStringLiteral("notiz.txt"), 1, Qt::MatchExactly)
                                 .isEmpty());
                auto *feld = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                feld->setText(QStringLiteral("\"%1\" \"%2\" \"%3\"").arg(QFileInfo(xml).fileName(), QFileInfo(pdf).fileName(), QFileInfo(kaputt).fileName()));
                QTest::keyClick(feld, Qt::Key_Return);
            });
            QTest::mouseClick(teil<QPushButton>(&f, "BUDateien"), Qt::LeftButton);
            QCOMPARE(fahrer.anzahl(QStringLiteral("DateiAuswahl")), 1);
            const QString bericht = m_meldungen->texte().constLast();
            QVERIFY2(bericht.startsWith(QStringLiteral("2 Dateien in den Scanspeicher übernommen.")), qPrintable(bericht));
            QVERIFY2(bericht.contains(QStringLiteral("notiz.txt ist weder PDF")), qPrintable(bericht));
            QStringList dateien;
            for (int i = 0; i < f.liste()->topLevelItemCount(); ++i)
                dateien << f.liste()->topLevelItem(i)->text(1) + u' ' + f.liste()->topLevelItem(i)->text(4);
            dateien.sort();
            QCOMPARE(dateien, QStringList({QStringLiteral("1 "), QStringLiteral("PDF Lieferschein.pdf"), QStringLiteral("XML Rechnung Größe März.xml")}));
            if (lauf == 0) {
                // Other files, not this stack's: gone again.
                m_v->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
                scan(QStringLiteral("ERSD-DIGITAL"), 1);
                continue;
            }
            // Each digital record given the Beleg's number in its edit dialog.
            for (int runde = 0; runde < 2; ++runde) {
                int zeile = -1;
                for (int i = 0; i < f.liste()->topLevelItemCount(); ++i)
                    if (!f.liste()->topLevelItem(i)->text(4).isEmpty() && f.liste()->topLevelItem(i)->text(0).isEmpty())
                        zeile = i;
                QVERIFY(zeile >= 0);
                fahrer.bei(QStringLiteral("scanbearb"), [](QDialog *d) {
                    QTest::keyClicks(d->findChild<QLineEdit *>(QStringLiteral("DokumentTxt")), QStringLiteral("ERSD-DIGITAL"));
                    test::DialogFahrer::klicken(d, QStringLiteral("BUSpeich"));
                });
                popupEintrag(f, zeile, "bearb");
            }
            QTest::mouseClick(teil<QPushButton>(&f, "BU_Belegsuche"), Qt::LeftButton);
            QTest::mouseClick(teil<QPushButton>(&f, "buuebern"), Qt::LeftButton);
            QCOMPARE(f.liste()->topLevelItemCount(), 0);
            QVERIFY2(m_meldungen->texte().constLast().contains(QStringLiteral("3 Seiten in ihre Belege übernommen.")), qPrintable(m_meldungen->texte().constLast()));
        }
        server::Objekt b = m_v->OpenId(QStringLiteral("AR.Dokumente"), beleg);
        server::Sammlung doks = b.sammlung(QStringLiteral("Doks"));
        QCOMPARE(doks.Count(), 3);
        QMap<QString, QByteArray> gespeichert;
        for (int n = 1; n <= doks.Count(); ++n) {
            server::Objekt e = doks.getat(n);
            server::Datenstrom st = e.strom(QStringLiteral("dok"));
            gespeichert.insert(e.get(QStringLiteral("doktyp")) + u':' + e.get(QStringLiteral("dateiname")), st.Read(st.groesse()));
        }
        QCOMPARE(gespeichert.keys(), QStringList({QStringLiteral("pdf:Lieferschein.pdf"), QStringLiteral("tif:"), QStringLiteral("xml:Rechnung Größe März.xml")}));
        const auto lesen = [](const QString &pfad) {
            QFile f(pfad);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QCOMPARE(gespeichert.value(QStringLiteral("pdf:Lieferschein.pdf")), lesen(pdf));
        QCOMPARE(gespeichert.value(QStringLiteral("xml:Rechnung Größe März.xml")), lesen(xml));
        QCOMPARE(imaging::TiffDatei::seitenzahl(gespeichert.value(QStringLiteral("tif:")), QStringLiteral("x.tif")), 1);
    }

    // A stack with label barcodes at the scan station: each page into the
    // store under the Beleg its first known barcode names, numbered on from
    // the pages listed before and from each other.
    void stapelMitBarcodes()
    {
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Folgeseiten"), QStringLiteral("0"));
        Belegbau bau(*m_v);
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("SD-77"), {});
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("SD-777"), {});
        const QString etikett = common::etikett::code(m_etikett);
        const QString etikettBeleg = QStringLiteral("ER") + QString::number(m_etikett);
        for (int seite : {1, 2, 3})
            scan(QStringLiteral("ERSD-777"), seite);
        scan(QString(), 1);
        const QList<QStringList> codes = {
            {QStringLiteral("ERSD-77")}, // 7 characters: never looked up, though a Beleg has that key
            {QStringLiteral("ERSD-777")}, // 8: looked up; the store has its pages 1 to 3
            {QStringLiteral("ERNICHTDA"), etikett}, // an unknown code, then the label
            {etikett}, // the same new key again in this acquisition
            {}, // no barcode
            {QStringLiteral("ERSD-777"), etikett}, // two known codes: the first found decides
        };
        einlegen(codes);
        const QString tiff = QDir(m_einzug.path()).filePath(QStringLiteral("stapel.tif"));
        const QStringList reihenfolge = imaging::BarcodeLeser::lesen(imaging::TiffDatei::lesen(tiff).at(5));
        QCOMPARE(reihenfolge.size(), 2);
        const QString erster = reihenfolge.first() == etikett ? etikettBeleg : QStringLiteral("ERSD-777");

        auto fenster = station();
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [&etikettBeleg](QDialog *d) {
            auto *text = d->findChild<QLineEdit *>(QStringLiteral("VorgabeTxt"));
            QCOMPARE(text->selectedText(), text->text()); // a suggested batch name, replaced by typing
            QTest::keyClicks(text, etikettBeleg);
            test::DialogFahrer::klicken(d, QStringLiteral("BUOk"));
        });
        m_meldungen->antworte(common::Antwort::Nein); // "Weiter Scannen"
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList{"scanvorgabe"});
        QCOMPARE(m_meldungen->texte(), QStringList{"Weiter Scannen"});

        QStringList erwartet = {QStringLiteral("/1"), QStringLiteral("/2"), QStringLiteral("/3"), // no key: after the listed page 1
                                etikettBeleg + QStringLiteral("/1"), etikettBeleg + QStringLiteral("/2"),
                                QStringLiteral("ERSD-777/1"), QStringLiteral("ERSD-777/2"), QStringLiteral("ERSD-777/3"),
                                QStringLiteral("ERSD-777/4")};
        if (erster == etikettBeleg)
            erwartet.insert(5, etikettBeleg + QStringLiteral("/3"));
        else
            erwartet << QStringLiteral("ERSD-777/5");
        QCOMPARE(zeilen(*fenster), erwartet);
        // The row of the expected Belegnummer is selected: its last page.
        QCOMPARE(fenster->liste()->currentItem()->text(0), etikettBeleg);
        QCOMPARE(fenster->liste()->currentItem()->text(1), erster == etikettBeleg ? QStringLiteral("3") : QStringLiteral("2"));
        QVERIFY(teil<QPushButton>(fenster.get(), "BUScan")->isEnabled());

        // Each record holds its page as a single-page G4 TIFF.
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        rs.Execute(QStringList{QStringLiteral("ERSD-777")});
        QString id;
        while (rs.Next())
            if (rs.GetData(1) == QLatin1String("4"))
                id = rs.GetData(2);
        rs.Close();
        server::Objekt s = m_v->OpenId(QStringLiteral("AR.Scandat"), id);
        server::Datenstrom dok = s.strom(QStringLiteral("dok"));
        const QByteArray datei = dok.Read(dok.groesse());
        QCOMPARE(imaging::TiffDatei::seitenzahl(datei, QStringLiteral("s.tif")), 1);
        QCOMPARE(Belegbau::balken(imaging::TiffDatei::lesen(datei, QStringLiteral("s.tif")).first().bild()), 2);

        // The pages found their Belege and go into them.
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BU_Belegsuche"), Qt::LeftButton);
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "buuebern"), Qt::LeftButton);
        QVERIFY(!zeilen(*fenster).contains(QStringLiteral("ERSD-777/4")));
    }

    // Pages after a labelled one: with "Folgeseiten" on (also when never
    // set) they take its Beleg and count on; a page before the first label
    // stays unassigned; off, each page without a label stays unassigned.
    void folgeseiten_data()
    {
        QTest::addColumn<QString>("einstellung");
        QTest::addColumn<QStringList>("erwartet");
        const QString e = QStringLiteral("ER") + QString::number(m_etikett + 1);
        const QStringList an{"/1", e + "/1", e + "/2", e + "/3", "ERSD-777/1", "ERSD-777/2"};
        QTest::newRow("neue Installation") << QString() << an;
        QTest::newRow("an") << QStringLiteral("1") << an;
        QTest::newRow("aus") << QStringLiteral("0") << QStringList{"/1", "/2", "/3", "/4", e + "/1", "ERSD-777/1"};
    }

    void folgeseiten()
    {
        QFETCH(QString, einstellung);
        QFETCH(QStringList, erwartet);
        if (!einstellung.isEmpty())
            app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Folgeseiten"), einstellung);
        Belegbau(*m_v).anlegen(QStringLiteral("ER"), QStringLiteral("SD-777"), {});
        const QString etikett = common::etikett::code(m_etikett + 1);
        einlegen({{}, {etikett}, {}, {QStringLiteral("ER1")}, {QStringLiteral("ERSD-777")}, {}});
        auto fenster = station();
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUOk")); });
        m_meldungen->antworte(common::Antwort::Nein);
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        QCOMPARE(zeilen(*fenster), erwartet);
        test::bildSichern(fenster.get(), QStringLiteral("scanstation-nach-stapel"));
        // The setting as the dialog shows and writes it.
        app::EinstScan dialog(nullptr, QStringList{});
        auto *haken = dialog.findChild<QCheckBox *>(QStringLiteral("CHFolgeseiten"));
        QCOMPARE(haken->isChecked(), einstellung != QLatin1String("0"));
        QTest::mouseClick(haken, Qt::LeftButton);
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("BUSpeich")), Qt::LeftButton);
        QCOMPARE(app::einstellung(QStringLiteral("Scanner"), QStringLiteral("Folgeseiten")),
                 einstellung == QLatin1String("0") ? QStringLiteral("1") : QStringLiteral("0"));
    }

    void scanOhneBarcodesUndLeererEinzug()
    {
        app::setzeEinstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"), QStringLiteral("0"));
        scan(QString(), 1);
        scan(QString(), 2);
        einlegen({{common::etikett::code(m_etikett)}, {}});
        auto fenster = station();
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUOk")); });
        // A second acquisition finds the feeder empty, then the user stops.
        m_meldungen->antworte(common::Antwort::Ja);
        m_meldungen->antworte(common::Antwort::Ok); // "Scanner nicht bereit"
        m_meldungen->antworte(common::Antwort::Nein);
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        QCOMPARE(m_meldungen->texte(), QStringList({"Weiter Scannen", "Scanner nicht bereit", "Weiter Scannen"}));
        // Barcodes not read: both pages without key, after the listed ones.
        QCOMPARE(zeilen(*fenster), QStringList({"/1", "/2", "/3", "/4"}));
    }

    void scanAbbrechenOderOhneQuelle()
    {
        einlegen({{}});
        auto fenster = station();
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUAbbrechen")); });
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList{"scanvorgabe"});
        QVERIFY(m_meldungen->texte().isEmpty());
        QVERIFY(zeilen(*fenster).isEmpty());
        QVERIFY(QFile::exists(QDir(m_einzug.path()).filePath(QStringLiteral("stapel.tif")))); // nothing taken

        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QString());
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        QCOMPARE(m_meldungen->texte(), QStringList{"Keine Scanquelle definiert"});
        QCOMPARE(fahrer.gesehen(), QStringList{"scanvorgabe"});
    }

    // A page that cannot go into its Beleg stays in the store, and the user
    // learns how many did not: one that cannot be read, and two whose
    // Beleg another workstation saved between their upload and its save.
    void fehlgeschlageneSeiteBleibt()
    {
        Belegbau bau(*m_v);
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("SD-KAPUTT"), {});
        scan(QStringLiteral("ERSD-1"), 1);
        scan(QStringLiteral("ERSD-1"), 2);
        server::Objekt kaputt = m_v->New(QStringLiteral("AR.Scandat"));
        kaputt.set(QStringLiteral("dokument"), QStringLiteral("ERSD-KAPUTT"));
        kaputt.set(QStringLiteral("seite"), QStringLiteral("1"));
        kaputt.strom(QStringLiteral("dok")).Write(QByteArray("II*\0kaputt"));
        QCOMPARE(kaputt.SYS_Save(), 1);
        auto fenster = station();
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BU_Belegsuche"), Qt::LeftButton);
        const int dokumente = m_v->OpenId(QStringLiteral("AR.Dokumente"), m_beleg).sammlung(QStringLiteral("Doks")).Count();
        server::setzeVorDemSpeichern([this](const QString &klasse) {
            if (klasse != QLatin1String("AR.Dokumente"))
                return;
            server::setzeVorDemSpeichern({});
            server::Objekt anderer = m_v->OpenId(QStringLiteral("AR.Dokumente"), m_beleg);
            anderer.set(QStringLiteral("zeit"), QStringLiteral("09:09:09"));
            QCOMPARE(anderer.SYS_Save(), 1);
        });
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "buuebern"), Qt::LeftButton);
        server::setzeVorDemSpeichern({});
        QCOMPARE(zeilen(*fenster), QStringList({"ERSD-1/1", "ERSD-1/2", "ERSD-KAPUTT/1"}));
        QCOMPARE(m_meldungen->meldungen().size(), 2); // the Belegsuche's report, then the transfer's
        const QString bericht = m_meldungen->texte().last();
        QVERIFY2(bericht.startsWith(QStringLiteral("3 Seiten konnten nicht übernommen werden")), qPrintable(bericht));
        QVERIFY2(bericht.endsWith(QStringLiteral("0 Seiten in ihre Belege übernommen.")), qPrintable(bericht));
        QCOMPARE(m_meldungen->meldungen().last().symbol, common::MeldungsSymbol::Ausruf);
        QCOMPARE(m_v->OpenId(QStringLiteral("AR.Dokumente"), m_beleg).sammlung(QStringLiteral("Doks")).Count(), dokumente);
        // An empty store: nothing to do, and the user is told so.
        m_v->ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUAkt"), Qt::LeftButton);
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "buuebern"), Qt::LeftButton);
        QCOMPARE(m_meldungen->texte().last(), QStringLiteral("Im Scanspeicher sind keine Seiten zu übernehmen."));
    }

    // A batch whose pages the server refuses for want of a login: the user
    // is asked once, before the batch or at its first page, and every page
    // reaches the store.
    void stapelFragtEinmalNachDerAnmeldung_data()
    {
        QTest::addColumn<bool>("sitzungDa");
        QTest::newRow("keine Sitzung: vor dem Stapel") << false;
        QTest::newRow("Sitzung abgelaufen: bei der ersten Seite") << true;
    }

    void stapelFragtEinmalNachDerAnmeldung()
    {
        QFETCH(bool, sitzungDa);
        einlegen({{}, {}, {}, {}, {}, {}});
        auto fenster = station();
        const QString vorher = server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port());
        server::sitzungBeenden();
        if (sitzungDa)
            server::setzeSitzung(QStringLiteral("127.0.0.1"), m_server->port(), QStringLiteral("abgelaufen"));
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUOk")); });
        fahrer.bei(QStringLiteral("anmeld"), test::DialogFahrer::anmeldung(QLatin1String(test::ArchivServer::TestBenutzer),
                                                                           QString::fromUtf8(test::ArchivServer::TestPasswort)));
        m_meldungen->antworte(common::Antwort::Nein);
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        // One login dialog, and no other dialog unasked for.
        QCOMPARE(fahrer.gesehen(), QStringList({"scanvorgabe", "anmeld"}));
        QCOMPARE(m_meldungen->texte(), QStringList{"Weiter Scannen"});
        QCOMPARE(zeilen(*fenster), QStringList({"/1", "/2", "/3", "/4", "/5", "/6"}));
        QVERIFY(server::sitzungFuer(QStringLiteral("127.0.0.1"), m_server->port()) != vorher);
    }

    void stapelOhneAnmeldungBehaeltDieSeiten()
    {
        // The user declines the login: the batch does not ask again for each
        // page; its pages wait, are tried again on request, and arrive.
        einlegen({{}, {}, {}, {}});
        auto fenster = station();
        server::setzeSitzung(QStringLiteral("127.0.0.1"), m_server->port(), QStringLiteral("abgelaufen"));
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUOk")); });
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        fahrer.bei(QStringLiteral("anmeld"), test::DialogFahrer::anmeldung(QLatin1String(test::ArchivServer::TestBenutzer),
                                                                           QString::fromUtf8(test::ArchivServer::TestPasswort)));
        m_meldungen->antworte(common::Antwort::Ja); // try again
        m_meldungen->antworte(common::Antwort::Nein); // "Weiter Scannen"
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        QCOMPARE(fahrer.gesehen(), QStringList({"scanvorgabe", "anmeld", "anmeld"}));
        QCOMPARE(m_meldungen->texte().size(), 2);
        QVERIFY2(m_meldungen->texte().first().startsWith(QStringLiteral("4 Seiten konnten nicht im Scanspeicher gespeichert werden")),
                 qPrintable(m_meldungen->texte().first()));
        QCOMPARE(zeilen(*fenster), QStringList({"/1", "/2", "/3", "/4"}));
    }

    void serverWegImStapel()
    {
        // The server goes away during a batch with barcode reading: no page
        // ends the program, each is counted, and the user is told to scan
        // them again.
        einlegen({{common::etikett::code(m_etikett)}, {}, {}});
        auto fenster = station();
        test::DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scanvorgabe"), [this](QDialog *d) {
            m_server->stoppen();
            test::DialogFahrer::klicken(d, QStringLiteral("BUOk"));
        });
        m_meldungen->antworte(common::Antwort::Nein); // not again
        QTest::mouseClick(teil<QPushButton>(fenster.get(), "BUScan"), Qt::LeftButton);
        const QStringList texte = m_meldungen->texte();
        QVERIFY2(texte.size() >= 2, qPrintable(texte.join(u'|')));
        QVERIFY(texte.at(0).startsWith(QStringLiteral("3 Seiten konnten nicht im Scanspeicher gespeichert werden")));
        QCOMPARE(texte.at(1), QStringLiteral("3 Seiten sind nicht gespeichert; bitte diese Seiten erneut scannen."));
        QVERIFY(m_server->neustarten());
        QVERIFY(fenster->isVisible());
    }

    void vorschauUndAnordnung()
    {
        scan(QStringLiteral("ERSD-1"), 1);
        auto fenster = station();
        // The list's caption is shown above it, not hidden in a tooltip.
        auto *titel = teil<QLabel>(fenster.get(), "LIBelegeTitel");
        QVERIFY(titel->isVisible());
        QCOMPARE(titel->text(), QStringLiteral("Gescannte Belege"));
        QCOMPARE(titel->geometry().bottom() + 1, fenster->liste()->geometry().top());
        auto *bild = teil<QLabel>(fenster.get(), "Image2");
        QVERIFY(bild->isHidden()); // nothing selected yet
        QTest::mouseClick(fenster->liste()->viewport(), Qt::LeftButton, {}, fenster->liste()->visualItemRect(fenster->liste()->topLevelItem(0)).center());
        QVERIFY(bild->isVisible());
        const QRect klein = bild->geometry();
        QVERIFY(bild->pixmap().width() <= klein.width() * 0.97 + 1 && bild->pixmap().height() <= klein.height() * 0.97 + 1);
        // Held down, the preview covers the window; let go, it goes back.
        QTest::mousePress(bild, Qt::LeftButton);
        QVERIFY(bild->width() > klein.width() && bild->height() > klein.height());
        QCOMPARE(bild->pos(), QPoint(0, 0));
        QVERIFY(bild->pixmap().height() > klein.height());
        QTest::mouseRelease(bild, Qt::LeftButton);
        QCOMPARE(bild->geometry(), klein);

        // Grown, the list and preview grow with the window; the buttons keep to the right edge.
        fenster->resize(fenster->width() + 300, fenster->height() + 200);
        QTRY_COMPARE(bild->height(), klein.height() + 200);
        const int rechts = fenster->width() - teil<QPushButton>(fenster.get(), "BUClose")->x();
        QCOMPARE(fenster->width() - teil<QPushButton>(fenster.get(), "BUAkt")->x(), rechts);
        QVERIFY(fenster->liste()->width() > fenster->width() - 20);
        QVERIFY(bild->geometry().right() < teil<QPushButton>(fenster.get(), "BUAkt")->x());
    }

    void scanlayout_data()
    {
        QTest::addColumn<double>("breite");
        QTest::addColumn<double>("hoehe");
        QTest::newRow("klein") << 7200.0 << 7200.0;
        QTest::newRow("entworfen") << 12000.0 << 10500.0;
        QTest::newRow("Vollbild") << 28800.0 << 16200.0;
    }
    void scanlayout()
    {
        QFETCH(double, breite);
        QFETCH(double, hoehe);
        const scan::Scanlayout l = scan::scanlayout(breite, hoehe);
        QCOMPARE(l.liste.width(), breite - 80);
        QCOMPARE(l.titel.bottom(), l.liste.top()); // the caption right above the list
        QCOMPARE(l.vorschau.height(), hoehe - (l.liste.bottom() - l.titel.top()) - 300);
        QVERIFY(l.vorschau.bottom() < hoehe);
        QCOMPARE(l.scannen.left(), breite - 1500);
        for (const QRectF &k : l.knoepfe) {
            QCOMPARE(k.left(), breite - 1800);
            QVERIFY(k.right() < breite && k.bottom() < hoehe);
            QVERIFY(!k.intersects(l.vorschau) && !k.intersects(l.liste) && !k.intersects(l.scannen));
        }
    }
};

QTEST_MAIN(TestScandatabase)
#include "tst_scandatabase.moc"
