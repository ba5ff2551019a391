#pragma once

#include <QDate>
#include <QString>

namespace archiv::common {

// Number patterns of the form "0#", "00000#", "000000", "##0": every
// placeholder from the first "0" on is a mandatory digit. A value that is not
// a number is returned unchanged.
QString formatZahl(const QString &wert, const QString &muster);
QString formatZahl(qint64 wert, const QString &muster);

// The general number format: plain decimal digits, no grouping, no
// trailing zeros; a text that is not a number stays as it is.
QString formatAllgemein(const QString &wert);
QString formatAllgemein(double wert);

// "YYYY-MM-DD"; accepts a date, an ISO date or an ISO date-time text.
// A text that is no date is returned unchanged.
QString formatDatum(const QString &wert);
QString formatDatum(const QDate &datum);

// Numeric value of a text as the program reads it: leading blanks skipped,
// the leading number taken, 0 when there is none.
double zahlWert(const QString &wert);

} // namespace archiv::common
