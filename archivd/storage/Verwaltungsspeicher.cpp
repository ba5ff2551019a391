#include "storage/Verwaltungsspeicher.h"

#include "storage/Datenbank.h"

#include <QDate>

namespace archiv::archivd {

void Verwaltungsspeicher::passwortSetzen(qint64 zeile, const QString &hash)
{
    m_db.ausfuehren(QStringLiteral("UPDATE ts_parpersedv SET passwort = ?, version = version + 1 WHERE id = ?"), {hash, zeile});
}

void Verwaltungsspeicher::benutzerDeaktivieren(qint64 zeile)
{
    m_db.ausfuehren(QStringLiteral("UPDATE ts_parpersedv SET aktiv = 'N', version = version + 1 WHERE id = ?"), {zeile});
}

qint64 Verwaltungsspeicher::sicherungVermerken(const QString &dvd, const QString &datum)
{
    return m_db.ausfuehren(
        QStringLiteral("INSERT INTO ar_sicherung (version, iddokumente, dvd, datum) "
                       "SELECT 1, d.id, ?, ? FROM ar_dokumente d WHERE NOT EXISTS (SELECT 1 FROM ar_sicherung s "
                       "WHERE s.iddokumente = d.id AND (d.aenderung IS NULL OR d.aenderung = '' OR ") +
            gesichertNach() + QStringLiteral(" > d.aenderung))"),
        {dvd, datum});
}

QString Verwaltungsspeicher::gesichertNach()
{
    // A record of a day only counts from that day's start: a change later
    // that day is due again rather than taken as saved.
    return QStringLiteral("COALESCE(s.zeitpunkt, s.datum || 'T00:00:00')");
}

qint64 Verwaltungsspeicher::Sicherungsbeleg::bytes() const
{
    qint64 summe = 0;
    for (const Datei &d : dateien)
        summe += d.groesse;
    return summe;
}

QList<Verwaltungsspeicher::Sicherungsbeleg> Verwaltungsspeicher::faelligeBelege(qint64 ab, int n)
{
    QList<Sicherungsbeleg> belege;
    const QList<SqlZeile> kopf = m_db.abfragen(
        QStringLiteral("SELECT d.id, d.firma, b.belart, d.belnr, d.datum, d.zeit, d.privatjn, d.text, d.storno FROM ar_dokumente d "
                       "LEFT JOIN ar_belart b ON b.id = d.idbelart WHERE d.id > ? AND NOT EXISTS (SELECT 1 FROM ar_sicherung s "
                       "WHERE s.iddokumente = d.id AND (d.aenderung IS NULL OR d.aenderung = '' OR ") +
            gesichertNach() + QStringLiteral(" > d.aenderung)) ORDER BY d.id LIMIT ?"),
        {ab, n});
    for (const SqlZeile &z : kopf) {
        Sicherungsbeleg b;
        b.id = z.at(0).toLongLong();
        for (int i = 1; i < 8; ++i)
            b.kopf << z.at(i).toString();
        b.storno = z.at(8).toString();
        int nr = 0;
        for (const SqlZeile &d : m_db.abfragen(QStringLiteral("SELECT position, doktyp, doktext, daterst, dok_blob, dok_size, dateiname, bericht "
                                                              "FROM ar_dokuments WHERE parent_id = ? ORDER BY position"),
                                               {b.id}))
            b.dateien.append({++nr, d.at(1).toString(), d.at(2).toString(), d.at(3).toString(), d.at(4).toString(),
                              d.at(5).toLongLong(), d.at(6).toString(), d.at(7).toString()});
        for (const SqlZeile &w : m_db.abfragen(QStringLiteral("SELECT eigenschaft, wert FROM ar_extind WHERE iddokumente = ? ORDER BY id"),
                                               {b.id}))
            b.werte.append({w.at(0).toString(), w.at(1).toString()});
        belege << b;
    }
    return belege;
}

void Verwaltungsspeicher::sicherungVermerken(const QList<qint64> &belege, const QString &band, const QString &zeitpunkt)
{
    for (qint64 id : belege)
        m_db.ausfuehren(QStringLiteral("INSERT INTO ar_sicherung (version, iddokumente, dvd, datum, zeitpunkt) VALUES (1, ?, ?, ?, ?)"),
                        {id, band, QDate::currentDate().toString(Qt::ISODate), zeitpunkt});
}

QList<std::pair<QString, QString>> Verwaltungsspeicher::ersteBelege(int firma, const QString &belart, int n)
{
    QList<std::pair<QString, QString>> belege;
    for (const SqlZeile &z : m_db.abfragen(QStringLiteral("SELECT d.id, d.belnr FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
                                                          "WHERE b.belart = ? AND d.firma = ? ORDER BY d.id LIMIT ?"),
                                           {belart, firma, n}))
        belege.append({z.at(0).toString(), z.at(1).toString()});
    return belege;
}

} // namespace archiv::archivd
