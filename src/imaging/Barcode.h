#pragma once

#include "imaging/Seite.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace archiv::imaging {

// The EAN-13 check digit over the digits of code (weights 3, 1, 3, ... from
// the last digit); with nurZiffer false, code followed by the digit.
QString EAN13Pruefziffer(const QString &code, bool nurZiffer);

// Reads 1D barcodes (EAN-13, Code 128, Code 39, Interleaved 2 of 5) from a
// page, at any of the four rotations: take a page, search, then select
// result i (from 1) and read its text, in the order found. A page that still
// carries the grey picture it arrived as is read from that picture first.
class BarcodeLeser
{
public:
    void seiteNehmen(const Seite &seite);
    int suchen();
    int anzahl() const { return int(m_texte.size()); }
    void waehlen(int i);
    QString text() const;

    static QStringList lesen(const Seite &seite);

private:
    Seite m_seite;
    QStringList m_texte;
    int m_gewaehlt = 0;
};

// An EAN-13 symbol from 12 or 13 digits as a bilevel image of the given
// size in pixels, with quiet zones; empty when the text is no EAN-13.
QImage ean13Bild(const QString &ziffern, int breite, int hoehe);

} // namespace archiv::imaging
