#pragma once

#include <QString>
#include <QStringList>

namespace archiv::server {
class Verbindung;
}

namespace archiv::scan {

struct Uebernahmebericht
{
    int uebernommen = 0;
    int ohneBeleg = 0;      // not assigned to a Beleg: left in the store
    QStringList fehler;     // pages that could not be transferred: left in the store
};

// Moves the scan-store pages of a Belegnummer ("" for all) into their
// assigned Belege, one page at a time in page order: page 1 starts the
// Beleg's newest document anew (a Beleg without documents gets one),
// further pages are appended to it. A record is deleted (when loeschen)
// only after its Beleg was saved; the file it replaced stays in the
// server's history.
Uebernahmebericht ScanBelegUebernahme(server::Verbindung &v, const QString &belegnummer, bool loeschen);

} // namespace archiv::scan
