#include "imaging/Seite.h"

#include <cstring>

namespace archiv::imaging {

namespace {

const QList<QRgb> &tabelle()
{
    static const QList<QRgb> t{qRgb(255, 255, 255), qRgb(0, 0, 0)};
    return t;
}

} // namespace

QImage Seite::bilevel(const QImage &bild)
{
    if (bild.isNull())
        return {};
    QImage mono;
    if (bild.format() == QImage::Format_Mono && bild.colorCount() == 2) {
        mono = bild;
    } else if (bild.format() == QImage::Format_Mono || bild.format() == QImage::Format_MonoLSB) {
        mono = bild.convertToFormat(QImage::Format_Mono);
    } else {
        // A plain threshold keeps text edges crisp; dithering would speckle them.
        const QImage grau = bild.convertToFormat(QImage::Format_Grayscale8);
        mono = QImage(grau.size(), QImage::Format_Mono);
        mono.setColorTable(tabelle());
        for (int y = 0; y < grau.height(); ++y) {
            const uchar *ein = grau.constScanLine(y);
            uchar *aus = mono.scanLine(y);
            std::memset(aus, 0, size_t(mono.bytesPerLine()));
            for (int x = 0; x < grau.width(); ++x)
                if (ein[x] < 128)
                    aus[x >> 3] |= uchar(0x80 >> (x & 7));
        }
        return mono;
    }
    if (mono.colorCount() == 2 && qGray(mono.color(0)) < qGray(mono.color(1))) {
        mono.invertPixels();
    }
    // Setting an equal table would still detach a shared image: a full copy.
    if (mono.colorTable() != tabelle())
        mono.setColorTable(tabelle());
    return mono;
}

Seite::Seite(const QImage &bild, int dpiX, int dpiY)
    : m_bild(bilevel(bild)), m_dpiX(dpiX > 0 ? dpiX : 300), m_dpiY(dpiY > 0 ? dpiY : m_dpiX)
{
}

Seite Seite::leer(int breite, int hoehe, int dpi)
{
    QImage bild(breite, hoehe, QImage::Format_Mono);
    bild.setColorTable(tabelle());
    bild.fill(0);
    Seite s;
    s.m_bild = bild;
    s.m_dpiX = s.m_dpiY = dpi;
    return s;
}

Seite Seite::ausBilevel(QImage bild, int dpiX, int dpiY)
{
    Seite s;
    s.m_bild = std::move(bild);
    s.m_dpiX = dpiX > 0 ? dpiX : 300;
    s.m_dpiY = dpiY > 0 ? dpiY : s.m_dpiX;
    return s;
}

bool operator==(const Seite &a, const Seite &b)
{
    if (a.m_bild.size() != b.m_bild.size() || a.m_dpiX != b.m_dpiX || a.m_dpiY != b.m_dpiY)
        return false;
    const int bytes = (a.breite() + 7) / 8;
    const int rest = a.breite() % 8;
    const uchar maske = rest ? uchar(0xFF << (8 - rest)) : 0xFF;
    for (int y = 0; y < a.hoehe(); ++y) {
        const uchar *za = a.m_bild.constScanLine(y);
        const uchar *zb = b.m_bild.constScanLine(y);
        if (std::memcmp(za, zb, size_t(bytes - 1)) != 0 || ((za[bytes - 1] ^ zb[bytes - 1]) & maske))
            return false;
    }
    return true;
}

} // namespace archiv::imaging
