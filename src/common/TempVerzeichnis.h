#pragma once

#include <QString>

namespace archiv::common {

// The per-user work directory (mode 0700) inside the system's temporary
// directory. Created on first use; a directory of that name that is not ours
// or is open to others is never used. Throws std::runtime_error when no
// private directory can be made.
QString privatesTempVerzeichnis();

// Makes (or finds) the private directory below the given temporary root;
// uncached, for tests and for the cached function above.
QString privatesVerzeichnisAnlegen(const QString &wurzel);

// Path of a work file with the given name inside that directory.
QString tempDatei(const QString &name);

} // namespace archiv::common
