// The queries and methods around saving a Beleg: the lookup by number,
// the backup mark, single index values and the backup record.
#include "Fehler.h"
#include "Posteingang.h"
#include "Registry.h"
#include "common/Etikett.h"
#include "common/Kennungen.h"
#include "model/Modell.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Zugangsspeicher.h"
#include "storage/abfragen/Abfragen.h"
#include "storage/abfragen/Argumente.h"
#include "Zugang.h"

#include <QDateTime>

namespace archiv::archivd {

namespace {

const Klasse &klasse(const char *name)
{
    return *Modell::instanz().klasse(QLatin1String(name));
}

// The row of a Beleg named by its object id; 404 when there is none.
qint64 belegZeile(Kontext &k, const QString &id)
{
    const auto z = k.objekte.zeile(klasse("AR.Dokumente"), id);
    if (!z)
        throw AnfrageFehler::unbekannt(QStringLiteral("unknown_id"), QStringLiteral("Den Beleg %1 gibt es nicht").arg(id));
    return *z;
}

// The scan store's pages without a Beleg, one line per Belegnummer:
// "number|pages|why" (why: a scanzuordnung code). A number names no one
// Beleg when the archive has none under it, or one in several companies.
QStringList ohneBeleg(Kontext &k)
{
    constexpr int HoechstensZeilen = 500;
    QStringList zeilen;
    for (const SqlZeile &z : k.db.abfragen(
             QStringLiteral("SELECT g.nummer, g.seiten, (SELECT count(*) FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
                            "WHERE b.belart = substr(g.nummer, 1, 2) AND d.belnr = substr(g.nummer, 3)) FROM "
                            "(SELECT COALESCE(dokument, '') AS nummer, count(*) AS seiten FROM ar_scandat WHERE iddokumente IS NULL "
                            "GROUP BY COALESCE(dokument, '')) g ORDER BY g.nummer LIMIT ?"),
             {HoechstensZeilen})) {
        const QString nummer = z.at(0).toString();
        const qint64 belege = z.at(2).toLongLong();
        const QLatin1String grund = nummer.trimmed().size() <= 2 ? common::scanzuordnung::OhneNummer
            : belege == 0                                       ? common::scanzuordnung::BelegFehlt
            : belege > 1                                        ? common::scanzuordnung::Mehrdeutig
                                                                : common::scanzuordnung::Offen;
        zeilen << nummer + u'|' + QString::number(z.at(1).toLongLong()) + u'|' + grund;
    }
    return zeilen;
}

} // namespace

void registriereBelege(Registry &r)
{
    // The Belege of a company with a type (its object id, company + "||" +
    // code) and a number: object id and date, oldest first.
    r.abfrage({"AR.Dokumente", "Datum", 3, 3, [](Kontext &k, const QStringList &args) {
                   const auto typ = k.objekte.zeile(klasse("AR.Belart"), args.at(1));
                   if (!typ)
                       return protokoll::Zeilen{};
                   return alsText(k.db.abfragen(QStringLiteral("SELECT id, datum FROM ar_dokumente WHERE firma = ? AND idbelart = ? "
                                                               "AND belnr = ? ORDER BY datum, id"),
                                                {firmaArg(args, 0), *typ, args.at(2)}));
               }});
    // The Belege a scanned page may belong to, by what its Belegnummer says:
    // type code + number, or the number alone in any type. Object id,
    // company, company name, type code, number, date and text, newest first.
    r.abfrage({"AR.Dokumente", "Nummer", 1, 1, [](Kontext &k, const QStringList &args) {
                   constexpr int Hoechstens = 100;
                   const QString t = args.at(0).trimmed();
                   if (t.isEmpty() || t.size() > 100)
                       return protokoll::Zeilen{};
                   return alsText(k.db.abfragen(
                       QStringLiteral("SELECT d.id, d.firma, f.name, b.belart, d.belnr, d.datum, d.text FROM ar_dokumente d "
                                      "JOIN ar_belart b ON b.id = d.idbelart LEFT JOIN ar_firma f ON f.firma = d.firma "
                                      "WHERE (d.idbelart IN (SELECT id FROM ar_belart WHERE belart = ?) AND d.belnr = ?) "
                                      "OR (d.idbelart IN (SELECT id FROM ar_belart) AND d.belnr = ?) "
                                      "ORDER BY d.datum DESC, d.id DESC LIMIT ?"),
                       {t.left(2), t.mid(2), t, Hoechstens}));
               }});
    // The Beleg becomes due for the next backup volume (a save through the
    // server marks it as well; the editor calls this after every save).
    r.methode(schreibend({"AR.Dokumente", "Setdirty", 1, 1,
                          [](Kontext &k, const QStringList &args, const QString &) {
                              k.objekte.geaendertVermerken(belegZeile(k, args.at(0)));
                              return protokoll::AufrufErgebnis{QStringLiteral("1"), std::nullopt};
                          }},
                         0));
    // Where an e-invoice goes: args company, type code (BT-3), seller VAT ID,
    // tax number, name, postcode, the supplier's invoice number (BT-1), order
    // (BT-13) and despatch advice (BT-16) references. A list: "T|type code"
    // (empty code: no type takes e-invoices), "L|number|name" for each
    // supplier that fits, and
    // "D|id|type|number|date" when the invoice is archived already, "B" and
    // "S" when a Beleg with the order or despatch advice number exists.
    r.methode({"AR.Dokumente", "ERechnung", 9, 9, [](Kontext &k, const QStringList &args, const QString &) {
                   for (const QString &a : args)
                       if (a.size() > 200)
                           throw AnfrageFehler::ungueltig(QStringLiteral("ERechnung: ein Argument ist länger als 200 Zeichen"));
                   einvoice::Rechnung r;
                   r.typ = args.at(1);
                   r.verkaeufer.ustId = args.at(2);
                   r.verkaeufer.steuernummer = args.at(3);
                   r.verkaeufer.name = args.at(4);
                   r.verkaeufer.anschrift.plz = args.at(5);
                   r.nummer = args.at(6);
                   r.bestellung = args.at(7);
                   r.lieferschein = args.at(8);
                   const posteingang::Zuordnung z = posteingang::zuordnen(k.db, firmaArg(args, 0).toLongLong(), r);
                   QStringList liste{QStringLiteral("T|") + z.belart};
                   for (const posteingang::Lieferant &l : z.lieferanten)
                       liste << QStringLiteral("L|%1|%2").arg(l.nummer).arg(l.name);
                   if (z.vorhanden)
                       liste << QStringLiteral("D|%1|%2|%3|%4").arg(z.vorhanden->beleg).arg(z.vorhanden->belart, z.vorhanden->belnr, z.vorhanden->datum);
                   if (z.bestellungDa)
                       liste << QStringLiteral("B");
                   if (z.lieferscheinDa)
                       liste << QStringLiteral("S");
                   return protokoll::AufrufErgebnis{QString::number(liste.size()), liste};
               }});
    // The Beleg's last write on record: time (UTC), workstation and user
    // joined by "|", or "" when the audit trail has none.
    r.methode(
        {"AR.Dokumente", "LetzteAenderung", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
             const auto e = Zugangsspeicher(k.db).letzteAenderung(belegZeile(k, args.at(0)));
             return protokoll::AufrufErgebnis{e ? QStringList{e->zeit, e->arbeitsplatz, e->benutzer}.join(u'|') : QString(), std::nullopt};
         }});
    // The backup volumes that hold a Beleg, in the order they were written.
    r.methode({"AR.Dokumente", "GetBackupinfo", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
                   QStringList dvds;
                   for (const QVariantList &z : k.db.abfragen(QStringLiteral("SELECT dvd FROM ar_sicherung WHERE iddokumente = ? "
                                                                             "ORDER BY datum, id"),
                                                              {belegZeile(k, args.at(0))}))
                       dvds << z.value(0).toString();
                   return protokoll::AufrufErgebnis{QString::number(dvds.size()), dvds};
               }});
    // The Beleg a barcode names, as type code + number, or "": a label code
    // through the label run that printed its number, a code that carries
    // type code and number itself when that Beleg exists.
    r.methode({"AR.Scandat", "GetBelegFromBarcode", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
                   const QString code = args.at(0).trimmed();
                   QString ergebnis;
                   if (code.startsWith(common::etikett::Praefix) && code.size() == 13) {
                       if (const auto nummer = common::etikett::nummer(code)) {
                           const QVariant typ = k.db.wert(
                               QStringLiteral("SELECT belart FROM ar_etikettenlauf WHERE von <= ? AND bis >= ? ORDER BY id DESC"),
                               {*nummer, *nummer});
                           if (typ.isValid() && !typ.isNull())
                               ergebnis = typ.toString() + QString::number(*nummer);
                       }
                   } else if (code.size() > 2 && code.size() <= 100) {
                       const QVariant da = k.db.wert(QStringLiteral("SELECT d.id FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
                                                                    "WHERE b.belart = ? AND d.belnr = ?"),
                                                     {code.left(2), code.mid(2)});
                       if (da.isValid() && !da.isNull())
                           ergebnis = code;
                   }
                   return protokoll::AufrufErgebnis{ergebnis, std::nullopt};
               }});
    // The scan store: record id, Belegnummer, page, and date and text of
    // the archived Beleg a record was assigned to; then, for a digital
    // record (a received file), its file name and kind.
    r.abfrage({"AR.Scandat", "Liste", 0, 0, [](Kontext &k, const QStringList &) {
                   return alsText(
                       k.db.abfragen(QStringLiteral("SELECT s.id, s.dokument, s.seite, d.datum, d.text, s.dateiname, s.doktyp FROM ar_scandat s "
                                                    "LEFT JOIN ar_dokumente d ON d.id = s.iddokumente "
                                                    "ORDER BY COALESCE(s.dokument, ''), s.seite, s.id")));
               }});
    // The scan store's commands: the records of a Belegnummer deleted, or
    // their assignment to a Beleg removed; every record deleted; unassigned
    // records assigned to the one archived Beleg their Belegnummer names
    // (type code + number). Each answers how many records it touched. The
    // page files stay on record, as every archived file does.
    r.methode(schreibend({"AR.Scandat", "BelegLoeschen", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
                              const qint64 n = k.db.ausfuehren(QStringLiteral("DELETE FROM ar_scandat WHERE dokument = ?"), {args.at(0)});
                              return protokoll::AufrufErgebnis{QString::number(n), std::nullopt};
                          }}));
    r.methode(schreibend({"AR.Scandat", "ZuordnungLoeschen", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
                              const qint64 n = k.db.ausfuehren(
                                  QStringLiteral("UPDATE ar_scandat SET iddokumente = NULL, version = version + 1 "
                                                 "WHERE dokument = ? AND iddokumente IS NOT NULL"),
                                  {args.at(0)});
                              return protokoll::AufrufErgebnis{QString::number(n), std::nullopt};
                          }}));
    r.methode(schreibend({"AR.Scandat", "ClearAll", 0, 0, [](Kontext &k, const QStringList &, const QString &) {
                              const qint64 n = k.db.ausfuehren(QStringLiteral("DELETE FROM ar_scandat"));
                              return protokoll::AufrufErgebnis{QString::number(n), std::nullopt};
                          }}));
    r.methode(schreibend({"AR.Scandat", "ScanBelegSuche", 0, 1, [](Kontext &k, const QStringList &, const QString &) {
                              // A number that two companies both have names no one Beleg: left alone.
                              const QString treffer = QStringLiteral(
                                  "FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
                                  "WHERE b.belart = substr(ar_scandat.dokument, 1, 2) "
                                  "AND d.belnr = substr(ar_scandat.dokument, 3)");
                              const qint64 n = k.db.ausfuehren(QStringLiteral("UPDATE ar_scandat SET iddokumente = (SELECT d.id ") + treffer +
                                                               QStringLiteral("), version = version + 1 WHERE iddokumente IS NULL AND "
                                                                              "length(dokument) > 2 AND (SELECT count(*) ") +
                                                               treffer + QStringLiteral(") = 1"));
                              return protokoll::AufrufErgebnis{QString::number(n), std::nullopt};
                          }}));
    // The pages left without a Beleg, by Belegnummer, and why.
    r.methode({"AR.Scandat", "OhneBeleg", 0, 0, [](Kontext &k, const QStringList &, const QString &) {
                   return protokoll::AufrufErgebnis{QString(), ohneBeleg(k)};
               }});
    // The pages of the scan store for a Belegnummer ("" for all): page,
    // record id, Belegnummer and assigned Beleg, pages in ascending order.
    r.abfrage({"AR.Scandat", "ListeDokument", 1, 1, [](Kontext &k, const QStringList &args) {
                   const QString spalten = QStringLiteral("SELECT seite, id, dokument, iddokumente FROM ar_scandat ");
                   if (args.at(0).isEmpty())
                       return alsText(k.db.abfragen(spalten + QStringLiteral("ORDER BY dokument, seite, id")));
                   return alsText(k.db.abfragen(spalten + QStringLiteral("WHERE dokument = ? ORDER BY seite, id"), {args.at(0)}));
               }});
    // Takes the pages of a Belegnummer for the calling session: an editor
    // that shows them, or a transfer that files them. Pages another live
    // session holds are left out, so that no page lands in two Belege. The
    // answer lists "page|record id|assigned Beleg" in page order.
    r.methode(schreibend({"AR.Scandat", "Nehmen", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
                              const QString nummer = args.at(0);
                              if (nummer.isEmpty())
                                  throw AnfrageFehler::ungueltig(QStringLiteral("Nehmen: die Belegnummer fehlt"));
                              const QString mein = Sitzungen::kennung(Anfragekontext::aktuell().sitzung);
                              const auto [beginn, ruhe] = Sitzungen::grenzen();
                              k.db.ausfuehren(QStringLiteral("UPDATE ar_scandat SET genommen = ?, genommen_seit = ? WHERE dokument = ? AND "
                                                             "(genommen IS NULL OR genommen = ? OR NOT EXISTS (SELECT 1 FROM ar_sitzung s "
                                                             "WHERE s.token = ar_scandat.genommen AND s.beginn >= ? AND s.zuletzt >= ?))"),
                                              {mein, QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), nummer, mein, beginn, ruhe});
                              QStringList seiten;
                              for (const SqlZeile &z : k.db.abfragen(QStringLiteral("SELECT seite, id, iddokumente FROM ar_scandat WHERE "
                                                                                    "dokument = ? AND genommen = ? ORDER BY seite, id"),
                                                                     {nummer, mein}))
                                  seiten << QStringLiteral("%1|%2|%3").arg(z.at(0).toLongLong()).arg(z.at(1).toLongLong()).arg(
                                      z.at(2).isNull() ? QString() : QString::number(z.at(2).toLongLong()));
                              return protokoll::AufrufErgebnis{QString::number(seiten.size()), seiten};
                          }}));
    // Gives pages back that the calling session took ("id,id,..."): they
    // left its view unsaved, or a transfer did not file them.
    r.methode(schreibend({"AR.Scandat", "Freigeben", 1, 1, [](Kontext &k, const QStringList &args, const QString &) {
                              const QString mein = Sitzungen::kennung(Anfragekontext::aktuell().sitzung);
                              qint64 n = 0;
                              for (const QString &id : listenArg(args.at(0), u',', "Freigeben")) {
                                  bool ok = false;
                                  const qint64 zeile = id.toLongLong(&ok);
                                  if (!ok)
                                      throw AnfrageFehler::ungueltig(QStringLiteral("Freigeben: \"%1\" ist keine Id").arg(id));
                                  n += k.db.ausfuehren(QStringLiteral("UPDATE ar_scandat SET genommen = NULL, genommen_seit = NULL "
                                                                      "WHERE id = ? AND genommen = ?"),
                                                       {zeile, mein});
                              }
                              return protokoll::AufrufErgebnis{QString::number(n), std::nullopt};
                          }}));
    // One index value (company, property, Beleg, value), replacing the
    // Beleg's values of that property; an empty value removes them.
    r.methode(schreibend({"AR.Extind", "seteigensch", 4, 4,
                          [](Kontext &k, const QStringList &args, const QString &) {
                              k.objekte.indexSchreiben(belegZeile(k, args.at(2)), {{args.at(0), args.at(1), args.at(3)}});
                              return protokoll::AufrufErgebnis{QStringLiteral("1"), std::nullopt};
                          }},
                         2, 0));
}

} // namespace archiv::archivd
