// The main window's "Volltext" field against a real archivd with readers,
// on SQLite and (ARCHIV_TEST_DB=postgres) PostgreSQL:
// typed words narrow "Suchen" with the other criteria, umlauts as typed;
// an empty field searches as before; a query the server refuses says why.
#include "app/Einstellungen.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Seitenansicht.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"
#include "search/Archiv.h"
#include "search/Ausgabe.h"
#include "search/Ergebnis.h"
#include "search/TrefferModell.h"
#include "server/Verbindung.h"
#include "storage/Datenbank.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/PostgresCluster.h"
#include "support/Testumgebung.h"
#include "support/Textbreite.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

using namespace archiv;
using archiv::test::DialogFahrer;

namespace {

QByteArray pdfMitText(const QString &text)
{
    QByteArray daten;
    QBuffer puffer(&daten);
    puffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&puffer);
    QPainter p(&pdf);
    p.drawText(300, 600, text);
    p.end();
    return daten;
}

// Scanned pages: printed lines, 300 dpi, bilevel G4, one page per entry.
QByteArray gescannt(const QList<QStringList> &seiten)
{
    QList<imaging::KodierteSeite> kodiert;
    for (const QStringList &zeilen : seiten) {
        QImage bild(2480, 3508, QImage::Format_Grayscale8);
        bild.fill(Qt::white);
        QPainter p(&bild);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(60);
        p.setFont(f);
        int y = 400;
        for (const QString &z : zeilen) {
            p.drawText(250, y, z);
            y += 110;
        }
        p.end();
        kodiert << imaging::TiffDatei::kodieren(imaging::Seite(bild, 300, 300));
    }
    return imaging::Bilddatei::kodieren(kodiert, imaging::MehrseitigesTiff);
}

} // namespace

