#include "Fehler.h"
#include "Registry.h"
#include "common/Faltung.h"
#include "common/Kennungen.h"
#include "storage/Datenbank.h"
#include "storage/abfragen/Abfragen.h"
#include "storage/abfragen/Argumente.h"
#include "volltext/Volltext.h"

#include <QRect>
#include <QRegularExpression>

namespace archiv::archivd {

namespace {

struct Bedingung
{
    QString sql;
    QVariantList werte;
};

// N: numbers joined by ","; "*" a pattern, "a-b" of two numbers a range,
// anything else exact; blanks around an item do not count. The exact
// numbers go to the database as one list; ranges and patterns each add a
// condition, so there may be only a few of them.
constexpr int MaxMusterUndBereiche = 50;

Bedingung nummern(const Datenbank &db, const QString &n)
{
    static const QRegularExpression bereich(QStringLiteral(R"(^(\d{1,18})\s*-\s*(\d{1,18})$)"));
    QStringList teile;
    QVariantList exakt;
    Bedingung b;
    for (const QString &item : listenArg(n, u',', "Belegnummern")) {
        const auto m = bereich.match(item);
        if (m.hasMatch()) {
            teile << QStringLiteral("%1 BETWEEN ? AND ?").arg(db.ganzzahl(QStringLiteral("d.belnr")));
            b.werte << m.captured(1).toLongLong() << m.captured(2).toLongLong();
        } else if (item.contains(u'*')) {
            teile << QStringLiteral("d.belnr LIKE ? ESCAPE '\\'");
            b.werte << likeMuster(item);
        } else {
            exakt << item;
        }
        if (teile.size() > MaxMusterUndBereiche)
            throw AnfrageFehler::ungueltig(QStringLiteral("Belegnummern: höchstens %1 Bereiche und Muster").arg(MaxMusterUndBereiche));
    }
    if (!exakt.isEmpty()) {
        teile.prepend(QStringLiteral("d.belnr IN (%TEXTLISTE%)"));
        b.werte.prepend(Datenbank::liste(exakt));
    }
    if (!teile.isEmpty())
        b.sql = QStringLiteral("(") + teile.join(QStringLiteral(" OR ")) + u')';
    return b;
}

// Below this many matching index values a criterion drives the search (the
// few Belege are fetched by id); above it, every candidate of the date
// order is checked on its own index entries, so the first hits come fast.
constexpr int Treibergrenze = 20000;

Bedingung wertBedingung(Datenbank &db, const QVariant &firma, qint64 code, const QString &vergleich, const QVariantList &werte)
{
    const qint64 anzahl = db.wert(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM ar_extind WHERE firma = ? AND eigenschaft = ? "
                                                 "AND wert_gefaltet %1 LIMIT %2) t")
                                      .arg(vergleich)
                                      .arg(Treibergrenze),
                                  QVariantList{firma, code} + werte)
                              .toLongLong();
    Bedingung b;
    if (anzahl < Treibergrenze) {
        b.sql = QStringLiteral(
                    "d.id IN (SELECT x.iddokumente FROM ar_extind x WHERE x.firma = ? AND x.eigenschaft = ? AND x.wert_gefaltet %1)")
                    .arg(vergleich);
        b.werte = QVariantList{firma, code} + werte;
    } else {
        b.sql = QStringLiteral("EXISTS (SELECT 1 FROM ar_extind x WHERE x.iddokumente = d.id AND x.eigenschaft = ? AND x.wert_gefaltet %1)")
                    .arg(vergleich);
        b.werte = QVariantList{code} + werte;
    }
    return b;
}

// K: entries code + "|" + value joined by ","; every entry must match.
// The main window has at most 100 rows and three lists.
constexpr int MaxKriterien = 200;

QList<Bedingung> kriterien(Datenbank &db, const QVariant &firma, const QString &k)
{
    QList<Bedingung> alle;
    for (const QString &eintrag : listenArg(k, u',', "Kriterien", MaxKriterien)) {
        const qsizetype strich = eintrag.indexOf(u'|');
        bool ok = false;
        const qint64 code = strich > 0 ? eintrag.left(strich).trimmed().toLongLong(&ok) : 0;
        if (!ok)
            throw AnfrageFehler::ungueltig(QStringLiteral("Kriterium \"%1\" hat nicht die Form Code|Wert").arg(eintrag));
        const QString wert = eintrag.mid(strich + 1);
        // A list of keys matches when the Beleg has any of them.
        if (common::istSchluesselliste(int(code))) {
            QVariantList werte;
            for (const QString &s : listenArg(wert, u'`', "Schlüssel eines Kriteriums"))
                werte << common::gefaltet(s);
            if (werte.isEmpty())
                continue;
            alle << wertBedingung(db, firma, code, QStringLiteral("IN (%TEXTLISTE%)"), {Datenbank::liste(werte)});
        } else {
            // A backquote in a free text stands for the comma it replaced.
            const QString text = QString(wert).replace(u'`', u',');
            if (text.isEmpty())
                continue;
            if (text.contains(u'*')) {
                // A pattern cannot use the value index: checked per candidate.
                alle << Bedingung{QStringLiteral("EXISTS (SELECT 1 FROM ar_extind x WHERE x.iddokumente = d.id AND x.eigenschaft = ? "
                                                 "AND x.wert_gefaltet LIKE ? ESCAPE '\\')"),
                                  {code, likeMuster(common::gefaltet(text))}};
            } else {
                alle << wertBedingung(db, firma, code, QStringLiteral("= ?"), {common::gefaltet(text)});
            }
        }
    }
    return alle;
}

protokoll::Zeilen suche(Kontext &k, const QStringList &args)
{
    const QVariant firma = firmaArg(args, 0);
    const QString von = datumArg(args, 3, "Datum von");
    const QString bis = datumArg(args, 4, "Datum bis");
    const qint64 grenze = zahlArg(args, 6, "Trefferzahl");
    if (grenze < 0)
        throw AnfrageFehler::ungueltig(QStringLiteral("Trefferzahl: %1 ist negativ").arg(grenze));

    QStringList wo{QStringLiteral("d.firma = ?")};
    QVariantList werte{firma};
    const QStringList typen = listenArg(args.at(1), u',', "Belegarten");
    if (!typen.isEmpty()) {
        // The types by their row ids; the unary plus keeps the database
        // walking the date index (newest first) instead of the type index,
        // so a limit ends the search early.
        const QList<SqlZeile> ids = k.db.abfragen(QStringLiteral("SELECT id FROM ar_belart WHERE firma = ? AND belart IN (%TEXTLISTE%)"),
                                                  {firma, Datenbank::liste(QVariant(typen).toList())});
        if (ids.isEmpty())
            return {};
        QVariantList idListe;
        for (const SqlZeile &z : ids)
            idListe << z.at(0).toLongLong();
        wo << QStringLiteral("+d.idbelart IN (%ZAHLLISTE%)");
        werte << Datenbank::liste(idListe);
    }
    const Bedingung n = nummern(k.db, args.at(2));
    if (!n.sql.isEmpty()) {
        wo << n.sql;
        werte << n.werte;
    }
    if (!von.isEmpty()) {
        wo << QStringLiteral("d.datum >= ?");
        werte << von;
    }
    if (!bis.isEmpty()) {
        wo << QStringLiteral("d.datum <= ?");
        werte << bis;
    }
    for (const Bedingung &b : kriterien(k.db, firma, args.at(5))) {
        wo << b.sql;
        werte << b.werte;
    }
    // The full-text words, when given: an empty text changes nothing.
    if (args.size() > 7 && !args.at(7).trimmed().isEmpty()) {
        if (args.at(7).size() > 2000)
            throw AnfrageFehler::ungueltig(QStringLiteral("Volltext: höchstens 2000 Zeichen"));
        const volltext::Bedingung v = volltext::bedingung(k.db, args.at(7));
        wo << v.sql;
        werte << v.werte;
    }
    werte << grenze;
    // Text: the Beleg's WWS text, else the names of its customer or supplier.
    const QString sql = QStringLiteral(
                            "SELECT d.id, b.belart, d.belnr, d.datum, d.zeit, "
                            "COALESCE(NULLIF(d.text, ''), (SELECT MIN(ku.name) FROM ar_extind x JOIN ar_kund ku ON ku.firma = x.firma "
                            "AND CAST(ku.knr AS TEXT) = x.wert WHERE x.iddokumente = d.id AND x.eigenschaft = %3), "
                            "(SELECT MIN(li.name) FROM ar_extind x JOIN ar_lief li ON li.firma = x.firma AND CAST(li.lnr AS TEXT) = x.wert "
                            "WHERE x.iddokumente = d.id AND x.eigenschaft = %4), ''), "
                            "CASE WHEN d.storno = 'J' THEN %2 ELSE COALESCE(d.picsw, 0) END "
                            "FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart WHERE %1 "
                            "ORDER BY d.datum DESC, d.zeit DESC, d.id DESC LIMIT ?")
                            .arg(wo.join(QStringLiteral(" AND ")), QString::number(common::bildstatus::Storniert),
                                 QString::number(common::eigenschaft::Kunde), QString::number(common::eigenschaft::Lieferant));
    return alsText(k.db.abfragen(sql, werte));
}

// The links of a Beleg: the references it holds (index properties whose
// definition names a target type) and the Belege that hold a reference to it.
protokoll::Zeilen verknuepfungen(Kontext &k, const QStringList &args)
{
    const QVariant firma = firmaArg(args, 0);
    const qint64 id = zahlArg(args, 1, "Beleg");
    const QString sql = QStringLiteral(
        // References it holds: the target is found by type and number.
        "SELECT '', x.wert, i.zielbelart, COALESCE((SELECT MIN(z.id) FROM ar_dokumente z JOIN ar_belart zb ON zb.id = z.idbelart "
        "WHERE z.firma = d.firma AND zb.belart = i.zielbelart AND z.belnr = x.wert), 0), "
        "(SELECT MIN(z.datum) FROM ar_dokumente z JOIN ar_belart zb ON zb.id = z.idbelart "
        "WHERE z.firma = d.firma AND zb.belart = i.zielbelart AND z.belnr = x.wert), x.eigenschaft "
        "FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
        "JOIN ar_extind x ON x.iddokumente = d.id "
        "JOIN ar_belartindex i ON i.firma = d.firma AND i.belart = b.belart AND i.eigenschaft = x.eigenschaft "
        "WHERE d.id = ? AND d.firma = ? AND i.zielbelart IS NOT NULL AND i.zielbelart <> '' AND x.wert IS NOT NULL AND x.wert <> '' "
        "UNION ALL "
        // Belege that refer to it.
        "SELECT '', o.belnr, ob.belart, o.id, o.datum, x.eigenschaft "
        "FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
        "JOIN ar_extind x ON x.firma = d.firma AND x.wert = d.belnr "
        "JOIN ar_dokumente o ON o.id = x.iddokumente JOIN ar_belart ob ON ob.id = o.idbelart "
        "JOIN ar_belartindex i ON i.firma = o.firma AND i.belart = ob.belart AND i.eigenschaft = x.eigenschaft "
        "WHERE d.id = ? AND d.firma = ? AND i.zielbelart = b.belart AND o.id <> d.id "
        "ORDER BY 6, 3, 2");
    return alsText(k.db.abfragen(sql, {id, firma, id, firma}));
}

} // namespace

