#include "imaging/Barcode.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>

#include <array>
#include <cstring>

namespace archiv::imaging {

QString EAN13Pruefziffer(const QString &code, bool nurZiffer)
{
    int summe = 0;
    int gewicht = 3;
    for (qsizetype i = code.size() - 1; i >= 0; --i) {
        summe += code.at(i).digitValue() * gewicht;
        gewicht = gewicht == 3 ? 1 : 3;
    }
    const int pruef = (10 - summe % 10) % 10;
    return nurZiffer ? QString::number(pruef) : code + QString::number(pruef);
}

namespace {

// Luminance of a bilevel page, eight pixels a byte through a table.
std::vector<uint8_t> helligkeit(const QImage &bild)
{
    static const auto tabelle = [] {
        std::array<std::array<uint8_t, 8>, 256> t{};
        for (int v = 0; v < 256; ++v)
            for (int bit = 0; bit < 8; ++bit)
                t[size_t(v)][size_t(bit)] = (v & (0x80 >> bit)) ? 0 : 255;
        return t;
    }();
    const int b = bild.width(), h = bild.height();
    std::vector<uint8_t> lum(size_t(b) * size_t(h));
    const int volle = b / 8;
    for (int y = 0; y < h; ++y) {
        const uchar *z = bild.constScanLine(y);
        uint8_t *ziel = lum.data() + size_t(y) * size_t(b);
        for (int i = 0; i < volle; ++i)
            std::memcpy(ziel + i * 8, tabelle[z[i]].data(), 8);
        for (int x = volle * 8; x < b; ++x)
            ziel[x] = (z[x >> 3] & (0x80 >> (x & 7))) ? 0 : 255;
    }
    return lum;
}

} // namespace

void BarcodeLeser::seiteNehmen(const Seite &seite)
{
    m_seite = seite;
    m_texte.clear();
    m_gewaehlt = 0;
}

namespace {

// Half the size, a pixel black when any of its four was: thin bars survive.
QImage halbiert(const QImage &bild)
{
    QImage h((bild.width() + 1) / 2, (bild.height() + 1) / 2, QImage::Format_Mono);
    h.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    h.fill(0);
    for (int y = 0; y < bild.height(); ++y) {
        const uchar *z = bild.constScanLine(y);
        uchar *ziel = h.scanLine(y / 2);
        for (int byte = 0; byte < (bild.width() + 7) / 8; ++byte) {
            const uchar v = z[byte];
            if (!v)
                continue;
            for (int bit = 0; bit < 8; ++bit)
                if (v & (0x80 >> bit)) {
                    const int x = (byte * 8 + bit) / 2;
                    if (x < h.width())
                        ziel[x >> 3] |= uchar(0x80 >> (x & 7));
                }
        }
    }
    return h;
}

QStringList suchenIn(const ZXing::ImageView &bild, ZXing::Binarizer binarisierer)
{
    QStringList texte;
    // Debian's ZXing-C++ 1.4.0 aborts on ordinary A4 pages in its downscaled
    // pass ("lineCount() == 1"); scanned pages are large enough without it.
    ZXing::DecodeHints hinweise;
    hinweise
        .setFormats(ZXing::BarcodeFormat::EAN13 | ZXing::BarcodeFormat::Code128 | ZXing::BarcodeFormat::Code39 | ZXing::BarcodeFormat::ITF)
        .setTryDownscale(false)
        .setTryRotate(true)
        .setTryHarder(true)
        .setBinarizer(binarisierer)
        .setMaxNumberOfSymbols(16);
    for (const ZXing::Result &r : ZXing::ReadBarcodes(bild, hinweise))
        if (r.isValid())
            texte << QString::fromStdString(r.text());
    texte.removeDuplicates();
    return texte;
}

// A bilevel page: the plain cast binariser fits it.
QStringList suchenIn(const QImage &seite)
{
    const std::vector<uint8_t> lum = helligkeit(seite);
    return suchenIn(ZXing::ImageView(lum.data(), seite.width(), seite.height(), ZXing::ImageFormat::Lum), ZXing::Binarizer::BoolCast);
}

// Grey or colour as the scanner delivered it: the reader's own local
// binariser sees bars that any one threshold for the whole page loses.
QStringList suchenInGrau(const QImage &vorlage)
{
    const QImage grau = vorlage.format() == QImage::Format_Grayscale8 ? vorlage : vorlage.convertToFormat(QImage::Format_Grayscale8);
    return suchenIn(ZXing::ImageView(grau.constBits(), grau.width(), grau.height(), ZXing::ImageFormat::Lum, int(grau.bytesPerLine())),
                    ZXing::Binarizer::LocalAverage);
}

} // namespace

int BarcodeLeser::suchen()
{
    m_texte.clear();
    m_gewaehlt = 0;
    if (m_seite.istLeer())
        return 0;
    if (!m_seite.vorlage().isNull())
        m_texte = suchenInGrau(m_seite.vorlage());
    if (m_texte.isEmpty())
        m_texte = suchenIn(m_seite.bild());
    // Fine scans (above about 400 dpi) are searched once more at half size,
    // our own reduction instead of the reader's.
    if (m_texte.isEmpty() && qMin(m_seite.breite(), m_seite.hoehe()) > 3400)
        m_texte = suchenIn(halbiert(m_seite.bild()));
    return int(m_texte.size());
}

void BarcodeLeser::waehlen(int i)
{
    m_gewaehlt = i;
}

QString BarcodeLeser::text() const
{
    return m_texte.value(m_gewaehlt - 1);
}

QStringList BarcodeLeser::lesen(const Seite &seite)
{
    BarcodeLeser l;
    l.seiteNehmen(seite);
    l.suchen();
    return l.m_texte;
}

QImage ean13Bild(const QString &ziffern, int breite, int hoehe)
{
    if ((ziffern.size() != 12 && ziffern.size() != 13) || !std::all_of(ziffern.cbegin(), ziffern.cend(), [](QChar c) { return c.isDigit(); }))
        return {};
    const QString voll = ziffern.size() == 12 ? EAN13Pruefziffer(ziffern, false) : ziffern;
    if (EAN13Pruefziffer(voll.left(12), false) != voll)
        return {};
    try {
        ZXing::MultiFormatWriter schreiber(ZXing::BarcodeFormat::EAN13);
        // Quiet zones of 11 modules left and 7 right are what scanners need;
        // the writer's margin is the same on both sides.
        schreiber.setMargin(qMax(0, breite * 11 / 113));
        const ZXing::BitMatrix m = schreiber.encode(voll.toStdString(), breite, hoehe);
        QImage bild(m.width(), m.height(), QImage::Format_Mono);
        bild.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        bild.fill(0);
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x)
                if (m.get(x, y))
                    bild.setPixel(x, y, 1);
        return bild;
    } catch (const std::exception &) {
        return {};
    }
}

} // namespace archiv::imaging
