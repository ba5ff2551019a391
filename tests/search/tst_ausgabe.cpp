// The result window's output against a real archivd: export as TIF and
// PDF, printing a page range, a PDF handed to the viewer, the backup info.
#include "common/Programmzustand.h"
#include "common/TempVerzeichnis.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seitendruck.h"
#include "imaging/Seitenliste.h"
#include "search/Ausgabe.h"
#include "search/Ergebnis.h"
#include "search/Suchkriterien.h"
#include "search/TrefferModell.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QFileInfo>
#include <QTest>
#include <QTreeWidget>

using namespace archiv;
using archiv::test::Belegbau;
using archiv::test::DialogFahrer;

namespace {

QByteArray lesen(const QString &pfad)
{
    QFile f(pfad);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QImage> bilder(const QByteArray &datei, const QString &name)
{
    QList<QImage> b;
    imaging::Seitenliste l;
    l.laden(datei, name);
    for (int i = 0; i < l.anzahl(); ++i)
        b << l.seite(i).bild().convertToFormat(QImage::Format_Mono);
    return b;
}

// Black runs down the column at 30 % of the width: on a printed sheet the
// page lies scaled and shifted by the margins, but that column crosses its bars.
int balkenAufDemBlatt(const QImage &blatt)
{
    int n = 0;
    bool schwarz = false;
    for (int y = 0; y < blatt.height(); ++y) {
        const bool jetzt = qGray(blatt.pixel(blatt.width() * 3 / 10, y)) < 128;
        if (jetzt && !schwarz)
            ++n;
        schwarz = jetzt;
    }
    return n;
}

} // namespace

class TestAusgabe : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QTemporaryDir m_dir;
    QString m_tif, m_pdf, m_ohne;
    QByteArray m_pdfInhalt;

