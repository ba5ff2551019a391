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

// A work file of its own inside that directory: stem, six random characters
// and the suffix ("dok-a1B2c3.tif"), so that two programs of one user never
// write into each other's file. Removed when the object goes.
class Arbeitsdatei
{
public:
    Arbeitsdatei(const QString &stamm, const QString &endung);
    ~Arbeitsdatei();
    Arbeitsdatei(const Arbeitsdatei &) = delete;
    Arbeitsdatei &operator=(const Arbeitsdatei &) = delete;
    const QString &pfad() const { return m_pfad; }

private:
    QString m_pfad;
};

} // namespace archiv::common
