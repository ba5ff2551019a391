#pragma once

#include <QString>

namespace archiv::common {

// A file name (no folder) made from what users typed, such as a Beleg
// number: without the characters Linux or Windows refuse in a name
// (/ \ : * ? " < > | and control characters), without leading dots (so it
// can never name a folder above) or trailing dots and blanks, at most 200
// characters; "dokument" when nothing is left.
QString dateiname(const QString &text);

} // namespace archiv::common
