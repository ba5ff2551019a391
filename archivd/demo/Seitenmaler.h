#pragma once

#include "imaging/Seite.h"

#include <QString>

namespace archiv::archivd {

// Draws document-like pages straight into bilevel page bits: boxes, rules
// and text in a small built-in block font (no font files needed).
class Seitenmaler
{
public:
    explicit Seitenmaler(imaging::Seite &seite) : m_bild(seite.bild()) { }

    void rechteck(int x, int y, int b, int h); // filled
    void rahmen(int x, int y, int b, int h, int staerke);
    // Letters are 5 x 7 cells of groesse pixels; returns the x after the text.
    int text(int x, int y, const QString &text, int groesse);

private:
    QImage &m_bild;
};

} // namespace archiv::archivd
