#include "imaging/Seite.h"

#include <array>
#include <cstring>

namespace archiv::imaging {

namespace {

const QList<QRgb> &tabelle()
{
    static const QList<QRgb> t{qRgb(255, 255, 255), qRgb(0, 0, 0)};
    return t;
}

} // namespace

int Seite::schwelle(const QImage &grau)
{
    // Four counters per value, so that runs of one grey do not wait on the
    // same memory word; summed afterwards.
    std::array<std::array<quint32, 256>, 4> teile{};
    std::array<qint64, 256> histogramm{};
    const int b = grau.width();
    for (int y = 0; y < grau.height(); ++y) {
        const uchar *z = grau.constScanLine(y);
        int x = 0;
        for (; x + 4 <= b; x += 4) {
            ++teile[0][z[x]];
            ++teile[1][z[x + 1]];
            ++teile[2][z[x + 2]];
            ++teile[3][z[x + 3]];
        }
        for (; x < b; ++x)
            ++teile[0][z[x]];
        if ((y & 255) == 255 || y == grau.height() - 1) { // no counter overflows
            for (int v = 0; v < 256; ++v) {
                histogramm[size_t(v)] += qint64(teile[0][size_t(v)]) + teile[1][size_t(v)] + teile[2][size_t(v)] + teile[3][size_t(v)];
                teile[0][size_t(v)] = teile[1][size_t(v)] = teile[2][size_t(v)] = teile[3][size_t(v)] = 0;
            }
        }
    }
    qint64 gesamt = 0;
    double summe = 0;
    for (int v = 0; v < 256; ++v) {
        gesamt += histogramm[size_t(v)];
        summe += double(v) * double(histogramm[size_t(v)]);
    }
    // Otsu: the split with the largest variance between the two classes.
    qint64 dunkel = 0;
    double summeDunkel = 0, beste = 0;
    int schwelle = -1;
    for (int t = 0; t < 255; ++t) {
        dunkel += histogramm[size_t(t)];
        if (dunkel == 0)
            continue;
        const qint64 hell = gesamt - dunkel;
        if (hell == 0)
            break;
        summeDunkel += double(t) * double(histogramm[size_t(t)]);
        const double mDunkel = summeDunkel / double(dunkel);
        const double mHell = (summe - summeDunkel) / double(hell);
        const double zwischen = double(dunkel) * double(hell) * (mDunkel - mHell) * (mDunkel - mHell);
        if (zwischen > beste) {
            beste = zwischen;
            schwelle = t;
        }
    }
    // Pixels above the dark class are white.
    return schwelle < 0 ? 128 : schwelle + 1;
}

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
        // A threshold keeps text edges crisp; dithering would speckle them.
        // It follows the image, so that dark and pale scans keep their text.
        const QImage grau = bild.format() == QImage::Format_Grayscale8 ? bild : bild.convertToFormat(QImage::Format_Grayscale8);
        const int s = schwelle(grau);
        mono = QImage(grau.size(), QImage::Format_Mono);
        mono.setColorTable(tabelle());
        const int volle = grau.width() / 8;
        for (int y = 0; y < grau.height(); ++y) {
            const uchar *ein = grau.constScanLine(y);
            uchar *aus = mono.scanLine(y);
            for (int i = 0; i < volle; ++i) {
                const uchar *e = ein + i * 8;
                aus[i] = uchar((e[0] < s) << 7 | (e[1] < s) << 6 | (e[2] < s) << 5 | (e[3] < s) << 4 | (e[4] < s) << 3 | (e[5] < s) << 2 |
                               (e[6] < s) << 1 | (e[7] < s));
            }
            if (volle * 8 < grau.width()) {
                aus[volle] = 0;
                for (int x = volle * 8; x < grau.width(); ++x)
                    if (ein[x] < s)
                        aus[x >> 3] |= uchar(0x80 >> (x & 7));
            }
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
    if (bild.format() != QImage::Format_Mono && bild.format() != QImage::Format_MonoLSB)
        m_vorlage = bild;
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
