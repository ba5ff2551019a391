#pragma once

#include "imaging/Seite.h"

#include <QRectF>

class QPainter;
class QPagedPaintDevice;

namespace archiv::imaging {

class Seitenliste;

// Where a page goes on a printed sheet: scaled to fit 95 % of the printable
// width and height, aspect ratio kept, anchored top left.
QRectF druckRechteck(QSizeF seite, QSizeF bedruckbar);

// Draws the page (normalised for printing) onto the painter's device.
void seiteDrucken(QPainter &painter, const Seite &seite);

// Prints pages von to bis (from 1) of the list, one a sheet; returns the
// pages printed. Throws BildFehler when the device cannot be opened.
int seitenDrucken(const Seitenliste &seiten, QPagedPaintDevice &geraet, int von, int bis);

} // namespace archiv::imaging
