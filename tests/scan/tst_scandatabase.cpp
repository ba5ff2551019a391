// The scan intake window at a scan station, driven by clicks, double-clicks
// and popup entries, against a real archivd.
#include "common/Programmzustand.h"
#include "imaging/TiffDatei.h"
#include "scan/Scandatabase.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QPushButton>
#include <QTemporaryDir>
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
    QString m_beleg;

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
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        Belegbau bau(*m_v);
        m_beleg = bau.anlegen(QStringLiteral("ER"), QStringLiteral("SD-1"), {});
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        global::Startmodus.clear();
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
        scan::Scandatabase f;
        f.show();
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
        scan::Scandatabase f;
        f.show();
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

    void uebernehmenAlles()
    {
        scan(QStringLiteral("ERSD-1"), 1);
        scan(QStringLiteral("ERSD-1"), 2);
        scan(QStringLiteral("ERSD-OHNE"), 1);
        scan::Scandatabase f;
        f.show();
        QTest::mouseClick(teil<QPushButton>(&f, "BU_Belegsuche"), Qt::LeftButton);
        QTest::mouseClick(teil<QPushButton>(&f, "buuebern"), Qt::LeftButton);
        // The assigned pages went into their Beleg; the other stays.
        QCOMPARE(zeilen(f), QStringList({"ERSD-OHNE/1"}));
        QVERIFY(m_meldungen->texte().isEmpty());
        server::Objekt b = m_v->OpenId(QStringLiteral("AR.Dokumente"), m_beleg);
        QCOMPARE(b.sammlung(QStringLiteral("Doks")).Count(), 1);
        QVERIFY(teil<QPushButton>(&f, "BUClose")->isEnabled());
    }
};

QTEST_MAIN(TestScandatabase)
#include "tst_scandatabase.moc"
