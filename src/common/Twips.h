#pragma once

namespace archiv::common {

// Window and print geometry is given in twips: 1440 twips = 1 inch, so at
// 96 DPI one pixel is 15 twips.
inline constexpr int TwipsProZoll = 1440;

int twipsZuPixel(double twips, double dpi);
double pixelZuTwips(double pixel, double dpi);

} // namespace archiv::common
