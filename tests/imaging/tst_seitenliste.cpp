#include "imaging/Bilddatei.h"
#include "imaging/PdfDatei.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/Seitendruck.h"
#include "imaging/Seitenliste.h"
#include "imaging/TiffDatei.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <poppler-qt6.h>

using namespace archiv::imaging;

namespace {

// A page whose content tells its number: a block of n stripes, and an
// asymmetric mark top left so that turning shows.
Seite nummerSeite(int n, int breite = 1240, int hoehe = 1754, int dpi = 150)
{
    Seite s = Seite::leer(breite, hoehe, dpi);
    for (int i = 0; i < n; ++i)
        for (int y = 200 + i * 30; y < qMin(hoehe, 215 + i * 30); ++y)
            for (int x = 300; x < qMin(breite, 900); ++x)
                s.bild().setPixel(x, y, 1);
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 100; ++x)
            s.bild().setPixel(x, y, 1);
    return s;
}

int streifen(const Seite &s)
{
    int n = 0;
    bool schwarz = false;
    for (int y = 150; y < s.hoehe(); ++y) {
        const bool jetzt = s.bild().pixelIndex(600, y) == 1;
        if (jetzt && !schwarz)
            ++n;
        schwarz = jetzt;
    }
    return n;
}

QList<int> reihenfolge(const Seitenliste &l)
{
    QList<int> r;
    for (int i = 0; i < l.anzahl(); ++i)
        r << streifen(l.seite(i));
    return r;
}

} // namespace

