// Received files in the editor against a real archivd: taken in with
// "Datei…" and by dropping them on the page view, stored byte for byte,
// shown read-only, and an e-invoice turned into a Beleg (type, number from
// the label counter, supplier, values, duplicates refused).
#include "app/DatumFeld.h"
#include "common/Kennungen.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Doksliste.h"
#include "editor/Seitenansicht.h"
#include "einvoice/Ansicht.h"
#include "scan/Stapelscan.h"
#include "server/ErgebnisMenge.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"
#include "support/Textbreite.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace archiv;
using archiv::test::DialogFahrer;
using archiv::test::teil;

namespace {

QString beispiele()
{
    return qEnvironmentVariable("ARCHIV_EINVOICE");
}

QByteArray lesen(const QString &pfad)
{
    QFile f(pfad);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString schreiben(const QString &pfad, const QByteArray &inhalt)
{
    QFile f(pfad);
    if (f.open(QIODevice::WriteOnly))
        f.write(inhalt);
    return pfad;
}

QByteArray bild(const char *format)
{
    QImage b(400, 300, QImage::Format_RGB32);
    b.fill(QColor(200, 30, 30));
    QByteArray daten;
    QBuffer puffer(&daten);
    puffer.open(QIODevice::WriteOnly);
    b.save(&puffer, format);
    return daten;
}

// Files dropped from the desktop onto a widget, as the window system
// delivers them: enter, move, drop.
void ablegen(QWidget *ziel, const QStringList &pfade)
{
    QMimeData daten;
    QList<QUrl> urls;
    for (const QString &p : pfade)
        urls << QUrl::fromLocalFile(p);
    daten.setUrls(urls);
    const QPoint mitte = ziel->rect().center();
    QDragEnterEvent betreten(mitte, Qt::CopyAction, &daten, Qt::LeftButton, {});
    QCoreApplication::sendEvent(ziel, &betreten);
    QVERIFY(betreten.isAccepted());
    QDragMoveEvent bewegen(mitte, Qt::CopyAction, &daten, Qt::LeftButton, {});
    QCoreApplication::sendEvent(ziel, &bewegen);
    QDropEvent ablage(QPointF(mitte), Qt::CopyAction, &daten, Qt::LeftButton, {});
    QCoreApplication::sendEvent(ziel, &ablage);
}

} // namespace

class TestOriginale : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    std::unique_ptr<test::MeldungsRecorder> m_meldungen;
    QTemporaryDir m_dir;

