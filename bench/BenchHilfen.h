#pragma once

#include "imaging/Seite.h"

#include <QList>
#include <QRandomGenerator>

#include <algorithm>

namespace archiv::bench {

// An A4 page at 300 dpi with words of solid strokes: about 60-80 KB of G4,
// like a scanned A4 text page.
inline imaging::Seite textseite(int nr)
{
    imaging::Seite s = imaging::Seite::leer(2480, 3508, 300);
    QRandomGenerator z{quint32(nr)};
    for (int zeile = 300; zeile < 3200; zeile += 60)
        for (int x = 200; x < 2200;) {
            const int wort = 40 + int(z.bounded(160));
            for (int strich = x; strich < x + wort; strich += 9)
                for (int y = zeile + int(z.bounded(6)); y < zeile + 28; ++y)
                    for (int dx = 0; dx < 4; ++dx)
                        s.bild().setPixel(qMin(2479, strich + dx), y, 1);
            x += wort + 25;
        }
    return s;
}

inline double median(QList<double> w)
{
    std::sort(w.begin(), w.end());
    return w.isEmpty() ? 0 : w.at(w.size() / 2);
}

} // namespace archiv::bench
