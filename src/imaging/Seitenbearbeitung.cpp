#include "imaging/Seitenbearbeitung.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstring>

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

QImage vorschau(const Seite &seite, QSize groesse)
{
    if (seite.istLeer() || groesse.isEmpty())
        return {};
    const QImage grau = seite.bild().convertToFormat(QImage::Format_Grayscale8);
    return grau.scaled(groesse, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void inZwischenablage(const Seite &seite)
{
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        app->clipboard()->setImage(seite.bild());
}

} // namespace archiv::imaging
