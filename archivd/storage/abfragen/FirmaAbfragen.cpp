#include "Registry.h"
#include "storage/Datenbank.h"
#include "storage/abfragen/Abfragen.h"

namespace archiv::archivd {

void registriereFirmaAbfragen(Registry &r)
{
    // The company list of the main window: number, name.
    r.abfrage({"AR.Firma", "Liste", 0, 0, [](Kontext &k, const QStringList &) {
                   protokoll::Zeilen zeilen;
                   for (const auto &z : k.db.abfragen(QStringLiteral("SELECT firma, name FROM ar_firma ORDER BY firma")))
                       zeilen.append({QString::number(z.at(0).toLongLong()), z.at(1).toString()});
                   return zeilen;
               }});
}

} // namespace archiv::archivd
