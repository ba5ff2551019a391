#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace archiv::server {
class Verbindung;
}

namespace archiv::scan {

// One page of the scan store as a workstation took it.
struct Scanseite
{
    int seite = 0;
    QString id; // the record's id
    QString beleg; // the archived Beleg it is assigned to, "" for none
};

// Takes the pages of a Belegnummer for this workstation's session, in page
// order: while it holds them no other workstation files them. Pages another
// session holds are not among them. Throws server::ServerFehler.
QList<Scanseite> scansNehmen(server::Verbindung &v, const QString &belegnummer);

// Gives pages back unfiled. Never asks for a login and never throws: a page
// whose give-back fails stays held until the session lapses, and then is
// free again.
void scansFreigeben(server::Verbindung &v, const QStringList &ids);

} // namespace archiv::scan