    // The result window with the Beleg in row 0.
    std::unique_ptr<search::Ergebnis> ergebnis(const QString &belnr)
    {
        auto e = std::make_unique<search::Ergebnis>(nullptr, [] { return QStringLiteral("1"); });
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "", belnr, "", "", "", "500"});
        QList<search::Trefferzeile> zeilen;
        while (rs.Next())
            zeilen << search::trefferZeile(
                {rs.GetData(1), rs.GetData(2), rs.GetData(3), rs.GetData(4), rs.GetData(5), rs.GetData(6), rs.GetData(7)});
        e->modell()->setzen(std::move(zeilen));
        global::ErgZeile = 0;
        return e;
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        m_pdfInhalt = imaging::Bilddatei::kodieren(imaging::Bilddatei::lesen(Belegbau::tiff(3), QStringLiteral("s.tif")), imaging::Pdf);
        Belegbau bau(*m_v);
        m_tif = bau.anlegen(QStringLiteral("ER"), QStringLiteral("A-5"),
                            {{"tif", "alt", Belegbau::tiff(2)}, {"tif", "neu", Belegbau::tiff(5)}});
        m_pdf = bau.anlegen(QStringLiteral("ER"), QStringLiteral("A/../P:3"), {{"pdf", "", m_pdfInhalt}});
        m_ohne = bau.anlegen(QStringLiteral("ER"), QStringLiteral("A-0"), {});
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    void exportNachFormat_data()
    {
        QTest::addColumn<QString>("belnr");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("unveraendert");
        QTest::newRow("tif als tif") << "A-5"
                                     << "tif" << true;
        QTest::newRow("tif als pdf") << "A-5"
                                     << "pdf" << false;
        QTest::newRow("pdf als tif") << "A/../P:3"
                                     << "tif" << false;
        QTest::newRow("pdf als pdf") << "A/../P:3"
                                     << "pdf" << true;
    }

    void exportNachFormat()
    {
        QFETCH(QString, belnr);
        QFETCH(QString, format);
        QFETCH(bool, unveraendert);
        const QString id = belnr == QLatin1String("A-5") ? m_tif : m_pdf;
        const auto d = search::ausgabe::neuestesDokument(*m_v, id);
        QVERIFY(d);
        const QString ziel = m_dir.filePath(search::ausgabe::exportName(*d, format));
        search::ausgabe::exportieren(*d, format, ziel);
        const QByteArray geschrieben = lesen(ziel);
        if (unveraendert)
            QCOMPARE(geschrieben, d->inhalt);
        else
            QVERIFY(geschrieben != d->inhalt);
        QVERIFY(format == QLatin1String("pdf") ? geschrieben.startsWith("%PDF")
                                               : (geschrieben.startsWith("II") || geschrieben.startsWith("MM")));
        // Page for page the same pixels, whichever way it went.
        QCOMPARE(bilder(geschrieben, QStringLiteral("x.") + format), bilder(d->inhalt, QStringLiteral("x.") + d->doktyp));
    }

    // A received original: "wie gespeichert" writes its bytes whatever its
    // kind; "als PDF" of an XML invoice is its readable view, of a PDF the
    // file itself; "als TIF" its rendering page by page; printing has pages.
    void originaleExportieren_data()
    {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QString>("doktyp");
        QTest::newRow("XML-Rechnung") << QStringLiteral("kosit/business-cases/standard/01.01a-INVOICE_ubl.xml") << QStringLiteral("xml");
        QTest::newRow("hybride PDF") << QStringLiteral("zugferd/intarsys/EN16931/zugferd_2p0_EN16931_Miete.pdf") << QStringLiteral("pdf");
    }
    void originaleExportieren()
    {
        QFETCH(QString, datei);
        QFETCH(QString, doktyp);
        const QByteArray inhalt = lesen(qEnvironmentVariable("ARCHIV_EINVOICE") + u'/' + datei);
        if (inhalt.isEmpty())
            QSKIP("sample not there");
        const QString name = QFileInfo(datei).fileName();
        const QString id = Belegbau(*m_v).anlegen(QStringLiteral("ER"), QStringLiteral("ORIG-") + doktyp,
                                                  {{doktyp, name, inhalt, QStringLiteral("2026-12-01"), name}});
        const auto d = search::ausgabe::neuestesDokument(*m_v, id);
        QVERIFY(d);
        QVERIFY(d->original);
        QCOMPARE(d->doktyp, doktyp);
        QCOMPARE(search::ausgabe::exportName(*d, QString::fromLatin1(search::ausgabe::OriginalFormat)), QStringLiteral("ER_ORIG-") + doktyp + u'.' + doktyp);

        const QString original = m_dir.filePath(QStringLiteral("original.") + doktyp);
        search::ausgabe::exportieren(*d, QString::fromLatin1(search::ausgabe::OriginalFormat), original);
        QCOMPARE(lesen(original), inhalt);

        const QString pdf = m_dir.filePath(QStringLiteral("lesbar.pdf"));
        search::ausgabe::exportieren(*d, QStringLiteral("pdf"), pdf);
        const QByteArray alsPdf = lesen(pdf);
        QVERIFY(alsPdf.startsWith("%PDF"));
        if (doktyp == QLatin1String("pdf"))
            QCOMPARE(alsPdf, inhalt);
        else
            QVERIFY(!bilder(alsPdf, QStringLiteral("x.pdf")).isEmpty());

        const QString tif = m_dir.filePath(QStringLiteral("seiten.tif"));
        search::ausgabe::exportieren(*d, QStringLiteral("tif"), tif);
        QVERIFY(!bilder(lesen(tif), QStringLiteral("x.tif")).isEmpty());
        QVERIFY(einvoice::druckseiten(search::ausgabe::alsOriginal(*d)).anzahl() >= 1);
    }

    void exportUeberDenDialog()
    {
        auto e = ergebnis(QStringLiteral("A-5"));
        const QString ziel = m_dir.filePath(QStringLiteral("Rechnung März.pdf"));
        DialogFahrer fahrer;
        QString vorschlag;
        fahrer.bei(QStringLiteral("File1"), [&](QDialog *d) {
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            vorschlag = name->text();
            name->setText(ziel);
            QTest::keyClick(name, Qt::Key_Return);
        });
        e->speichals(QStringLiteral("pdf"));
        QCOMPARE(fahrer.gesehen(), QStringList{"File1"});
        QCOMPARE(vorschlag, QStringLiteral("ER_A-5.pdf"));
        QVERIFY(m_meldungen->texte().isEmpty());
        QCOMPARE(imaging::Bilddatei::lesen(ziel).size(), 5); // the newest document

        // Cancelled: nothing written.
        QFile::remove(ziel);
        fahrer.bei(QStringLiteral("File1"), [](QDialog *d) { d->reject(); });
        e->speichals(QStringLiteral("pdf"));
        QVERIFY(!QFile::exists(ziel));
        QVERIFY(m_meldungen->texte().isEmpty());
    }

    void exportInUnbeschreibbarenOrdner()
    {
        auto e = ergebnis(QStringLiteral("A-5"));
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("File1"), [&](QDialog *d) {
            auto *name = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            name->setText(m_dir.filePath(QStringLiteral("fehlt/gibt es nicht/x.tif")));
            QTest::keyClick(name, Qt::Key_Return);
        });
        e->speichals(QStringLiteral("tif"));
        QCOMPARE(m_meldungen->texte(), QStringList{"Dokument konnte nicht gespeichert werden"});
    }

    void dateinamenBleibenImOrdner()
    {
        const auto d = search::ausgabe::neuestesDokument(*m_v, m_pdf);
        QVERIFY(d);
        QCOMPARE(search::ausgabe::exportName(*d, QStringLiteral("tif")), QStringLiteral("ER_A..P3.tif"));
        QUrl gezeigt;
        const auto alt = search::ausgabe::setzeBetrachter([&gezeigt](const QUrl &u) {
            gezeigt = u;
            return true;
        });
        QVERIFY(search::ausgabe::pdfZeigen(*d));
        search::ausgabe::setzeBetrachter(alt);
        const QFileInfo datei(gezeigt.toLocalFile());
        QCOMPARE(datei.fileName(), QStringLiteral("ERA..P3.pdf"));
        QCOMPARE(datei.absolutePath(), QFileInfo(common::tempDatei(QStringLiteral("x"))).absolutePath());
        QCOMPARE(lesen(datei.filePath()), m_pdfInhalt);
        QVERIFY(!search::ausgabe::neuestesDokument(*m_v, m_ohne));
    }

    void druckbereich_data()
    {
        QTest::addColumn<int>("von");
        QTest::addColumn<int>("bis");
        QTest::addColumn<int>("seiten");
        QTest::newRow("2 bis 3 von 5") << 2 << 3 << 2;
        QTest::newRow("alle") << 1 << 5 << 5;
        QTest::newRow("über das Ende") << 4 << 9 << 2;
        QTest::newRow("leer") << 3 << 2 << 0;
    }

    void druckbereich()
    {
        QFETCH(int, von);
        QFETCH(int, bis);
        QFETCH(int, seiten);
        imaging::Seitenliste l;
        l.laden(Belegbau::tiff(5), QStringLiteral("f.tif"));
        QPrinter drucker(QPrinter::HighResolution);
        drucker.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = m_dir.filePath(QStringLiteral("druck.pdf"));
        QFile::remove(pdf);
        drucker.setOutputFileName(pdf);
        QCOMPARE(imaging::seitenDrucken(l, drucker, von, bis), seiten);
        if (seiten == 0) {
            QVERIFY(!QFile::exists(pdf));
            return;
        }
        // The printed pages are the ones asked for: page n has n bars.
        const QList<QImage> gedruckt = bilder(lesen(pdf), QStringLiteral("druck.pdf"));
        QCOMPARE(gedruckt.size(), seiten);
        QCOMPARE(balkenAufDemBlatt(gedruckt.first()), von);
        QCOMPARE(balkenAufDemBlatt(gedruckt.last()), von + seiten - 1);
    }

    void druckenUeberDasMenue()
    {
        // "Drucken" of the popup: the dialog's page range 2 to 3 of the
        // newest document (5 pages) gives two sheets, pages 2 and 3.
        auto e = ergebnis(QStringLiteral("A-5"));
        const QString pdf = m_dir.filePath(QStringLiteral("menue.pdf"));
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("Print1"), [&pdf](QDialog *d) {
            auto *dialog = qobject_cast<QPrintDialog *>(d);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Dokument drucken"));
            QCOMPARE(dialog->minPage(), 1);
            QCOMPARE(dialog->maxPage(), 5);
            QPrinter *drucker = dialog->printer();
            drucker->setOutputFormat(QPrinter::PdfFormat);
            drucker->setOutputFileName(pdf);
            drucker->setPrintRange(QPrinter::PageRange);
            drucker->setFromTo(2, 3);
            // As the dialog's "Drucken" ends, without it reading its own fields again.
            d->done(QDialog::Accepted);
        });
        e->findChild<QAction *>(QStringLiteral("medrucken"))->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList{"Print1"});
        QVERIFY(m_meldungen->texte().isEmpty());
        const QList<QImage> gedruckt = bilder(lesen(pdf), QStringLiteral("menue.pdf"));
        QCOMPARE(gedruckt.size(), 2);
        QCOMPARE(balkenAufDemBlatt(gedruckt.at(0)), 2);
        QCOMPARE(balkenAufDemBlatt(gedruckt.at(1)), 3);
    }

    void befehleOhneServerBeendenNichts()
    {
        // The server is gone (or the key revoked) when the user picks a
        // command of the popup: each says so, and the program goes on.
        test::ArchivServer eigener(test::ArchivServer::Inhalt::Demo, 3);
        QVERIFY2(eigener.starten(), qPrintable(eigener.fehler()));
        auto v = std::make_shared<server::Verbindung>();
        QVERIFY(v->Connect(eigener.verbindungstext()));
        global::Archivverbindung = v;
        Belegbau bau(*v);
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("WEG-1"), {{"tif", "", Belegbau::tiff(1)}});
        auto e = std::make_unique<search::Ergebnis>(nullptr, [] { return QStringLiteral("1"); });
        {
            server::ErgebnisMenge rs = v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
            rs.Execute(QStringList{"1", "", "WEG-1", "", "", "", "500"});
            QList<search::Trefferzeile> zeilen;
            while (rs.Next())
                zeilen << search::trefferZeile(
                    {rs.GetData(1), rs.GetData(2), rs.GetData(3), rs.GetData(4), rs.GetData(5), rs.GetData(6), rs.GetData(7)});
            e->modell()->setzen(std::move(zeilen));
        }
        global::ErgZeile = 0;
        eigener.stoppen();
        DialogFahrer fahrer;
        const QStringList befehle{"medrucken", "meinfodvd"};
        for (const QString &befehl : befehle)
            e->findChild<QAction *>(befehl)->trigger();
        QCOMPARE(fahrer.gesehen(), QStringList());
        QCOMPARE(m_meldungen->meldungen().size(), befehle.size());
        for (const common::MeldungsAnfrage &m : m_meldungen->meldungen())
            QVERIFY2(m.text.contains(QStringLiteral("Archivserver")), qPrintable(m.text));
        e->findChild<QAction *>(QStringLiteral("sptif"))->trigger();
        QCOMPARE(m_meldungen->texte().last(), QStringLiteral("Dokument konnte nicht gespeichert werden"));
        // The id is known without the server; its last change is not.
        e->findChild<QAction *>(QStringLiteral("infoid"))->trigger();
        QVERIFY(m_meldungen->texte().last().startsWith(QStringLiteral("Dokumentid = ")));
        global::Archivverbindung = m_v;
    }

    void infoDvdZeigtDieSicherungen()
    {
        // Backup records are written on the server only.
        for (const char *dvd : {"DVD-2026-05", "DVD-2026-06"})
            QVERIFY(m_server->sqlite(QStringLiteral("INSERT INTO ar_sicherung (iddokumente, dvd, datum) VALUES (%1, '%2', '2026-07-01')")
                                         .arg(m_tif, QLatin1String(dvd))));
        auto e = ergebnis(QStringLiteral("A-5"));
        DialogFahrer fahrer;
        QString titel;
        QStringList zeilen;
        fahrer.bei(QStringLiteral("infodvd"), [&](QDialog *d) {
            titel = d->windowTitle();
            auto *l = d->findChild<QTreeWidget *>(QStringLiteral("list1"));
            for (int i = 0; i < l->topLevelItemCount(); ++i)
                zeilen << l->topLevelItem(i)->text(0);
            d->close();
        });
        e->findChild<QAction *>(QStringLiteral("meinfodvd"))->trigger();
        QCOMPARE(titel, QStringLiteral("Info - DVD    id=") + m_tif);
        QCOMPARE(zeilen, QStringList({"DVD-2026-05", "DVD-2026-06"}));
    }
};

QTEST_MAIN(TestAusgabe)
#include "tst_ausgabe.moc"
