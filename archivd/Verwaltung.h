#pragma once

#include <QStringList>

namespace archiv::archivd {

// Administration: master data from CSV files, and recording which Belege a
// backup DVD holds. Both return the process exit code.
int importieren(const QStringList &args);
int sicherungErfassen(const QStringList &args);

// One CSV record per line, ";" or "," as separator (taken from the header),
// fields in double quotes may hold separators, quotes ("") and line breaks.
QList<QStringList> csvLesen(const QString &text);

} // namespace archiv::archivd
