#include "storage/PostgresDatenbank.h"

#include "Fehler.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrlQuery>

namespace archiv::archivd {

PostgresDatenbank::PostgresDatenbank(const QString &url) : m_url(url)
{
    if (!m_url.isValid() || m_url.path().size() < 2)
        throw AnfrageFehler::ungueltig(QStringLiteral("Ungültige PostgreSQL-Adresse: %1").arg(url));
}

QString PostgresDatenbank::beschreibung() const
{
    return m_url.toString(QUrl::RemovePassword);
}

QSqlDatabase PostgresDatenbank::neueVerbindung(const QString &name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(m_url.host().isEmpty() ? QStringLiteral("localhost") : m_url.host());
    db.setPort(m_url.port(5432));
    db.setDatabaseName(m_url.path().mid(1));
    db.setUserName(m_url.userName());
    db.setPassword(m_url.password());
    QStringList optionen;
    const QUrlQuery query(m_url);
    for (const auto &[schluessel, wert] : query.queryItems())
        optionen.append(schluessel + u'=' + wert);
    db.setConnectOptions(optionen.join(u';'));
    return db;
}

void PostgresDatenbank::einrichten(QSqlDatabase &db)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("SET client_min_messages TO WARNING"));
}

QString PostgresDatenbank::dialekt(QString sql) const
{
    return sql.replace(QLatin1String("%ID%"), QLatin1String("BIGSERIAL PRIMARY KEY"))
        .replace(QLatin1String("%BLOB%"), QLatin1String("BYTEA"))
        .replace(QLatin1String("%BIGINT%"), QLatin1String("BIGINT"))
        .replace(QLatin1String("%TEXTLISTE%"), QLatin1String("SELECT json_array_elements_text(CAST(? AS json))"))
        .replace(QLatin1String("%ZAHLLISTE%"), QLatin1String("SELECT CAST(json_array_elements_text(CAST(? AS json)) AS BIGINT)"));
}

void PostgresDatenbank::beginnen(QSqlDatabase &db)
{
    if (!db.transaction())
        throw AnfrageFehler::speicher(QStringLiteral("BEGIN: %1").arg(db.lastError().text()));
}

void PostgresDatenbank::setzeNaechsteId(const QString &tabelle, qint64 n)
{
    wert(QStringLiteral("SELECT setval(pg_get_serial_sequence(?, 'id'), ?, false)"), {tabelle, n});
}

bool PostgresDatenbank::pruefeIntegritaet(QString *bericht)
{
    // PostgreSQL enforces its constraints itself; a count proves the catalog is readable.
    const qint64 n = wert(QStringLiteral("SELECT COUNT(*) FROM schema_version")).toLongLong();
    if (bericht)
        *bericht = QStringLiteral("ok");
    return n > 0;
}

} // namespace archiv::archivd

namespace archiv::archivd {

QString PostgresDatenbank::ganzzahl(const QString &spalte) const
{
    return QStringLiteral("(CASE WHEN %1 ~ '^[0-9]{1,18}$' THEN CAST(%1 AS BIGINT) END)").arg(spalte);
}

void PostgresDatenbank::optimieren()
{
    schemaAnweisung(QStringLiteral("ANALYZE"));
}

} // namespace archiv::archivd