void registriereSuche(Registry &r)
{
    r.abfrage({"AR.Dokumente", "Suche", 7, 8, suche});
    // Where the full-text words are on a Beleg's pages: rows of element
    // position, page, box basis (300 dpi or 0 for page pixels) and the boxes
    // "x,y,w,h" joined by blanks.
    // The words read on a document element's pages (Beleg id, position from
    // 1), for a text layer: rows of page (from 1), box basis as above and the
    // words as a JSON array of [x, y, w, h, word].
    r.abfrage({"AR.Dokumente", "VolltextSeiten", 2, 2, [](Kontext &k, const QStringList &args) {
                   return alsText(k.db.abfragen(
                       QStringLiteral("SELECT s.seite, CASE WHEN e.doktyp = 'pdf' THEN 300 ELSE 0 END, s.woerter FROM ar_dokuments e "
                                      "JOIN ar_volltext v ON v.element = e.id AND v.blob = e.dok_blob JOIN ar_volltext_seite s ON s.volltext = v.id "
                                      "WHERE e.parent_id = ? AND e.position = ? ORDER BY s.seite"),
                       {zahlArg(args, 0, "Beleg"), zahlArg(args, 1, "Position")}));
               }});
    r.abfrage({"AR.Dokumente", "VolltextTreffer", 2, 2, [](Kontext &k, const QStringList &args) {
                   if (args.at(1).size() > 2000)
                       throw AnfrageFehler::ungueltig(QStringLiteral("Volltext: höchstens 2000 Zeichen"));
                   protokoll::Zeilen zeilen;
                   for (const volltext::Trefferseite &t : volltext::treffer(k.db, zahlArg(args, 0, "Beleg"), args.at(1))) {
                       QStringList boxen;
                       for (const QRect &b : t.boxen)
                           boxen << QStringLiteral("%1,%2,%3,%4").arg(b.x()).arg(b.y()).arg(b.width()).arg(b.height());
                       zeilen.append({QString::number(t.position), QString::number(t.seite), QString::number(t.basis), boxen.join(u' ')});
                   }
                   return zeilen;
               }});
    // The pages the full-text words are on, for the result list: the words
    // and up to 500 Beleg ids joined by commas; rows of Beleg id and
    // "S. 1, 3".
    r.abfrage({"AR.Dokumente", "VolltextFundstellen", 2, 2, [](Kontext &k, const QStringList &args) {
                   if (args.at(0).size() > 2000)
                       throw AnfrageFehler::ungueltig(QStringLiteral("Volltext: höchstens 2000 Zeichen"));
                   QList<qint64> ids;
                   for (const QString &t : args.at(1).split(u',', Qt::SkipEmptyParts)) {
                       bool ok = false;
                       ids << t.trimmed().toLongLong(&ok);
                       if (!ok)
                           throw AnfrageFehler::ungueltig(QStringLiteral("Beleg: keine Zahl: %1").arg(t.left(40)));
                   }
                   const auto stellen = volltext::fundstellen(k.db, ids, args.at(0));
                   protokoll::Zeilen zeilen;
                   for (qint64 id : std::as_const(ids))
                       if (stellen.contains(id))
                           zeilen.append({QString::number(id), volltext::fundstellenText(stellen.value(id))});
                   return zeilen;
               }});
    r.abfrage({"AR.Extind", "GetEigenschVerkn", 2, 2, verknuepfungen});
}

} // namespace archiv::archivd
