#include "Fehler.h"
#include "Registry.h"
#include "common/Kennungen.h"
#include "storage/Datenbank.h"
#include "storage/abfragen/Abfragen.h"
#include "storage/abfragen/Argumente.h"

namespace archiv::archivd {

namespace {

// Key and name of one master-data class of a company, by key.
AbfrageFunktion schluesselUndName(const char *tabelle, const char *schluessel, bool zahl)
{
    const QString sql =
        QStringLiteral("SELECT %1, name FROM %2 WHERE firma = ? ORDER BY %1").arg(QLatin1String(schluessel), QLatin1String(tabelle));
    Q_UNUSED(zahl);
    return [sql](Kontext &k, const QStringList &args) { return alsText(k.db.abfragen(sql, {firmaArg(args, 0)})); };
}

// A short name matches when it starts the customer's short name or name,
// without regard to case; "*" stands for any characters.
QString kurzMuster(const QString &text)
{
    QString m = likeMuster(text.trimmed());
    if (!m.endsWith(u'%'))
        m += u'%';
    return m;
}

} // namespace

void registriereStammdaten(Registry &r)
{
    r.abfrage({"AR.Belart", "Belart", 1, 1, [](Kontext &k, const QStringList &args) {
                   return alsText(k.db.abfragen(QStringLiteral("SELECT belart, belart, bezeichnung, COALESCE(vollstaendig, 'N'), "
                                                               "COALESCE(wws, 'N'), COALESCE(barcode, 'N') FROM ar_belart "
                                                               "WHERE firma = ? ORDER BY belart"),
                                                {firmaArg(args, 0)}));
               }});
    r.abfrage({"AR.Kundgrp", "Liste", 1, 1, schluesselUndName("ar_kundgrp", "kgrp", false)});
    r.abfrage({"AR.Lieftyp", "Liste", 1, 1, schluesselUndName("ar_lieftyp", "lieftyp", false)});
    r.abfrage({"AR.Kassa", "Liste", 1, 1, schluesselUndName("ar_kassa", "kassa", true)});
    // The type list of the main window may be sent along; departments and
    // profit centres are listed for the company whatever it holds.
    r.abfrage({"AR.Abtnr1", "Liste", 1, 2, schluesselUndName("ar_abtnr1", "abtnr", false)});
    r.abfrage({"AR.Abtnr2", "Liste", 1, 2, schluesselUndName("ar_abtnr2", "abtnr", false)});

    r.abfrage({"AR.Kund", "Liste", 3, 3, [](Kontext &k, const QStringList &args) {
                   return alsText(k.db.abfragen(
                       QStringLiteral("SELECT knr, kgrp, name, plz, ort FROM ar_kund WHERE firma = ? "
                                      "AND (? = '' OR lower(kurzbez) LIKE lower(?) ESCAPE '\\' OR lower(name) LIKE lower(?) ESCAPE '\\') "
                                      "AND (? = '' OR kgrp = ?) ORDER BY knr"),
                       {firmaArg(args, 0), args.at(1).trimmed(), kurzMuster(args.at(1)), kurzMuster(args.at(1)), args.at(2), args.at(2)}));
               }});
    r.abfrage({"AR.Lief", "Liste", 3, 3, [](Kontext &k, const QStringList &args) {
                   // Supplier types come joined by single blanks; none = all.
                   const QStringList typen = listenArg(args.at(2), u' ', "Lieferantentypen");
                   return alsText(k.db.abfragen(
                       QStringLiteral("SELECT lnr, lieftyp, name, plz, ort FROM ar_lief WHERE firma = ? "
                                      "AND (? = '' OR lower(kurzbez) LIKE lower(?) ESCAPE '\\' OR lower(name) LIKE lower(?) ESCAPE '\\') "
                                      "AND (? = 0 OR lieftyp IN (%TEXTLISTE%)) ORDER BY lnr"),
                       {firmaArg(args, 0), args.at(1).trimmed(), kurzMuster(args.at(1)), kurzMuster(args.at(1)), typen.size(),
                        Datenbank::liste(QVariant(typen).toList())}));
               }});
    r.abfrage(
        {"AR.Artikel", "Liste", 3, 3, [](Kontext &k, const QStringList &args) {
             return alsText(k.db.abfragen(
                 QStringLiteral("SELECT artnr, abtnr, bezeichnung FROM ar_artikel WHERE firma = ? AND (? = '' OR abtnr = ?) "
                                "AND (? = '' OR lower(kurzbez) LIKE lower(?) ESCAPE '\\' OR lower(bezeichnung) LIKE lower(?) ESCAPE '\\') "
                                "ORDER BY artnr"),
                 {firmaArg(args, 0), args.at(1), args.at(1), args.at(2).trimmed(), kurzMuster(args.at(2)), kurzMuster(args.at(2))}));
         }});
    r.abfrage(
        {"AR.Mitarb", "Liste", 2, 2, [](Kontext &k, const QStringList &args) {
             const QVariant firma = firmaArg(args, 0);
             // "N": the editor's choice list, without counting.
             if (args.at(1) == QLatin1String("N"))
                 return alsText(
                     k.db.abfragen(QStringLiteral("SELECT mitarb, name, '' FROM ar_mitarb WHERE firma = ? ORDER BY mitarb"), {firma}));
             const QStringList typen = listenArg(args.at(1), u',', "Belegarten");
             return alsText(k.db.abfragen(
                 QStringLiteral("SELECT m.mitarb, m.name, (SELECT COUNT(*) FROM ar_extind x JOIN ar_dokumente d ON d.id = x.iddokumente "
                                "JOIN ar_belart b ON b.id = d.idbelart WHERE x.firma = m.firma AND x.eigenschaft = ? "
                                "AND x.wert = m.mitarb AND (? = 0 OR b.belart IN (%TEXTLISTE%))) "
                                "FROM ar_mitarb m WHERE m.firma = ? ORDER BY m.mitarb"),
                 {common::eigenschaft::Mitarbeiter, typen.size(), Datenbank::liste(QVariant(typen).toList()), firma}));
         }});
    r.abfrage({"AR.BelartIndex", "ListeIndexart", 3, 3, [](Kontext &k, const QStringList &args) {
                   // The union of the selected types' properties, each once, in
                   // the order of their first appearance. Argument 2 may name
                   // a company (empty: all); "J" as argument 3 keeps only the
                   // properties that are shown.
                   const QStringList typen = listenArg(args.at(0), u',', "Belegarten");
                   if (typen.isEmpty())
                       return protokoll::Zeilen{};
                   return alsText(k.db.abfragen(
                       QStringLiteral("SELECT eigenschaft, MIN(bezeichnung), MAX(COALESCE(auswahl, 'N')), MAX(COALESCE(suche, 'N')) "
                                      "FROM ar_belartindex WHERE belart IN (%TEXTLISTE%) AND (? < 0 OR firma = ?) "
                                      "AND (? <> 'J' OR anzeige = 'J') "
                                      "GROUP BY eigenschaft ORDER BY MIN(reihenfolge), eigenschaft"),
                       {Datenbank::liste(QVariant(typen).toList()), args.at(1).isEmpty() ? QVariant(-1) : firmaArg(args, 1),
                        args.at(1).isEmpty() ? QVariant(-1) : firmaArg(args, 1), args.at(2)}));
               }});
    r.abfrage({"AR.BelartIndex", "Liste", 3, 3, [](Kontext &k, const QStringList &args) {
                   // The editor's property rows of one type, in their order.
                   // Argument 2 may name the company; empty takes each
                   // property once, from the lowest company that defines it.
                   QString sql = QStringLiteral(
                       "SELECT belart, eigenschaft, bezeichnung, reihenfolge, COALESCE(auswahl, 'N'), "
                       "COALESCE(suche, 'N'), COALESCE(aendern, 'N'), COALESCE(anzeige, 'N'), COALESCE(neu, 'N'), "
                       "firma FROM ar_belartindex i WHERE belart = ?");
                   QVariantList werte{args.at(0).trimmed()};
                   if (!args.at(1).isEmpty()) {
                       sql += QStringLiteral(" AND firma = ?");
                       werte << firmaArg(args, 1);
                   } else {
                       sql += QStringLiteral(
                           " AND firma = (SELECT MIN(firma) FROM ar_belartindex j WHERE j.belart = i.belart "
                           "AND j.eigenschaft = i.eigenschaft)");
                   }
                   sql += QStringLiteral(" ORDER BY reihenfolge, eigenschaft");
                   protokoll::Zeilen z = alsText(k.db.abfragen(sql, werte));
                   for (QStringList &zeile : z)
                       zeile.removeLast();
                   return z;
               }});
    r.abfrage({"AR.Extind", "GetEigensch", 2, 2, [](Kontext &k, const QStringList &args) {
                   // In the order stored, so that a text of several values
                   // comes back as it was entered.
                   return alsText(
                       k.db.abfragen(QStringLiteral("SELECT eigenschaft, wert FROM ar_extind WHERE firma = ? AND iddokumente = ? "
                                                    "ORDER BY id"),
                                     {firmaArg(args, 0), zahlArg(args, 1, "Beleg")}));
               }});
    r.abfrage({"AR.Extind", "Inhalte", 2, 2, [](Kontext &k, const QStringList &args) {
                   return alsText(k.db.abfragen(QStringLiteral("SELECT DISTINCT wert FROM ar_extind WHERE firma = ? AND eigenschaft = ? "
                                                               "AND wert IS NOT NULL AND wert <> '' ORDER BY wert"),
                                                {firmaArg(args, 0), zahlArg(args, 1, "Eigenschaft")}));
               }});
}

} // namespace archiv::archivd
