#include "storage/SqliteDatenbank.h"

#include "Fehler.h"

#include <QSqlError>
#include <QSqlQuery>

namespace archiv::archivd {

SqliteDatenbank::SqliteDatenbank(QString pfad) : m_pfad(std::move(pfad))
{
}

QSqlDatabase SqliteDatenbank::neueVerbindung(const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(m_pfad);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
    return db;
}

void SqliteDatenbank::einrichten(QSqlDatabase &db)
{
    QSqlQuery q(db);
    for (const char *pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (!q.exec(QLatin1String(pragma)))
            throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(QLatin1String(pragma), q.lastError().text()));
        q.finish();
    }
}

QString SqliteDatenbank::dialekt(QString sql) const
{
    return sql.replace(QLatin1String("%ID%"), QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"))
        .replace(QLatin1String("%BLOB%"), QLatin1String("BLOB"))
        .replace(QLatin1String("%BIGINT%"), QLatin1String("INTEGER"))
        .replace(QLatin1String("%TEXTLISTE%"), QLatin1String("SELECT value FROM json_each(?)"))
        .replace(QLatin1String("%ZAHLLISTE%"), QLatin1String("SELECT CAST(value AS INTEGER) FROM json_each(?)"));
}

void SqliteDatenbank::beginnen(QSqlDatabase &db)
{
    // IMMEDIATE takes the write lock at once, so two writers never deadlock
    // upgrading from a read lock.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        throw AnfrageFehler::speicher(QStringLiteral("BEGIN: %1").arg(q.lastError().text()));
}

void SqliteDatenbank::setzeNaechsteId(const QString &tabelle, qint64 n)
{
    ausfuehren(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"), {tabelle});
    ausfuehren(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"), {tabelle, n - 1});
}

bool SqliteDatenbank::pruefeIntegritaet(QString *bericht)
{
    QStringList zeilen;
    for (const auto &z : abfragen(QStringLiteral("PRAGMA integrity_check")))
        zeilen.append(z.value(0).toString());
    for (const auto &z : abfragen(QStringLiteral("PRAGMA foreign_key_check")))
        zeilen.append(QStringLiteral("foreign key: %1 row %2").arg(z.value(0).toString(), z.value(1).toString()));
    if (bericht)
        *bericht = zeilen.join(u'\n');
    return zeilen == QStringList{QStringLiteral("ok")};
}

} // namespace archiv::archivd

namespace archiv::archivd {

QString SqliteDatenbank::ganzzahl(const QString &spalte) const
{
    return QStringLiteral("(CASE WHEN %1 <> '' AND %1 NOT GLOB '*[^0-9]*' AND length(%1) < 19 THEN CAST(%1 AS INTEGER) END)").arg(spalte);
}

void SqliteDatenbank::optimieren()
{
    schemaAnweisung(QStringLiteral("PRAGMA analysis_limit=1000"));
    schemaAnweisung(QStringLiteral("ANALYZE"));
}

} // namespace archiv::archivd
