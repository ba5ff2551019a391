#include "storage/Verwaltungsspeicher.h"

#include "storage/Datenbank.h"

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
        QStringLiteral(
            "INSERT INTO ar_sicherung (version, iddokumente, dvd, datum) "
            "SELECT 1, d.id, ?, ? FROM ar_dokumente d WHERE NOT EXISTS (SELECT 1 FROM ar_sicherung s "
            "WHERE s.iddokumente = d.id AND (d.aenderung IS NULL OR d.aenderung = '' OR s.datum >= substr(d.aenderung, 1, 10)))"),
        {dvd, datum});
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
