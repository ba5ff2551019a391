#include "imaging/Seitendruck.h"

#include "imaging/Seitenliste.h"

#include "imaging/Seitenbearbeitung.h"

#include <QPaintDevice>
#include <QPagedPaintDevice>
#include <QPainter>

namespace archiv::imaging {

QRectF druckRechteck(QSizeF seite, QSizeF bedruckbar)
{
    if (seite.isEmpty() || bedruckbar.isEmpty())
        return {};
    const QSizeF platz = bedruckbar * 0.95;
    const QSizeF groesse = seite.scaled(platz, Qt::KeepAspectRatio);
    return QRectF(QPointF(0, 0), groesse);
}

void seiteDrucken(QPainter &painter, const Seite &seite)
{
    QPaintDevice *geraet = painter.device();
    if (!geraet || seite.istLeer())
        return;
    const QRectF ziel = druckRechteck(QSizeF(seite.breite(), seite.hoehe()), QSizeF(geraet->width(), geraet->height()));
    painter.drawImage(ziel, normalisiert(seite.bild()));
}

int seitenDrucken(const Seitenliste &seiten, QPagedPaintDevice &geraet, int von, int bis)
{
    von = qMax(1, von);
    bis = qMin(seiten.anzahl(), bis);
    if (von > bis)
        return 0;
    QPainter painter;
    if (!painter.begin(&geraet))
        throw BildFehler("Der Drucker lässt sich nicht öffnen");
    int gedruckt = 0;
    for (int i = von; i <= bis; ++i) {
        if (gedruckt > 0 && !geraet.newPage())
            throw BildFehler("Der Drucker nimmt keine weitere Seite an");
        seiteDrucken(painter, seiten.seite(i - 1));
        ++gedruckt;
    }
    if (!painter.end())
        throw BildFehler("Der Druckauftrag lässt sich nicht abschließen");
    return gedruckt;
}

} // namespace archiv::imaging
