#pragma once

#include "imaging/Seite.h"

#include <QSizeF>
#include <QString>

namespace archiv::imaging {

// A page turned by 90 (a quarter turn clockwise), 180 or 270 degrees.
Seite gedreht(const Seite &seite, int grad);

// The same visible page with colour entry 0 black and entry 1 white, as
// printing expects; a page already in that form is returned as it is.
QImage normalisiert(const QImage &bild);

// Fitting a page into a view: kind "B" fits the width, "H" the height, each
// times the zoom value. The fitted extent of the destination is reduced to
// 97 %; the other extent follows the page's aspect ratio from the unreduced
// value. The clip is the unreduced size.
struct Einpassung
{
    QSizeF ziel;
    QSizeF ausschnitt;
    bool gueltig = false;
};
Einpassung einpassen(QSizeF seite, QSizeF ansicht, const QString &art, double zoom);

// The page drawn at exactly the given size in grey levels, as a view shows
// it. Reductions average the black pixels of each box straight from the
// bilevel data (fast enough to page through long documents); enlargements
// repeat pixels.
QImage skaliert(const Seite &seite, QSize groesse);

// A small picture of a page that keeps text readable: grey levels from
// area averaging instead of dropped pixels.
QImage vorschau(const Seite &seite, QSize groesse);

// Copies the page to the clipboard as an image (needs a GUI application).
void inZwischenablage(const Seite &seite);

} // namespace archiv::imaging
