#include "imaging/Seitenbearbeitung.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstring>

#include <vector>

namespace archiv::imaging {

Seite gedreht(const Seite &seite, int grad)
{
    grad = ((grad % 360) + 360) % 360;
    if (grad == 0 || seite.istLeer())
        return seite;
    if (grad != 90 && grad != 180 && grad != 270)
        throw BildFehler(QStringLiteral("Drehen um %1 Grad geht nicht").arg(grad).toStdString());
    const QImage &ein = seite.bild();
    const int b = ein.width(), h = ein.height();
    const bool quer = grad != 180;
    Seite aus = Seite::leer(quer ? h : b, quer ? b : h, quer ? seite.dpiY() : seite.dpiX());
    if (quer)
        aus = Seite(aus.bild(), seite.dpiY(), seite.dpiX());
    QImage &ziel = aus.bild();
    const int zeilenBytes = (b + 7) / 8;
    // Pages are mostly white: only set bits are visited.
    for (int y = 0; y < h; ++y) {
        const uchar *z = ein.constScanLine(y);
        for (int byte = 0; byte < zeilenBytes; ++byte) {
            const uchar v = z[byte];
            if (!v)
                continue;
            for (int bit = 0; bit < 8; ++bit) {
                if (!(v & (0x80 >> bit)))
                    continue;
                const int x = byte * 8 + bit;
                if (x >= b)
                    break;
                int nx = 0, ny = 0;
                if (grad == 90) {
                    nx = h - 1 - y;
                    ny = x;
                } else if (grad == 180) {
                    nx = b - 1 - x;
                    ny = h - 1 - y;
                } else {
                    nx = y;
                    ny = b - 1 - x;
                }
                ziel.scanLine(ny)[nx >> 3] |= uchar(0x80 >> (nx & 7));
            }
        }
    }
    return aus;
}

QImage normalisiert(const QImage &bild)
{
    if (bild.format() != QImage::Format_Mono || bild.colorCount() != 2 || qGray(bild.color(0)) < 128)
        return bild;
    QImage n = bild.copy();
    n.invertPixels();
    n.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return n;
}

Einpassung einpassen(QSizeF seite, QSizeF ansicht, const QString &art, double zoom)
{
    Einpassung e;
    if (seite.width() <= 0 || seite.height() <= 0)
        return e;
    if (art == QLatin1String("B")) {
        const double a = ansicht.width() * zoom;
        e.ziel = {a * 0.97, a * seite.height() / seite.width()};
        e.ausschnitt = {a, a * seite.height() / seite.width()};
        e.gueltig = true;
    } else if (art == QLatin1String("H")) {
        const double a = ansicht.height() * zoom;
        e.ziel = {a * seite.width() / seite.height(), a * 0.97};
        e.ausschnitt = {a * seite.width() / seite.height(), a};
        e.gueltig = true;
    }
    return e;
}

QImage skaliert(const Seite &seite, QSize groesse)
{
    if (seite.istLeer() || groesse.isEmpty())
        return {};
    const QImage &b = seite.bild();
    const int sw = b.width(), sh = b.height();
    const int zw = groesse.width(), zh = groesse.height();
    if (zw > sw || zh > sh || b.format() != QImage::Format_Mono || b.colorCount() != 2)
        return b.scaled(groesse, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_Grayscale8);

    // Source column x lands in target column x * zw / sw; rows alike.
    std::vector<int> spalte(sw);
    std::vector<int> spaltenBreite(zw, 0);
    for (int x = 0; x < sw; ++x) {
        spalte[x] = int(qint64(x) * zw / sw);
        ++spaltenBreite[spalte[x]];
    }
    const bool einsSchwarz = qGray(b.color(1)) < qGray(b.color(0));
    std::vector<int> summe(zw, 0);
    QImage aus(zw, zh, QImage::Format_Grayscale8);
    const int volleBytes = sw / 8;
    const int restBits = sw % 8;
    const uchar restMaske = uchar(0xFF << (8 - restBits));
    int zeile = 0, zeilen = 0;
    auto schreiben = [&] {
        uchar *z = aus.scanLine(zeile);
        for (int c = 0; c < zw; ++c) {
            const int n = spaltenBreite[c] * zeilen;
            // Thin strokes would fade to a pale grey at strong reductions;
            // doubling the share of black keeps text legible.
            const int schwarz = n > 0 ? qMin(255, 2 * 255 * summe[c] / n) : 0;
            z[c] = uchar(255 - schwarz);
            summe[c] = 0;
        }
    };
    for (int y = 0; y < sh; ++y) {
        const int ziel = int(qint64(y) * zh / sh);
        if (ziel != zeile) {
            schreiben();
            zeile = ziel;
            zeilen = 0;
        }
        ++zeilen;
        const uchar *q = b.constScanLine(y);
        const int bytes = volleBytes + (restBits ? 1 : 0);
        for (int bx = 0; bx < bytes; ++bx) {
            uchar v = einsSchwarz ? q[bx] : uchar(~q[bx]);
            if (bx == volleBytes)
                v &= restMaske;
            if (!v)
                continue;
            const int *sp = spalte.data() + bx * 8;
            for (int bit = 0; bit < 8; ++bit)
                if (v & (0x80 >> bit))
                    ++summe[sp[bit]];
        }
    }
    schreiben();
    aus.setDotsPerMeterX(0);
    return aus;
}

QImage vorschau(const Seite &seite, QSize groesse)
{
    if (seite.istLeer() || groesse.isEmpty())
        return {};
    return skaliert(seite, QSizeF(seite.breite(), seite.hoehe()).scaled(groesse, Qt::KeepAspectRatio).toSize().expandedTo({1, 1}));
}

void inZwischenablage(const Seite &seite)
{
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        app->clipboard()->setImage(seite.bild());
}

} // namespace archiv::imaging
