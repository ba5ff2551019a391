#pragma once

#include "imaging/Seite.h"

#include <QRectF>

class QPainter;
class QPagedPaintDevice;

namespace archiv::imaging {

// Where a page goes on a printed sheet: scaled to fit 95 % of the printable
// width and height, aspect ratio kept, anchored top left.
QRectF druckRechteck(QSizeF seite, QSizeF bedruckbar);

// Draws the page (normalised for printing) onto the painter's device.
void seiteDrucken(QPainter &painter, const Seite &seite);

} // namespace archiv::imaging
