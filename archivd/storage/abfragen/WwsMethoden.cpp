#include "Fehler.h"
#include "Passwort.h"
#include "Registry.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "storage/abfragen/Abfragen.h"

namespace archiv::archivd {

namespace {

// Names are kept in the WWS's logical form "Surname,Given name".
QString anzeigeName(const QString &pname)
{
    const qsizetype komma = pname.indexOf(u',');
    if (komma < 0)
        return pname.trimmed();
    return (pname.mid(komma + 1).trimmed() + u' ' + pname.left(komma).trimmed()).trimmed();
}

} // namespace

void registriereWwsMethoden(Registry &r)
{
    r.methode({"TS.ParPersEdv", "pnamelogicaltoodbc", 1, 1, [](Kontext &, const QStringList &args, const QString &) {
                   return protokoll::AufrufErgebnis{anzeigeName(args.at(0)), std::nullopt};
               }});
    // The password never leaves the server: the client sends what was typed
    // and learns only whether it matches ("1") or not ("0").
    r.methode(
        {"TS.ParPersEdv", "PasswortPruefen", 1, 1,
         [](Kontext &k, const QStringList &args, const QString &id) {
             const Klasse *klasse = Modell::instanz().klasse(QStringLiteral("TS.ParPersEdv"));
             const auto z = k.objekte.zeile(*klasse, id);
             if (!z)
                 throw AnfrageFehler::unbekannt(QStringLiteral("unknown_id"), QStringLiteral("Benutzer \"%1\" gibt es nicht").arg(id));
             const QString hash = k.db.wert(QStringLiteral("SELECT passwort FROM ts_parpersedv WHERE id = ?"), {*z}).toString();
             return protokoll::AufrufErgebnis{passwortPasst(hash, args.at(0)) ? QStringLiteral("1") : QStringLiteral("0"), std::nullopt};
         },
         true});
}

} // namespace archiv::archivd
