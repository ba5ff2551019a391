#include "Fehler.h"
#include "Passwort.h"
#include "Registry.h"
#include "Zugang.h"
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
    r.methode({"TS.ParPersEdv", "PasswortPruefen", 1, 1,
               [](Kontext &k, const QStringList &args, const QString &id) {
                   // One form of the id for the lookup, the count of failures,
                   // the session and the trail: "01||mm" is the user 1||MM. An id
                   // no user can have is refused before anything is kept of it.
                   const std::optional<QString> benutzer = benutzerId(id);
                   if (!benutzer)
                       throw AnfrageFehler::ungueltig(QStringLiteral("Keine Benutzer-Id (FIRMA||CODE, höchstens %1 Zeichen)").arg(MaxBenutzerId));
                   const Klasse *klasse = Modell::instanz().klasse(QStringLiteral("TS.ParPersEdv"));
                   // An unknown user, a disabled one and a wrong password give the
                   // same answer in the same time.
                   const auto z = k.objekte.zeile(*klasse, *benutzer);
                   std::optional<QString> hash;
                   bool aktiv = false;
                   if (z) {
                       const QList<SqlZeile> r = k.db.abfragen(QStringLiteral("SELECT passwort, aktiv FROM ts_parpersedv WHERE id = ?"),
                                                               {*z});
                       if (!r.isEmpty()) {
                           hash = r.first().at(0).toString();
                           aktiv = r.first().at(1).toString() == QLatin1String("J");
                       }
                   }
                   Anfragekontext &anfrage = Anfragekontext::aktuell();
                   const Pruefung p = anmeldungPruefen(*benutzer, anfrage.arbeitsplatz, hash, aktiv, args.at(0));
                   anfrage.benutzer = *benutzer;
                   if (p.neuGesperrt) {
                       Transaktion t(k.db);
                       k.objekte.vermerken(*klasse, *benutzer, QStringLiteral("gesperrt"), 0, 0, {});
                       t.bestaetigen();
                   }
                   if (p.ergebnis != Pruefergebnis::Passt) {
                       anfrage.benutzer.clear();
                       return protokoll::AufrufErgebnis{QStringLiteral("0"), std::nullopt};
                   }
                   // A session for this user at this workstation: what it writes
                   // next is recorded under the user's name; the login is too.
                   Transaktion t(k.db);
                   const QString sitzung = Sitzungen::eroeffnen(k.db, *benutzer, anfrage.arbeitsplatz, anfrage.schluessel);
                   k.objekte.vermerken(*klasse, *benutzer, QStringLiteral("angemeldet"), 0, 0, {});
                   t.bestaetigen();
                   return protokoll::AufrufErgebnis{QStringLiteral("1"), std::nullopt, sitzung};
               },
               true});
}

} // namespace archiv::archivd
