#include "imaging/Seitendruck.h"

#include "imaging/Seitenbearbeitung.h"

#include <QPaintDevice>
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

} // namespace archiv::imaging
