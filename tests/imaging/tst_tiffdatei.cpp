#include "imaging/TiffDatei.h"

#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <tiffio.h>

using namespace archiv::imaging;

namespace {

// A page with text-like noise so that G4 has real work to do.
Seite musterSeite(int breite, int hoehe, int dpi, quint32 seed)
{
    Seite s = Seite::leer(breite, hoehe, dpi);
    QRandomGenerator z(seed);
    for (int i = 0; i < 4000; ++i) {
        const int x = int(z.bounded(breite)), y = int(z.bounded(hoehe));
        for (int dy = 0; dy < 3 && y + dy < hoehe; ++dy)
            for (int dx = 0; dx < int(z.bounded(20)) && x + dx < breite; ++dx)
                s.bild().setPixel(x + dx, y + dy, 1);
    }
    return s;
}

// A sample file made by tests/data/imaging/erzeugen.py.
QByteArray probe(const char *name)
{
    QFile f(qEnvironmentVariable("ARCHIV_TESTDATA") + QStringLiteral("/imaging/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("sample file %s missing", name);
    return f.readAll();
}

// The black bars the sample script draws: rows 8 b + 2 to 8 b + 5 of bar b.
int balken(const Seite &s)
{
    int n = 0;
    for (int b = 0; 8 * b + 5 < s.hoehe(); ++b) {
        bool voll = true;
        for (int y = 8 * b + 2; y < 8 * b + 6 && voll; ++y)
            for (int x = 0; x < s.breite() && voll; ++x)
                voll = s.bild().pixelIndex(x, y) == 1;
        if (!voll)
            break;
        ++n;
    }
    return n;
}

} // namespace

class TestTiffDatei : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void g4HinUndZurueckPixelgleich()
    {
        // Odd widths catch padding errors at the end of a row.
        const QList<Seite> seiten{musterSeite(1654, 2339, 200, 1), musterSeite(2481, 3507, 300, 2), musterSeite(1001, 77, 600, 3)};
        const QString pfad = m_dir.filePath(QStringLiteral("drei.tif"));
        TiffDatei::schreibenG4(pfad, seiten);
        const QList<Seite> gelesen = TiffDatei::lesen(pfad);
        QCOMPARE(gelesen.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(gelesen.at(i).dpiX(), seiten.at(i).dpiX());
            QVERIFY2(gelesen.at(i) == seiten.at(i), qPrintable(QStringLiteral("Seite %1").arg(i + 1)));
        }
        // A range of pages.
        const QList<Seite> mitte = TiffDatei::lesen(pfad, 1, 1);
        QCOMPARE(mitte.size(), 1);
        QVERIFY(mitte.first() == seiten.at(1));
        QCOMPARE(TiffDatei::seitenzahl(TiffDatei::schreibenG4(seiten), QStringLiteral("x")), 3);

        // libtiff itself sees G4, one strip per page.
        TIFF *t = TIFFOpen(pfad.toLocal8Bit().constData(), "r");
        QVERIFY(t);
        uint16_t kompression = 0;
        TIFFGetField(t, TIFFTAG_COMPRESSION, &kompression);
        QCOMPARE(int(kompression), COMPRESSION_CCITTFAX4);
        QCOMPARE(int(TIFFNumberOfStrips(t)), 1);
        TIFFClose(t);
    }

    void kaputteDateienGebenKlareFehler_data()
    {
        QTest::addColumn<QByteArray>("inhalt");
        const QByteArray gut = TiffDatei::schreibenG4({musterSeite(800, 600, 200, 4), musterSeite(800, 600, 200, 5)});
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a TIFF") << QByteArray("%PDF-1.4 this is something else");
        QTest::newRow("header only") << gut.left(8);
        QTest::newRow("cut in the middle") << gut.left(gut.size() / 2);
        QByteArray verdreht = gut;
        for (qsizetype i = 8; i < verdreht.size(); i += 7)
            verdreht[i] = char(verdreht[i] ^ 0x5A);
        QTest::newRow("scrambled") << verdreht;
    }
    void kaputteDateienGebenKlareFehler()
    {
        QFETCH(QByteArray, inhalt);
        try {
            const QList<Seite> s = TiffDatei::lesen(inhalt, QStringLiteral("kaputt.tif"));
            QFAIL(qPrintable(QStringLiteral("%1 Seiten aus einer kaputten Datei").arg(s.size())));
        } catch (const BildFehler &e) {
            QVERIFY2(QString::fromUtf8(e.what()).startsWith(QStringLiteral("kaputt.tif: ")), e.what());
        }
    }

    void gekachelteEinBitSeite()
    {
        // tiffcp -t: 1 bit, uncompressed, tiles of 64 × 64 over 200 × 120.
        const QList<Seite> s = TiffDatei::lesen(probe("kacheln_1bit.tif"), QStringLiteral("kacheln_1bit.tif"));
        QCOMPARE(s.size(), 1);
        QCOMPARE(s.first().breite(), 200);
        QCOMPARE(s.first().hoehe(), 120);
        QCOMPARE(balken(s.first()), 1);
        QCOMPARE(s.first().bild().pixelIndex(199, 119), 0);
        // Kept as a page of the archive: encoded as G4.
        const QList<KodierteSeite> k = TiffDatei::lesenKodiert(probe("kacheln_1bit.tif"), QStringLiteral("k.tif"));
        QCOMPARE(TiffDatei::dekodieren(k.first()), s.first());
    }

    void behebbarerFehlerBehaeltDieSeiten()
    {
        // libtiff reports an error for page 2's orientation tag and reads on.
        const QList<Seite> s = TiffDatei::lesen(probe("ausrichtung_falsch.tif"), QStringLiteral("ausrichtung_falsch.tif"));
        QCOMPARE(s.size(), 2);
        QCOMPARE(balken(s.at(0)), 1);
        QCOMPARE(balken(s.at(1)), 2);
        QCOMPARE(TiffDatei::lesenKodiert(probe("ausrichtung_falsch.tif"), QStringLiteral("a.tif")).size(), 2);
    }

    void fehlendeDateiNenntIhrenNamen()
    {
        QVERIFY_THROWS_EXCEPTION(BildFehler, TiffDatei::lesen(m_dir.filePath(QStringLiteral("fehlt.tif"))));
    }

    void grauUndFarbeWerdenZweifarbig()
    {
        QImage grau(100, 40, QImage::Format_RGB32);
        grau.fill(QColor(240, 240, 240));
        QPainter p(&grau);
        p.fillRect(10, 10, 30, 20, QColor(20, 20, 120));
        p.end();
        const Seite s(grau, 200);
        QCOMPARE(s.bild().format(), QImage::Format_Mono);
        QCOMPARE(s.bild().pixelIndex(0, 0), 0);
        QCOMPARE(s.bild().pixelIndex(15, 15), 1);
        QCOMPARE(s.dpiY(), 200);

        // A bilevel image with black as index 0 is turned, not misread.
        QImage umgekehrt(16, 16, QImage::Format_Mono);
        umgekehrt.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        umgekehrt.fill(1);
        umgekehrt.setPixel(3, 3, 0);
        const Seite u(umgekehrt);
        QCOMPARE(u.bild().pixelIndex(0, 0), 0);
        QCOMPARE(u.bild().pixelIndex(3, 3), 1);
    }

    void minIsBlackUndLzwWerdenGelesen()
    {
        // Written with libtiff directly: a scanner's uncompressed/LZW
        // min-is-black page.
        const QString pfad = m_dir.filePath(QStringLiteral("lzw.tif"));
        TIFF *t = TIFFOpen(pfad.toLocal8Bit().constData(), "w");
        QVERIFY(t);
        const int breite = 37, hoehe = 5;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, breite);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, hoehe);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, hoehe);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 118.11f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 118.11f);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        for (int y = 0; y < hoehe; ++y) {
            uchar zeile[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xF8}; // all white (min-is-black: 1 = white)
            if (y == 2)
                zeile[0] = 0x7F; // pixel 0 of row 2 black
            TIFFWriteScanline(t, zeile, uint32_t(y), 0);
        }
        TIFFClose(t);
        const QList<Seite> s = TiffDatei::lesen(pfad);
        QCOMPARE(s.size(), 1);
        QCOMPARE(s.first().dpiX(), 300);
        QCOMPARE(s.first().bild().pixelIndex(0, 2), 1);
        QCOMPARE(s.first().bild().pixelIndex(1, 2), 0);
        QCOMPARE(s.first().bild().pixelIndex(36, 4), 0);
    }
};

QTEST_GUILESS_MAIN(TestTiffDatei)
#include "tst_tiffdatei.moc"
