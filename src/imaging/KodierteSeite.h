#pragma once

#include <QByteArray>
#include <QString>

namespace archiv::imaging {

// A bilevel page kept compact: its CCITT Group 4 data (MSB first, 1 = black)
// with size and resolution. Files carry this data unchanged, so loading a
// G4 TIFF, keeping it in a page list and writing it as TIFF or PDF never
// re-encodes a page.
struct KodierteSeite
{
    QByteArray g4;
    int breite = 0;
    int hoehe = 0;
    int dpiX = 300;
    int dpiY = 300;
    // Where the page came from when it is waiting to be filed (the id of a
    // scan-store record); travels with the page through moves and turns.
    QString herkunft;

    bool istLeer() const { return breite <= 0 || hoehe <= 0; }
};

} // namespace archiv::imaging