class TestSeitenliste : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void einfuegenLoeschenVerschieben()
    {
        Seitenliste l;
        QCOMPARE(l.aktuell(), -1);
        for (int i = 1; i <= 4; ++i)
            l.anhaengen(nummerSeite(i));
        QCOMPARE(l.anzahl(), 4);
        QCOMPARE(l.aktuell(), 0);
        QCOMPARE(reihenfolge(l), QList<int>({1, 2, 3, 4}));
        l.verschieben(0, 2);
        QCOMPARE(reihenfolge(l), QList<int>({2, 3, 1, 4}));
        l.verschieben(2, 0);
        l.verschieben(3, 1);
        QCOMPARE(reihenfolge(l), QList<int>({1, 4, 2, 3}));
        l.einfuegen(1, nummerSeite(5));
        QCOMPARE(reihenfolge(l), QList<int>({1, 5, 4, 2, 3}));
        l.setzeAktuell(4);
        l.loeschen(1, 2);
        QCOMPARE(reihenfolge(l), QList<int>({1, 2, 3}));
        QCOMPARE(l.aktuell(), 2);
        l.loeschen(2);
        QCOMPARE(l.aktuell(), 1);
        l.ersetzen(0, nummerSeite(7));
        QCOMPARE(reihenfolge(l), QList<int>({7, 2}));
        QVERIFY_THROWS_EXCEPTION(BildFehler, l.seite(2));
        QVERIFY_THROWS_EXCEPTION(BildFehler, l.einfuegen(5, nummerSeite(1)));
        l.loeschen(0, 10);
        QCOMPARE(l.anzahl(), 0);
        QCOMPARE(l.aktuell(), -1);
    }

    void drehen()
    {
        const Seite s = nummerSeite(2, 300, 200, 200);
        const Seite viertel = gedreht(s, 90);
        QCOMPARE(viertel.breite(), 200);
        QCOMPARE(viertel.hoehe(), 300);
        // The mark top left goes top right with a quarter turn clockwise.
        QCOMPARE(viertel.bild().pixelIndex(199 - 20, 20), 1);
        QCOMPARE(viertel.bild().pixelIndex(20, 20), 0);
        QVERIFY(gedreht(viertel, 270) == s);
        QVERIFY(gedreht(gedreht(s, 180), 180) == s);
        QCOMPARE(gedreht(s, 180).bild().pixelIndex(299 - 20, 199 - 20), 1);
        QVERIFY(gedreht(gedreht(gedreht(gedreht(s, 90), 90), 90), 90) == s);
        QVERIFY_THROWS_EXCEPTION(BildFehler, gedreht(s, 45));
        Seitenliste l;
        l.anhaengen(s);
        l.drehen(0, 90);
        QCOMPARE(l.seite(0).breite(), 200);
    }

    void normalisieren()
    {
        const Seite s = nummerSeite(1, 120, 80, 100);
        const QImage n = normalisiert(s.bild());
        QCOMPARE(n.color(0), qRgb(0, 0, 0));
        QCOMPARE(n.color(1), qRgb(255, 255, 255));
        // The same visible page.
        QCOMPARE(n.convertToFormat(QImage::Format_RGB32), s.bild().convertToFormat(QImage::Format_RGB32));
        QCOMPARE(normalisiert(n), n);
    }

    void einpassen_data()
    {
        QTest::addColumn<QString>("art");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QSizeF>("ziel");
        QTest::addColumn<QSizeF>("ausschnitt");
        // An A4 page (2480 x 3508) in a view of 800 x 600.
        QTest::newRow("width") << "B" << 1.0 << QSizeF(776, 800 * 3508.0 / 2480) << QSizeF(800, 800 * 3508.0 / 2480);
        QTest::newRow("height") << "H" << 1.0 << QSizeF(600 * 2480.0 / 3508, 582) << QSizeF(600 * 2480.0 / 3508, 600);
        QTest::newRow("height, zoom 2") << "H" << 2.0 << QSizeF(1200 * 2480.0 / 3508, 1164) << QSizeF(1200 * 2480.0 / 3508, 1200);
    }
    void einpassen()
    {
        QFETCH(QString, art);
        QFETCH(double, zoom);
        QFETCH(QSizeF, ziel);
        QFETCH(QSizeF, ausschnitt);
        const Einpassung e = archiv::imaging::einpassen(QSizeF(2480, 3508), QSizeF(800, 600), art, zoom);
        QVERIFY(e.gueltig);
        QCOMPARE(e.ziel, ziel);
        QCOMPARE(e.ausschnitt, ausschnitt);
        QVERIFY(!archiv::imaging::einpassen(QSizeF(2480, 3508), QSizeF(800, 600), QStringLiteral("X"), 1).gueltig);
    }

    void tiffUndPdfVerlustfrei_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("multi-page TIFF") << int(MehrseitigesTiff);
        QTest::newRow("PDF") << int(Pdf);
    }
    void tiffUndPdfVerlustfrei()
    {
        QFETCH(int, format);
        Seitenliste l;
        l.anhaengen(nummerSeite(1, 1654, 2339, 200));
        l.anhaengen(nummerSeite(2, 2480, 3508, 300));
        l.anhaengen(nummerSeite(3, 1001, 700, 300));
        const QString pfad = m_dir.filePath(QStringLiteral("drei.%1").arg(format));
        l.speichern(pfad, format);
        Seitenliste wieder;
        wieder.laden(pfad);
        QCOMPARE(wieder.anzahl(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(wieder.seite(i) == l.seite(i), qPrintable(QString::number(i)));
            // Not re-encoded: the same G4 bytes.
            QCOMPARE(wieder.kodiert(i).g4, l.kodiert(i).g4);
        }
        // Tools of the platform read it too.
        const QString werkzeug = format == Pdf ? QStringLiteral("qpdf") : QStringLiteral("tiffinfo");
        if (!QStandardPaths::findExecutable(werkzeug).isEmpty()) {
            QProcess p;
            p.start(werkzeug, format == Pdf ? QStringList{"--check", pfad} : QStringList{pfad});
            QVERIFY(p.waitForFinished());
            QCOMPARE(p.exitCode(), 0);
        }
        if (format == Pdf) {
            std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pfad);
            QVERIFY(doc);
            QCOMPARE(doc->numPages(), 3);
            // The first page renders black where the page is black.
            const QImage bild = doc->page(0)->renderToImage(200, 200);
            QCOMPARE(bild.size(), QSize(1654, 2339));
            QCOMPARE(qGray(bild.pixel(600, 205)), 0);
            QCOMPARE(qGray(bild.pixel(600, 100)), 255);
        }
    }

    void pdfFremderSeitenWirdGerastert()
    {
        // A PDF page that is no G4 image: drawn vector content.
        const QString pfad = m_dir.filePath(QStringLiteral("vektor.pdf"));
        {
            QPdfWriter w(pfad);
            w.setPageSize(QPageSize(QPageSize::A5));
            w.setResolution(300);
            QPainter p(&w);
            p.fillRect(QRect(100, 100, 400, 300), Qt::black);
        }
        const QList<KodierteSeite> seiten = Bilddatei::lesen(pfad);
        QCOMPARE(seiten.size(), 1);
        const Seite s = TiffDatei::dekodieren(seiten.first());
        QCOMPARE(s.dpiX(), 300);
        QVERIFY(qAbs(s.breite() - 1748) < 4); // A5 width at 300 dpi
        QCOMPARE(s.bild().pixelIndex(300, 250), 1);
        QCOMPARE(s.bild().pixelIndex(900, 900), 0);
    }

    void pdfDasNurPopplerLiest()
    {
        // QPDF refuses the file's encryption dictionary; Poppler draws it.
        QFile f(qEnvironmentVariable("ARCHIV_TESTDATA") + QStringLiteral("/imaging/verschluesselung_kaputt.pdf"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<KodierteSeite> seiten = Bilddatei::lesen(f.readAll(), QStringLiteral("verschluesselung_kaputt.pdf"));
        QCOMPARE(seiten.size(), 1);
        const Seite s = TiffDatei::dekodieren(seiten.first());
        // 200 × 200 pt at 300 dpi, a black square from 20 to 120 pt.
        QVERIFY(qAbs(s.breite() - 833) <= 1);
        QCOMPARE(s.bild().pixelIndex(300, 500), 1);
        QCOMPARE(s.bild().pixelIndex(700, 100), 0);
    }

    void riesigeSeiteWirdAbgelehnt()
    {
        // 200 × 200 inches: refused with the page named, before any drawing.
        QFile f(qEnvironmentVariable("ARCHIV_TESTDATA") + QStringLiteral("/imaging/riesenseite.pdf"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        try {
            Bilddatei::lesen(f.readAll(), QStringLiteral("riesenseite.pdf"));
            QFAIL("a page of 200 × 200 inches was drawn");
        } catch (const BildFehler &e) {
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.startsWith(QStringLiteral("riesenseite.pdf: Seite 1 ist zu groß")), e.what());
        }
    }

    void grosseSeiteMitWenigerAufloesung()
    {
        // A0 at 300 dpi would be 139 million pixels: drawn at a resolution
        // that keeps it within the bound, still readable.
        const QString pfad = m_dir.filePath(QStringLiteral("a0.pdf"));
        {
            QPdfWriter w(pfad);
            w.setPageSize(QPageSize(QPageSize::A0));
            w.setResolution(72);
            QPainter p(&w);
            p.fillRect(QRect(100, 100, 400, 300), Qt::black);
        }
        const QList<KodierteSeite> seiten = Bilddatei::lesen(pfad);
        QCOMPARE(seiten.size(), 1);
        const KodierteSeite &k = seiten.first();
        QVERIFY2(k.dpiX >= 50 && k.dpiX < 300, qPrintable(QString::number(k.dpiX)));
        QVERIFY(double(k.breite) * k.hoehe <= 60e6);
        const Seite s = TiffDatei::dekodieren(k);
        QCOMPARE(s.bild().pixelIndex(300 * k.dpiX / 72, 250 * k.dpiX / 72), 1);
    }

    void seiteFuerSeiteSpeichern()
    {
        const QString tif = m_dir.filePath(QStringLiteral("einzeln.tif"));
        const QString pdf = m_dir.filePath(QStringLiteral("einzeln.pdf"));
        for (int i = 1; i <= 3; ++i) {
            Bilddatei::seiteSpeichern(tif, nummerSeite(i), MehrseitigesTiff, 1, 0, i == 1 ? 0 : 1);
            Bilddatei::seiteSpeichern(pdf, nummerSeite(i), Pdf, 1, 0, i == 1 ? 0 : -1);
        }
        Seitenliste a, b;
        a.laden(tif);
        b.laden(pdf);
        QCOMPARE(reihenfolge(a), QList<int>({1, 2, 3}));
        QCOMPARE(reihenfolge(b), QList<int>({1, 2, 3}));
        // Mode 0 starts anew.
        Bilddatei::seiteSpeichern(tif, nummerSeite(4), MehrseitigesTiff, 1, 0, 0);
        a.laden(tif);
        QCOMPARE(reihenfolge(a), QList<int>({4}));
        // A range of pages.
        b.laden(pdf, 1, 1);
        QCOMPARE(reihenfolge(b), QList<int>({2}));
    }

    void kaputtesPdf()
    {
        QByteArray pdf = PdfDatei::schreiben({TiffDatei::kodieren(nummerSeite(1))});
        QVERIFY_THROWS_EXCEPTION(BildFehler, PdfDatei::lesen(pdf.left(pdf.size() / 3), QStringLiteral("halb.pdf")));
        QVERIFY_THROWS_EXCEPTION(BildFehler, Bilddatei::lesen(QByteArray("%PDF-1.4\nnonsense"), QStringLiteral("x.pdf")));
        QVERIFY_THROWS_EXCEPTION(BildFehler, Bilddatei::lesen(QByteArray("nothing at all"), QStringLiteral("x.bin")));
    }

    void drucken()
    {
        // Printed into a PDF: one sheet per page, the page drawn top left,
        // 95 % of the printable width.
        const QString pfad = m_dir.filePath(QStringLiteral("druck.pdf"));
        const Seite s = nummerSeite(3, 1240, 1754, 150);
        {
            QPdfWriter w(pfad);
            w.setPageSize(QPageSize(QPageSize::A4));
            w.setPageMargins(QMarginsF(0, 0, 0, 0));
            w.setResolution(150);
            QPainter p(&w);
            seiteDrucken(p, s);
            w.newPage();
            seiteDrucken(p, s);
        }
        std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(pfad);
        QVERIFY(doc);
        QCOMPARE(doc->numPages(), 2);
        const QImage bild = doc->page(0)->renderToImage(150, 150);
        QCOMPARE(bild.size(), QSize(1240, 1754));
        // A page of the sheet's own shape fills 95 % of it: the mark top left
        // (10..100 x 10..40 of the page) lands at 9.5..95 x 9.5..38.
        QCOMPARE(qGray(bild.pixel(50, 24)), 0);
        QCOMPARE(qGray(bild.pixel(92, 24)), 0);
        QCOMPARE(qGray(bild.pixel(99, 24)), 255);
        QCOMPARE(qGray(bild.pixel(50, 36)), 0);
        QCOMPARE(qGray(bild.pixel(50, 41)), 255);
        QCOMPARE(qGray(bild.pixel(bild.width() - 3, bild.height() - 3)), 255);
    }

    void druckRechteckAufDemBlatt_data()
    {
        QTest::addColumn<QSizeF>("seite");
        QTest::addColumn<QSizeF>("blatt");
        QTest::addColumn<QRectF>("erwartet");
        // A sheet of 400 x 600 printer pixels: the box is 380 x 570.
        QTest::newRow("quer") << QSizeF(200, 100) << QSizeF(400, 600) << QRectF(0, 0, 380, 190);
        QTest::newRow("hoch") << QSizeF(100, 200) << QSizeF(400, 600) << QRectF(0, 0, 285, 570);
        QTest::newRow("Form des Kastens") << QSizeF(380, 570) << QSizeF(400, 600) << QRectF(0, 0, 380, 570);
        QTest::newRow("winzig") << QSizeF(2, 3) << QSizeF(400, 600) << QRectF(0, 0, 380, 570);
    }

    void druckRechteckAufDemBlatt()
    {
        QFETCH(QSizeF, seite);
        QFETCH(QSizeF, blatt);
        QFETCH(QRectF, erwartet);
        const QRectF r = druckRechteck(seite, blatt);
        QCOMPARE(r.topLeft(), erwartet.topLeft());
        QVERIFY2(qAbs(r.width() - erwartet.width()) < 0.01 && qAbs(r.height() - erwartet.height()) < 0.01,
                 qPrintable(QStringLiteral("%1 x %2").arg(r.width()).arg(r.height())));
    }

    void skaliertWieBoxMittel_data()
    {
        QTest::addColumn<QSize>("quelle");
        QTest::addColumn<QSize>("ziel");
        QTest::addColumn<bool>("nullSchwarz");
        QTest::newRow("A4 300 dpi auf Bildschirm") << QSize(2480, 3508) << QSize(663, 966) << false;
        QTest::newRow("Breite kein Vielfaches von 8") << QSize(1001, 77) << QSize(333, 20) << false;
        QTest::newRow("Breite 13, Rest 5 Bits") << QSize(13, 9) << QSize(4, 3) << false;
        QTest::newRow("Farbtabelle 0 = schwarz") << QSize(203, 101) << QSize(50, 31) << true;
        QTest::newRow("nur eine Richtung kleiner") << QSize(300, 40) << QSize(100, 40) << false;
    }

    void skaliertWieBoxMittel()
    {
        // Each target pixel is the share of black in the source box that
        // maps onto it; checked against a plain loop on random noise.
        QFETCH(QSize, quelle);
        QFETCH(QSize, ziel);
        QFETCH(bool, nullSchwarz);
        QImage b(quelle, QImage::Format_Mono);
        b.setColorTable(nullSchwarz ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)} : QList<QRgb>{qRgb(255, 255, 255), qRgb(0, 0, 0)});
        QRandomGenerator zufall(7);
        for (int y = 0; y < b.height(); ++y)
            for (int x = 0; x < b.width(); ++x)
                b.setPixel(x, y, zufall.bounded(100) < 12 ? 1 : 0);
        // Padding bits beyond the width must not count.
        for (int y = 0; y < b.height(); ++y)
            if (b.width() % 8)
                b.scanLine(y)[b.width() / 8] |= uchar(0xFF >> (b.width() % 8));
        const Seite seite = Seite::ausBilevel(b, 300, 300);
        const QImage k = skaliert(seite, ziel);
        QCOMPARE(k.size(), ziel);
        const QImage &q = seite.bild();
        std::vector<int> schwarz(ziel.width() * ziel.height()), anzahl(ziel.width() * ziel.height());
        for (int y = 0; y < quelle.height(); ++y)
            for (int x = 0; x < quelle.width(); ++x) {
                const int i = int(qint64(y) * ziel.height() / quelle.height()) * ziel.width() +
                    int(qint64(x) * ziel.width() / quelle.width());
                ++anzahl[i];
                schwarz[i] += qGray(q.pixel(x, y)) < 128;
            }
        for (int i = 0; i < int(schwarz.size()); ++i) {
            const int erwartet = 255 - qMin(255, 2 * 255 * schwarz[i] / anzahl[i]);
            QCOMPARE(qGray(k.pixel(i % ziel.width(), i / ziel.width())), erwartet);
        }
        // Enlarging repeats pixels.
        const QImage gross = skaliert(seite, quelle * 2);
        QCOMPARE(gross.size(), quelle * 2);
        QCOMPARE(qGray(gross.pixel(2 * 5 + 1, 2 * 3 + 1)), qGray(q.pixel(5, 3)));
    }

    void vorschauUndZwischenablage()
    {
        // A one-pixel line must stay visible in a thumbnail a tenth the size.
        Seite s = Seite::leer(1000, 1400, 300);
        for (int x = 100; x < 900; ++x)
            s.bild().setPixel(x, 700, 1);
        const QImage klein = vorschau(s, QSize(100, 140));
        QCOMPARE(klein.size(), QSize(100, 140));
        int dunkelste = 255;
        for (int y = 65; y < 75; ++y)
            dunkelste = qMin(dunkelste, qGray(klein.pixel(50, y)));
        QVERIFY2(dunkelste < 240, qPrintable(QString::number(dunkelste)));

        inZwischenablage(s);
        const QImage ablage = QGuiApplication::clipboard()->image();
        QCOMPARE(ablage.size(), s.bild().size());
        QCOMPARE(qGray(ablage.pixel(500, 700)), 0);
        QCOMPARE(qGray(ablage.pixel(500, 701)), 255);
    }

    void speicherBleibtKleinBeiLangenDokumenten()
    {
        // 500 different A4 pages at 150 dpi, each visited once: the list
        // keeps them encoded and only a few decoded at a time.
        QRandomGenerator z(3);
        Seitenliste l;
        qint64 entschluesselt = 0;
        for (int i = 0; i < 500; ++i) {
            Seite s = Seite::leer(1240, 1754, 150);
            for (int zeile = 100 + (i % 7) * 10; zeile < 1600; zeile += 40)
                for (int x = 100 + int(z.bounded(40)); x < 1100; x += 30 + int(z.bounded(40)))
                    for (int y = zeile; y < zeile + 12; ++y)
                        for (int dx = 0; dx < 20; ++dx)
                            s.bild().setPixel(x + dx, y, 1);
            entschluesselt += s.bild().sizeInBytes();
            l.anhaengen(s);
        }
        for (int i = 0; i < l.anzahl(); ++i)
            QCOMPARE(l.seite(i).breite(), 1240);
        QVERIFY2(l.dekodierteSeiten() <= 4, qPrintable(QString::number(l.dekodierteSeiten())));
        QVERIFY(l.dekodierteBytes() <= 4 * entschluesselt / 500);
        // Encoded, the whole document is a small part of its decoded size.
        QVERIFY2(l.kodierteBytes() < entschluesselt / 8, qPrintable(QStringLiteral("%1 of %2").arg(l.kodierteBytes()).arg(entschluesselt)));
        // Every page is its own: two neighbours differ.
        QVERIFY(l.kodiert(0).g4 != l.kodiert(1).g4);
    }
};

QTEST_MAIN(TestSeitenliste)
#include "tst_seitenliste.moc"
