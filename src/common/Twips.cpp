#include "common/Twips.h"

#include <cmath>

namespace archiv::common {

int twipsZuPixel(double twips, double dpi)
{
    return int(std::lround(twips * dpi / TwipsProZoll));
}

double pixelZuTwips(double pixel, double dpi)
{
    return dpi > 0 ? pixel * TwipsProZoll / dpi : 0.0;
}

} // namespace archiv::common
