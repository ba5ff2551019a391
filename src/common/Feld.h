#pragma once

#include <QString>

namespace archiv::common {

// Field n (counted from 1) of text split at a one-character delimiter.
// Missing fields give an empty string; a delimiter that is not exactly one
// character never matches, so the whole text is field 1.
QString Feld(const QString &text, const QString &delimiter, int n);

} // namespace archiv::common
