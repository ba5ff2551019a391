#pragma once

#include <QString>

namespace archiv::common {

// The form in which index values are compared without regard to case, the
// same on every database: Unicode case folding, and "ß" written as "ss" so
// that "Straße" and "STRASSE" are one value. The archive server keeps this
// form beside every index value and folds each typed criterion with it.
QString gefaltet(const QString &text);

} // namespace archiv::common