class TestVolltextsuche : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::unique_ptr<search::Archiv> m_archiv;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QString m_gescannt;

    // Documents the server's readers have read, on either database.
    qint64 gelesen() const
    {
        return archivd::Datenbank::oeffnen(m_server->dbPfad())
            ->wert(QStringLiteral("SELECT count(*) FROM ar_volltext_auftrag WHERE zustand = 'fertig'"))
            .toLongLong();
    }

    QStringList suchen(const QString &volltext, const QString &typ = {})
    {
        for (int i = 0; i < m_archiv->findChild<QTreeWidget *>(QStringLiteral("Belart"))->topLevelItemCount(); ++i) {
            QTreeWidgetItem *t = m_archiv->findChild<QTreeWidget *>(QStringLiteral("Belart"))->topLevelItem(i);
            t->setCheckState(0, t->text(0) == typ ? Qt::Checked : Qt::Unchecked);
        }
        auto *feld = m_archiv->findChild<QLineEdit *>(QStringLiteral("Volltext"));
        feld->clear();
        feld->setFocus();
        DialogFahrer::tasten(feld, volltext);
        QTest::mouseClick(m_archiv->findChild<QPushButton *>(QStringLiteral("Busuch")), Qt::LeftButton);
        QStringList nummern;
        const search::TrefferModell *m = m_archiv->ergebnis()->modell();
        for (int r = 0; r < m->rowCount(); ++r)
            nummern << m->index(r, 1).data().toString();
        return nummern;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (test::ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        test::einstellungenAbschirmen();
        test::zuruecksetzen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 30);
        QVERIFY2(m_server->starten({QStringLiteral("--ocr-threads"), QStringLiteral("1")}), qPrintable(m_server->fehler()));
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        test::Belegbau bau(v);
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("VS-1"), {{"pdf", "", pdfMitText(QStringLiteral("Kupferrohr für Müller-Lüdenscheidt"))}});
        bau.anlegen(QStringLiteral("LS"), QStringLiteral("VS-2"), {{"pdf", "", pdfMitText(QStringLiteral("Kupferrohr Lieferung"))}});
        m_gescannt = bau.anlegen(QStringLiteral("LS"), QStringLiteral("VS-3"),
                                 {{"tif", "", gescannt({{QStringLiteral("Lieferschein Seite eins")}, {QStringLiteral("Wasserwaage Aluminium")}})}});
        QTRY_VERIFY_WITH_TIMEOUT(gelesen() == 3,
                                 120000);
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("127.0.0.1"));
        app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), QString::number(m_server->port()));
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("anmeld"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUClose")); });
        m_archiv = std::make_unique<search::Archiv>();
        QVERIFY(m_archiv->laden());
        m_archiv->show();
    }

    // Each case with the messages of its own (the start asked for a login).
    void init()
    {
        m_meldungen.reset();
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    // One window, searched again and again as a working day does.
    void volltextEngtEin()
    {
        QCOMPARE(suchen(QStringLiteral("kupferrohr")), QStringList({QStringLiteral("VS-2"), QStringLiteral("VS-1")}));
        QCOMPARE(suchen(QStringLiteral("Kupferrohr"), QStringLiteral("Eingangsrechnung")), QStringList{QStringLiteral("VS-1")});
        QCOMPARE(suchen(QStringLiteral("MÜLLER lüden*")), QStringList{QStringLiteral("VS-1")});
        QCOMPARE(suchen(QStringLiteral("Messingrohr")), QStringList());
        // Emptied again: the search as without the field (the demo's Belege too).
        QVERIFY(suchen(QString()).size() > 2);
        QVERIFY2(m_meldungen->texte().isEmpty(), qPrintable(m_meldungen->texte().join(u'\n')));
    }

    // The result list says on which pages the words are, and only after a
    // full-text search.
    void fundstelleInDerListe()
    {
        auto *liste = m_archiv->ergebnis()->findChild<QTreeView *>(QStringLiteral("list"));
        const search::TrefferModell *m = m_archiv->ergebnis()->modell();
        const auto fundstellen = [&] {
            QStringList f;
            for (int r = 0; r < m->rowCount(); ++r)
                f << m->index(r, 1).data().toString() + u' ' + m->index(r, search::TrefferModell::SpalteFundstelle).data().toString();
            return f;
        };
        QCOMPARE(suchen(QStringLiteral("wasserwaage")), QStringList{QStringLiteral("VS-3")});
        QCOMPARE(fundstellen(), QStringList{QStringLiteral("VS-3 S. 2")});
        QVERIFY(!liste->isColumnHidden(search::TrefferModell::SpalteFundstelle));
        QCOMPARE(m->headerData(search::TrefferModell::SpalteFundstelle, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Fundstelle"));
        // Each word on its own page: both pages; a phrase only where it stands.
        suchen(QStringLiteral("Lieferschein Wasserwaage"));
        QCOMPARE(fundstellen(), QStringList{QStringLiteral("VS-3 S. 1, 2")});
        QVERIFY2(test::abgeschnitteneTexte(m_archiv->ergebnis()).isEmpty(), qPrintable(test::abgeschnitteneTexte(m_archiv->ergebnis()).join(u'\n')));
        test::bildSichern(m_archiv->ergebnis(), QStringLiteral("ergebnis-fundstelle"));
        suchen(QStringLiteral("\"seite eins\""));
        QCOMPARE(fundstellen(), QStringList{QStringLiteral("VS-3 S. 1")});
        QCOMPARE(suchen(QStringLiteral("kupfer*")).size(), 2);
        QCOMPARE(fundstellen(), QStringList({QStringLiteral("VS-2 S. 1"), QStringLiteral("VS-1 S. 1")}));
        QVERIFY(suchen(QString()).size() > 2);
        QVERIFY(liste->isColumnHidden(search::TrefferModell::SpalteFundstelle));
    }

    // The Beleg opened from a full-text search shows the page where the word
    // is, with the word marked where it stands.
    void trefferSeiteWirdGezeigt()
    {
        QCOMPARE(suchen(QStringLiteral("wasserwaage")), QStringList{QStringLiteral("VS-3")});
        QCOMPARE(global::Volltext, QStringLiteral("wasserwaage"));
        global::Modus = QStringLiteral("click");
        editor::Bild b(QStringLiteral("1"));
        b.laden();
        b.show();
        b.belegLaden(m_gescannt, true, editor::Bild::Dokumentwahl::Neuestes);
        QCOMPARE(b.ansicht()->seiten().aktuell(), 1);
        QCOMPARE(global::AktSeite, 2);
        const auto marken = b.ansicht()->markierungen();
        QCOMPARE(marken.keys(), QList<int>{1});
        QCOMPARE(marken.value(1).size(), 1);
        // Where the word was printed: left margin, the first line.
        const QRect box = marken.value(1).first();
        QVERIFY2(box.left() > 200 && box.left() < 320 && box.top() > 320 && box.bottom() < 420,
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
        test::bildSichern(&b, QStringLiteral("editor-volltreffer"));
        // One hit page: "Weiter" stays, "Zurück" goes to none before it.
        auto *weiter = b.findChild<QPushButton *>(QStringLiteral("BUTrefferWeiter"));
        QVERIFY(weiter && weiter->isVisible());
        QTest::mouseClick(b.findChild<QPushButton *>(QStringLiteral("BUTrefferZurueck")), Qt::LeftButton);
        QCOMPARE(global::AktSeite, 2);
        // Paged away with the arrow key, "Weiter" comes back to the hit.
        QTest::keyClick(b.ansicht(), Qt::Key_Left);
        QCOMPARE(global::AktSeite, 1);
        QTest::mouseClick(weiter, Qt::LeftButton);
        QCOMPARE(global::AktSeite, 2);
        QCOMPARE(b.ansicht()->seiten().aktuell(), 1);
    }

    // The working day's way: pages scanned into a Beleg in the editor and
    // saved; a few seconds later the main window finds it by a word on its
    // second page, and the Beleg opens on that page with the word marked.
    void imEditorGescanntUndGefunden()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        const QString id = test::Belegbau(v).anlegen(QStringLiteral("LS"), QStringLiteral("VS-4"), {});
        QTemporaryDir einzug;
        QFile stapel(QDir(einzug.path()).filePath(QStringLiteral("stapel.tif")));
        QVERIFY(stapel.open(QIODevice::WriteOnly));
        stapel.write(gescannt({{QStringLiteral("Lieferschein Nummer vier")}, {QStringLiteral("Kabeltrommel Gummischlauch")}}));
        stapel.close();
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("Ordner: ") + einzug.path());
        app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Drehen"), QStringLiteral("0"));
        global::Modus = QStringLiteral("bearbeiten");
        global::ScannerDa = true;
        global::Anmeldung = QStringLiteral("MA01");
        const qint64 vorher = gelesen();
        {
            editor::Bild b(QStringLiteral("1"));
            b.laden();
            b.show();
            b.belegLaden(id, true);
            QTest::mouseClick(b.findChild<QPushButton *>(QStringLiteral("BUScan")), Qt::LeftButton);
            QCOMPARE(global::SeitenAnz, 2);
            QVERIFY(b.speichernMit({false, QStringLiteral("gescannt"), false}));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            gelesen() > vorher, 60000);
        QCOMPARE(suchen(QStringLiteral("gummischlauch")), QStringList{QStringLiteral("VS-4")});
        global::Modus = QStringLiteral("click");
        editor::Bild b(QStringLiteral("1"));
        b.laden();
        b.show();
        b.belegLaden(id, true, editor::Bild::Dokumentwahl::Neuestes);
        QCOMPARE(global::AktSeite, 2);
        QCOMPARE(b.ansicht()->markierungen().value(1).size(), 1);
        QVERIFY2(m_meldungen->texte().isEmpty(), qPrintable(m_meldungen->texte().join(u'\n')));
    }

    // Export "als PDF" of a scanned document: the pages exactly as stored
    // (G4 passed through), with the words read on them as an invisible text
    // layer that any PDF tool finds.
    void exportMitTextschicht()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        std::optional<search::ausgabe::Dokument> d = search::ausgabe::neuestesDokument(v, m_gescannt);
        QVERIFY(d);
        search::ausgabe::textHolen(v, *d);
        QCOMPARE(d->text.size(), 2);
        QTemporaryDir dir;
        const QString ziel = dir.filePath(QStringLiteral("VS-3 Größe.pdf"));
        search::ausgabe::exportieren(*d, QStringLiteral("pdf"), ziel);
        QFile f(ziel);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray pdf = f.readAll();
        const QList<imaging::KodierteSeite> vorher = imaging::Bilddatei::lesen(d->inhalt, QStringLiteral("x.tif"));
        const QList<imaging::KodierteSeite> nachher = imaging::Bilddatei::lesen(pdf, QStringLiteral("x.pdf"));
        QCOMPARE(nachher.size(), vorher.size());
        for (qsizetype i = 0; i < vorher.size(); ++i)
            QCOMPARE(nachher.at(i).g4, vorher.at(i).g4);
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {ziel, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString gelesen = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(gelesen.contains(QStringLiteral("Wasserwaage")) && gelesen.contains(QStringLiteral("Lieferschein")), qPrintable(gelesen));
    }

    void abgelehnteAnfrageSagtWarum()
    {
        suchen(QStringLiteral("der und"));
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY2(m_meldungen->texte().constFirst().contains(QStringLiteral("kein Wort, nach dem sich suchen lässt")),
                 qPrintable(m_meldungen->texte().constFirst()));
    }
};

QTEST_MAIN(TestVolltextsuche)
#include "tst_volltextsuche.moc"