    std::unique_ptr<editor::Bild> oeffnen(const QString &id = {})
    {
        global::Modus = QStringLiteral("bearbeiten");
        auto b = std::make_unique<editor::Bild>(QStringLiteral("1"));
        b->laden();
        b->show();
        if (!id.isEmpty())
            b->belegLaden(id, true);
        return b;
    }
    // "Datei…" clicked and the files picked in the file dialog.
    static void dateiKlicken(editor::Bild *b, const QStringList &pfade)
    {
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("DateiAuswahl"), [&](QDialog *d) {
            auto *f = qobject_cast<QFileDialog *>(d);
            QStringList namen;
            for (const QString &p : pfade)
                namen << u'"' + QFileInfo(p).fileName() + u'"';
            f->setDirectory(QFileInfo(pfade.constFirst()).absolutePath());
            // Typed into the name field and confirmed with Return.
            auto *feld = f->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(feld);
            feld->setText(namen.size() == 1 ? QFileInfo(pfade.constFirst()).fileName() : namen.join(u' '));
            QTest::keyClick(feld, Qt::Key_Return);
        });
        QTest::mouseClick(teil<QPushButton>(b, "BUDatei"), Qt::LeftButton);
        QCOMPARE(fahrer.anzahl(QStringLiteral("DateiAuswahl")), 1);
    }
    static void speichern(editor::Bild *b, DialogFahrer *weitere = nullptr)
    {
        std::optional<DialogFahrer> eigener;
        if (!weitere)
            eigener.emplace();
        DialogFahrer &fahrer = weitere ? *weitere : *eigener;
        fahrer.bei(QStringLiteral("dokspeich"), [](QDialog *d) { DialogFahrer::klicken(d, QStringLiteral("BUOK")); });
        QTest::mouseClick(teil<QPushButton>(b, "BUSpeich"), Qt::LeftButton);
        QCOMPARE(fahrer.anzahl(QStringLiteral("dokspeich")), 1);
    }
    struct Element
    {
        QString doktyp, dateiname, bericht;
        QByteArray inhalt;
    };
    QList<Element> elemente(const QString &id)
    {
        server::Verbindung frisch;
        if (!frisch.Connect(m_server->verbindungstext()))
            return {};
        server::Objekt beleg = frisch.OpenId(QStringLiteral("AR.Dokumente"), id);
        server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));
        QList<Element> l;
        for (int n = 1; n <= doks.Count(); ++n) {
            server::Objekt e = doks.getat(n);
            server::Datenstrom s = e.strom(QStringLiteral("dok"));
            l.append({e.get(QStringLiteral("doktyp")), e.get(QStringLiteral("dateiname")), e.get(QStringLiteral("bericht")),
                      s.Read(s.groesse())});
        }
        return l;
    }
    QMap<int, QString> indexwerte(const QString &id)
    {
        QMap<int, QString> werte;
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
        rs.Execute(QStringList{QStringLiteral("1"), id});
        while (rs.Next())
            werte[rs.GetData(1).toInt()] += rs.GetData(2);
        return werte;
    }
    qint64 zaehler(const QString &belart)
    {
        return m_v->OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||") + belart).get(QStringLiteral("lastbelnrbarc")).toLongLong();
    }
    // A stored Beleg with one scanned document.
    QString ersterBeleg(const QString &belart)
    {
        static int laufend = 0;
        return test::Belegbau(*m_v).anlegen(belart, QStringLiteral("ORIG-%1").arg(++laufend), {{QStringLiteral("tif"), {}, test::Belegbau::tiff(1)}});
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (beispiele().isEmpty() || !QDir(beispiele()).exists())
            QSKIP("the sample invoices (ARCHIV_EINVOICE) are not there");
        QVERIFY(m_dir.isValid());
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
    }

    void init()
    {
        test::zuruecksetzen();
        global::Archivverbindung = m_v;
        global::Anmeldung = QStringLiteral("MA01");
        m_meldungen = std::make_unique<test::MeldungsRecorder>();
    }

    void cleanup() { m_meldungen.reset(); }

    // Every shared sample, a photo in both formats and a file whose name
    // has umlauts, into one stored Beleg with one "Datei…": each its own
    // element, of its kind, under its name, byte for byte.
    void jedeDateiBleibtWieSieKam()
    {
        QStringList pfade;
        QDirIterator it(beispiele(), {QStringLiteral("*.xml"), QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            pfade << it.next();
        QVERIFY(pfade.size() > 100);
        // The file dialog picks from one folder: the samples are copied into one.
        QStringList kopien;
        for (const QString &p : std::as_const(pfade)) {
            const QString ziel = m_dir.filePath(QString::number(kopien.size()) + u'_' + QFileInfo(p).fileName());
            QVERIFY(QFile::copy(p, ziel));
            kopien << ziel;
        }
        kopien << schreiben(m_dir.filePath(QStringLiteral("Foto Lieferschein.png")), bild("PNG"))
               << schreiben(m_dir.filePath(QStringLiteral("Quittung.jpg")), bild("JPG"))
               << schreiben(m_dir.filePath(QStringLiteral("Rechnung Müller & Söhne – März.pdf")), lesen(kopien.constFirst().endsWith(u".pdf") ? kopien.constFirst() : pfade.constLast()));
        const QString id = ersterBeleg(QStringLiteral("KO"));
        QVERIFY(!id.isEmpty());
        const int vorher = elemente(id).size();

        auto b = oeffnen(id);
        dateiKlicken(b.get(), kopien);
        QCOMPARE(m_meldungen->texte(), QStringList());
        QVERIFY(b->zeigtOriginal());
        QCOMPARE(b->findChild<editor::Doksliste *>()->count(), vorher + kopien.size());
        speichern(b.get());
        QCOMPARE(m_meldungen->texte(), QStringList());

        const QList<Element> gespeichert = elemente(id);
        QCOMPARE(gespeichert.size(), vorher + kopien.size());
        for (int i = 0; i < kopien.size(); ++i) {
            const Element &e = gespeichert.at(vorher + i);
            const QString name = QFileInfo(kopien.at(i)).fileName();
            QCOMPARE(e.dateiname, name);
            QVERIFY2(e.inhalt == lesen(kopien.at(i)), qPrintable(name));
            const QString erwartet = name.endsWith(u".xml") ? QStringLiteral("xml")
                : name.endsWith(u".png")                   ? QStringLiteral("png")
                : name.endsWith(u".jpg")                   ? QStringLiteral("jpg")
                                                           : QStringLiteral("pdf");
            QCOMPARE(e.doktyp, erwartet);
        }
    }

    // A stored original shown again: read-only (the tools that would change
    // its pages are off and say why), a PDF in colour, an XML invoice as
    // its readable view; index values still save, and the file stays.
    void originalIstNurZumAnsehen()
    {
        const QString pdf = schreiben(m_dir.filePath(QStringLiteral("Auftrag.pdf")), [] {
            QDirIterator it(beispiele(), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
            return lesen(it.next());
        }());
        const QString id = ersterBeleg(QStringLiteral("VE"));
        auto b = oeffnen(id);
        dateiKlicken(b.get(), {pdf});
        speichern(b.get());
        const int n = elemente(id).size();
        b.reset();

        for (int durchgang = 0; durchgang < 2; ++durchgang) { // a window used twice
            global::Modus = QStringLiteral("bearbeiten");
            auto zweites = std::make_unique<editor::Bild>(QStringLiteral("1"));
            zweites->laden();
            zweites->show();
            zweites->belegLaden(id, true, editor::Bild::Dokumentwahl::Neuestes);
            QVERIFY(zweites->zeigtOriginal());
            QVERIFY(zweites->ansicht()->zeigtFarbe());
            test::bildSichern(zweites.get(), QStringLiteral("editor-pdf-original"));
            QVERIFY(zweites->ansicht()->seiten().anzahl() >= 1);
            QVERIFY(!zweites->werkzeugAktion(1)->isEnabled());
            QVERIFY(!zweites->werkzeugAktion(4)->isEnabled());
            QCOMPARE(zweites->werkzeugAktion(1)->toolTip(), editor::Bild::originalSperrText());
            // Triggered anyway (a key, a script): nothing turns.
            const QByteArray vorher = zweites->ansicht()->seiten().kodiert(0).g4;
            zweites->werkzeug(1);
            zweites->seiteLoeschen(1);
            QCOMPARE(zweites->ansicht()->seiten().kodiert(0).g4, vorher);
            zweites->Zustand();
            QVERIFY(teil<QPushButton>(zweites.get(), "BUSpeich")->isEnabled());
            speichern(zweites.get());
            QCOMPARE(m_meldungen->texte(), QStringList());
            const QList<Element> danach = elemente(id);
            QCOMPARE(danach.size(), n);
            QCOMPARE(danach.last().inhalt, lesen(pdf));
        }
    }

    // An e-invoice dropped on a new Beleg's page view becomes an incoming
    // invoice: type, number from the label counter, date, supplier by VAT
    // ID, the amounts; the same invoice a second time is refused with the
    // Beleg it is archived as.
    void eRechnungWirdBeleg_data()
    {
        QTest::addColumn<QString>("datei");
        QTest::addColumn<QString>("nummer");
        QTest::addColumn<QString>("datum");
        QTest::addColumn<QString>("brutto");
        QTest::newRow("UBL") << QStringLiteral("kosit/business-cases/standard/01.01a-INVOICE_ubl.xml") << QStringLiteral("123456XX")
                             << QStringLiteral("2016-04-04") << QStringLiteral("");
        QTest::newRow("CII") << QStringLiteral("kosit/business-cases/standard/01.01a-INVOICE_uncefact.xml") << QStringLiteral("123456XX")
                             << QStringLiteral("2016-04-04") << QStringLiteral("");
    }
    void eRechnungWirdBeleg()
    {
        QFETCH(QString, datei);
        const QString quelle = QDir(beispiele()).filePath(datei);
        if (!QFile::exists(quelle))
            QSKIP("sample not there");
        const einvoice::Leseergebnis lesung = einvoice::lesen(lesen(quelle));
        QVERIFY(lesung.rechnung);
        QString ustId = lesung.rechnung->verkaeufer.ustId;
        // Each row its own invoice number, so the first drop is no duplicate.
        QByteArray inhalt = lesen(quelle);
        const QString nummer = lesung.rechnung->nummer + u'-' + QString::fromLatin1(QTest::currentDataTag());
        inhalt.replace(lesung.rechnung->nummer.toUtf8() + "<", nummer.toUtf8() + "<");
        const QString pfad = schreiben(m_dir.filePath(QStringLiteral("E-Rechnung Lieferant ") + QFileInfo(datei).fileName()), inhalt);
        const qint64 zuvor = zaehler(QStringLiteral("ER"));

        auto b = oeffnen();
        ablegen(b->ansicht()->viewport(), {pfad});
        QCOMPARE(m_meldungen->texte(), QStringList());
        QVERIFY(b->zeigtOriginal());
        QCOMPARE(teil<QComboBox>(b.get(), "Belart")->currentData().toString(), QStringLiteral("ER"));
        test::bildSichern(b.get(), QStringLiteral("editor-erechnung-") + QString::fromLatin1(QTest::currentDataTag()));
        {
            // The Beleg tab: what was filled in, read by the user.
            QTabBar *reiter = teil<QTabWidget>(b.get(), "Tab1")->tabBar();
            QTest::mouseClick(reiter, Qt::LeftButton, {}, reiter->tabRect(1).center());
            test::bildSichern(b.get(), QStringLiteral("editor-erechnung-beleg-") + QString::fromLatin1(QTest::currentDataTag()));
            const QStringList abgeschnitten = test::abgeschnitteneTexte(b.get());
            QVERIFY2(abgeschnitten.isEmpty(), qPrintable(abgeschnitten.join(u'\n')));
            QVERIFY(teil<QLineEdit>(b.get(), "Belnr")->isVisible());
            QCOMPARE(teil<QLineEdit>(b.get(), "Belnr")->placeholderText(), QStringLiteral("wird vergeben"));
        }
        QCOMPARE(teil<app::DatumFeld>(b.get(), "Beldat")->datum(), QDate::fromString(lesung.rechnung->datum, Qt::ISODate));
        QVERIFY(teil<QLineEdit>(b.get(), "Belnr")->text().isEmpty());
        speichern(b.get());
        QCOMPARE(m_meldungen->texte(), QStringList());
        const QString belnr = teil<QLineEdit>(b.get(), "Belnr")->text();
        QCOMPARE(belnr, QString::number(zuvor + 1));
        QCOMPARE(zaehler(QStringLiteral("ER")), zuvor + 1);
        const QString id = global::DokId;
        QVERIFY(!id.isEmpty());
        const QMap<int, QString> werte = indexwerte(id);
        QCOMPARE(werte.value(common::eigenschaft::Rechnungsnummer).trimmed(), nummer);
        QCOMPARE(werte.value(common::eigenschaft::Bruttobetrag).trimmed(), QStringLiteral("336,90"));
        QCOMPARE(werte.value(common::eigenschaft::Waehrung).trimmed(), lesung.rechnung->waehrung);
        // The demo's supplier 70001 has the sellers' VAT ID of these samples.
        QVERIFY2(ustId.remove(u' ') == QLatin1String("DE123456789"), qPrintable(ustId));
        QCOMPARE(werte.value(common::eigenschaft::Lieferant).trimmed(), QStringLiteral("70001"));
        QCOMPARE(elemente(id).constFirst().inhalt, inhalt);
        b.reset();

        // The same invoice again, in a new window of the same program run.
        m_meldungen->antworte(common::Antwort::Nein);
        auto zweites = oeffnen();
        ablegen(zweites->ansicht()->viewport(), {pfad});
        QCOMPARE(m_meldungen->texte(), QStringList{QStringLiteral("Rechnung bereits archiviert als ER %1 vom %2\n\nDen Beleg öffnen?")
                                                        .arg(belnr, QDate::fromString(lesung.rechnung->datum, Qt::ISODate)
                                                                        .toString(QStringLiteral("dd.MM.yyyy")))});
        QVERIFY(!zweites->zeigtOriginal());
        QCOMPARE(zweites->findChild<editor::Doksliste *>()->count(), 0);
        QCOMPARE(zaehler(QStringLiteral("ER")), zuvor + 1);
    }

    // A seller the master data does not know: the user is told and picks the
    // supplier in the lookup; the rest is filled in all the same.
    void unbekannterLieferantWirdGefragt()
    {
        const QString quelle = QDir(beispiele()).filePath(QStringLiteral("kosit/technical-cases/cius/01.05_minimal_test_ubl.xml"));
        if (!QFile::exists(quelle))
            QSKIP("sample not there");
        const QString pfad = schreiben(m_dir.filePath(QStringLiteral("unbekannt.xml")), lesen(quelle));
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("SuLief"), [](QDialog *d) { d->reject(); });
        auto b = oeffnen();
        ablegen(b->ansicht()->viewport(), {pfad});
        QCOMPARE(fahrer.anzahl(QStringLiteral("SuLief")), 1);
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        QVERIFY2(m_meldungen->texte().constFirst().contains(QStringLiteral("gibt es in den Stammdaten nicht")), qPrintable(m_meldungen->texte().constFirst()));
        QVERIFY(b->zeigtOriginal());
        QCOMPARE(teil<QComboBox>(b.get(), "Belart")->currentData().toString(), QStringLiteral("ER"));
    }

    // An invoice whose sums do not add up is archived as it came, marked
    // "E-Rechnung mit Hinweisen" with the report beside the file.
    void fehlerhafteRechnungWirdMarkiert()
    {
        const QString quelle = QDir(beispiele()).filePath(QStringLiteral("kosit/business-cases/standard/01.01a-INVOICE_ubl.xml"));
        if (!QFile::exists(quelle))
            QSKIP("sample not there");
        QByteArray inhalt = lesen(quelle);
        const einvoice::Leseergebnis lesung = einvoice::lesen(inhalt);
        QVERIFY(lesung.rechnung);
        inhalt.replace(lesung.rechnung->nummer.toUtf8() + "<", "FALSCH-1<");
        const QByteArray brutto = lesung.rechnung->summeBrutto.toUtf8();
        const qsizetype stelle = inhalt.indexOf("TaxInclusiveAmount");
        QVERIFY(stelle > 0);
        inhalt.replace(inhalt.indexOf(brutto, stelle), brutto.size(), "999999.99");
        const QString pfad = schreiben(m_dir.filePath(QStringLiteral("fehlerhaft.xml")), inhalt);

        auto b = oeffnen();
        ablegen(b->ansicht()->viewport(), {pfad});
        auto *hinweis = teil<QLabel>(b.get(), "LabHinweis");
        QVERIFY(hinweis->isVisible());
        QCOMPARE(hinweis->text(), QString::fromUtf8(einvoice::MitHinweisen));
        QVERIFY(!hinweis->toolTip().isEmpty());
        test::bildSichern(b.get(), QStringLiteral("editor-hinweis"));
        speichern(b.get());
        const QList<Element> e = elemente(global::DokId);
        QCOMPARE(e.size(), 1);
        QCOMPARE(e.first().inhalt, inhalt);
        QCOMPARE(e.first().bericht, hinweis->toolTip());
    }

    // A received file waiting in the scan store, taken into the editor with
    // "Scan Dokumente" beside a scanned page of the same number: the page
    // goes into the TIFF, the file becomes an element of its own as it came,
    // and both records leave the store in the Beleg's save.
    void digitalerDatensatzAusDemScanspeicher()
    {
        const QByteArray pdf = [] {
            QDirIterator it(beispiele(), {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
            return lesen(it.next());
        }();
        const QString nummer = QStringLiteral("ERORIG-SPEICHER");
        const QString id = scan::dateiAblegen(*m_v, QStringLiteral("Lieferschein Köln.pdf"), QStringLiteral("pdf"), pdf);
        {
            // Its Belegnummer, as given in the scan station's edit dialog.
            server::Objekt r = m_v->OpenId(QStringLiteral("AR.Scandat"), id);
            r.set(QStringLiteral("dokument"), nummer);
            QCOMPARE(r.SYS_Save(), 1);
        }
        scan::scanAblegen(*m_v, test::Belegbau::tiff(1), 1, nummer);
        global::ScannerDa = true;
        auto b = oeffnen();
        DialogFahrer fahrer;
        fahrer.bei(QStringLiteral("scandatabase"), [nummer](QDialog *d) {
            auto *liste = d->findChild<QTreeWidget *>(QStringLiteral("LIBelege"));
            const auto treffer = liste->findItems(nummer, Qt::MatchExactly);
            QVERIFY(!treffer.isEmpty());
            const QRect zeile = liste->visualItemRect(treffer.first());
            QTest::mouseClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
            QTest::mouseDClick(liste->viewport(), Qt::LeftButton, {}, zeile.center());
        });
        QTest::mouseClick(teil<QPushButton>(b.get(), "BUScandatabase"), Qt::LeftButton);
        QCOMPARE(fahrer.anzahl(QStringLiteral("scandatabase")), 1);
        // The scanned page stays in the view; the file waits as a row of its own.
        auto *doks = b->findChild<editor::Doksliste *>();
        QCOMPARE(doks->count(), 1);
        QVERIFY(!b->zeigtOriginal());
        QCOMPARE(b->ansicht()->seiten().anzahl(), 1);
        teil<app::DatumFeld>(b.get(), "Beldat")->setzeDatum(QDate(2026, 12, 1));
        speichern(b.get(), &fahrer);
        QCOMPARE(m_meldungen->texte(), QStringList());
        const QList<Element> e = elemente(global::DokId);
        QCOMPARE(e.size(), 2);
        QCOMPARE(e.at(0).doktyp, QStringLiteral("tif"));
        QCOMPARE(e.at(1).doktyp, QStringLiteral("pdf"));
        QCOMPARE(e.at(1).dateiname, QStringLiteral("Lieferschein Köln.pdf"));
        QCOMPARE(e.at(1).inhalt, pdf);
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        rs.Execute(QStringList{nummer});
        QVERIFY(!rs.Next()); // both records left the store
    }

    // Refused files say why and leave the rest: an empty file, one of a
    // kind the archive does not keep.
    void abgelehnteDateienSagenWarum()
    {
        const QString leer = schreiben(m_dir.filePath(QStringLiteral("leer.pdf")), {});
        const QString exe = schreiben(m_dir.filePath(QStringLiteral("rechnung.pdf.exe")), QByteArray("MZ\x90\x00 not a document", 20));
        const QString png = schreiben(m_dir.filePath(QStringLiteral("beleg.png")), bild("PNG"));
        auto b = oeffnen(ersterBeleg(QStringLiteral("KO")));
        ablegen(b->ansicht()->viewport(), {leer, exe, png});
        QCOMPARE(m_meldungen->meldungen().size(), 1);
        const QString text = m_meldungen->texte().constFirst();
        QVERIFY2(text.contains(QStringLiteral("leer.pdf ist leer")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("rechnung.pdf.exe ist weder PDF")), qPrintable(text));
        QVERIFY(b->zeigtOriginal());
        QVERIFY(b->ansicht()->zeigtFarbe());
    }
};

QTEST_MAIN(TestOriginale)
#include "tst_originale.moc"
