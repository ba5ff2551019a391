#include "Posteingang.h"

#include "common/Faltung.h"
#include "common/Kennungen.h"
#include "storage/Datenbank.h"

namespace archiv::archivd::posteingang {

namespace {

QList<Lieferant> lieferanten(const QList<SqlZeile> &zeilen)
{
    QList<Lieferant> l;
    for (const SqlZeile &z : zeilen)
        l.append({z.at(0).toLongLong(), z.at(1).toString()});
    return l;
}

// Suppliers whose VAT ID or tax number (column spalte) is kennung, written
// as the master data has it or in any other spelling of the same ID.
QList<Lieferant> nachKennung(Datenbank &db, qint64 firma, const QString &spalte, const QString &kennung)
{
    const QString normal = kennungNormal(kennung);
    if (normal.size() < 4)
        return {};
    QList<Lieferant> l =
        lieferanten(db.abfragen(QStringLiteral("SELECT lnr, name FROM ar_lief WHERE firma = ? AND %1 = ? ORDER BY lnr").arg(spalte), {firma, normal}));
    if (!l.isEmpty())
        return l;
    for (const SqlZeile &z : db.abfragen(
             QStringLiteral("SELECT lnr, name, %1 FROM ar_lief WHERE firma = ? AND %1 IS NOT NULL AND %1 <> '' ORDER BY lnr").arg(spalte),
             {firma}))
        if (kennungNormal(z.at(2).toString()) == normal)
            l.append({z.at(0).toLongLong(), z.at(1).toString()});
    return l;
}

bool belegDa(Datenbank &db, qint64 firma, const QString &belart, int eigenschaft, const QString &nummer)
{
    if (nummer.trimmed().isEmpty())
        return false;
    return db.wert(QStringLiteral("SELECT count(*) FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
                                  "WHERE d.firma = ? AND d.belnr = ? AND b.belart = (SELECT zielbelart FROM ar_belartindex "
                                  "WHERE firma = ? AND belart = ? AND eigenschaft = ? ORDER BY id LIMIT 1)"),
                   {firma, nummer.trimmed(), firma, belart, eigenschaft})
               .toLongLong() > 0;
}

} // namespace

QString kennungNormal(const QString &kennung)
{
    QString n;
    for (const QChar c : kennung)
        if (c.isLetterOrNumber())
            n += c.toUpper();
    return n;
}

Zuordnung zuordnen(Datenbank &db, qint64 firma, const einvoice::Rechnung &r)
{
    Zuordnung z;
    const auto typMit = [&](QLatin1String kennung) {
        return db.wert(QStringLiteral("SELECT belart FROM ar_belart WHERE firma = ? AND erechnung = ? ORDER BY belart LIMIT 1"),
                       {firma, QString(kennung)})
            .toString();
    };
    if (r.typ == QLatin1String("381"))
        z.belart = typMit(common::erechnung::Gutschriften);
    if (z.belart.isEmpty())
        z.belart = typMit(common::erechnung::Rechnungen);
    if (z.belart.isEmpty() &&
        db.wert(QStringLiteral("SELECT count(*) FROM ar_belart WHERE firma = ? AND belart = 'ER'"), {firma}).toLongLong() > 0)
        z.belart = QStringLiteral("ER");

    z.lieferanten = nachKennung(db, firma, QStringLiteral("ustid"), r.verkaeufer.ustId);
    if (z.lieferanten.isEmpty())
        z.lieferanten = nachKennung(db, firma, QStringLiteral("steuernr"), r.verkaeufer.steuernummer);
    if (z.lieferanten.isEmpty() && !r.verkaeufer.name.trimmed().isEmpty() && !r.verkaeufer.anschrift.plz.trimmed().isEmpty()) {
        const QString name = common::gefaltet(r.verkaeufer.name.simplified());
        for (const SqlZeile &l : db.abfragen(QStringLiteral("SELECT lnr, name FROM ar_lief WHERE firma = ? AND plz = ? ORDER BY lnr"),
                                             {firma, r.verkaeufer.anschrift.plz.trimmed()}))
            if (common::gefaltet(l.at(1).toString().simplified()) == name)
                z.lieferanten.append({l.at(0).toLongLong(), l.at(1).toString()});
    }

    if (z.lieferanten.size() == 1 && !r.nummer.trimmed().isEmpty()) {
        const QList<SqlZeile> v = db.abfragen(
            QStringLiteral("SELECT d.id, b.belart, d.belnr, d.datum FROM ar_extind x "
                           "JOIN ar_extind y ON y.iddokumente = x.iddokumente AND y.eigenschaft = ? AND y.wert = ? "
                           "JOIN ar_dokumente d ON d.id = x.iddokumente JOIN ar_belart b ON b.id = d.idbelart "
                           "WHERE x.firma = ? AND x.eigenschaft = ? AND x.wert = ? ORDER BY d.id LIMIT 1"),
            {common::eigenschaft::Lieferant, QString::number(z.lieferanten.first().nummer), firma, common::eigenschaft::Rechnungsnummer,
             r.nummer.trimmed()});
        if (!v.isEmpty())
            z.vorhanden = Vorhanden{v.first().at(0).toLongLong(), v.first().at(1).toString(), v.first().at(2).toString(),
                                    v.first().at(3).toString()};
    }
    if (!z.belart.isEmpty()) {
        z.bestellungDa = belegDa(db, firma, z.belart, common::eigenschaft::Bestellung, r.bestellung);
        z.lieferscheinDa = belegDa(db, firma, z.belart, common::eigenschaft::Lieferschein, r.lieferschein);
    }
    return z;
}

} // namespace archiv::archivd::posteingang
