#include "storage/Zugangsspeicher.h"

#include "storage/Datenbank.h"

#include <QDateTime>

namespace archiv::archivd {

namespace {

QString jetzt()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace

bool Zugangsspeicher::anlegen(const QString &name, const QString &schluesselHash)
{
    const QList<SqlZeile> da = m_db.abfragen(QStringLiteral("SELECT id, widerrufen FROM ar_arbeitsplatz WHERE name = ?"), {name});
    if (da.isEmpty()) {
        m_db.ausfuehren(QStringLiteral("INSERT INTO ar_arbeitsplatz (name, schluessel, angelegt) VALUES (?, ?, ?)"),
                        {name, schluesselHash, jetzt()});
        return true;
    }
    if (da.first().at(1).isNull())
        return false;
    m_db.ausfuehren(QStringLiteral("UPDATE ar_arbeitsplatz SET schluessel = ?, angelegt = ?, widerrufen = NULL WHERE id = ?"),
                    {schluesselHash, jetzt(), da.first().at(0)});
    return true;
}

bool Zugangsspeicher::widerrufen(const QString &name)
{
    return m_db.ausfuehren(QStringLiteral("UPDATE ar_arbeitsplatz SET widerrufen = ? WHERE name = ? AND widerrufen IS NULL"),
                           {jetzt(), name}) > 0;
}

QList<Zugangsspeicher::Arbeitsplatz> Zugangsspeicher::liste()
{
    QList<Arbeitsplatz> ergebnis;
    for (const SqlZeile &z : m_db.abfragen(QStringLiteral("SELECT name, angelegt, widerrufen FROM ar_arbeitsplatz ORDER BY name")))
        ergebnis.append({z.at(0).toString(), z.at(1).toString(), z.at(2).toString()});
    return ergebnis;
}

std::optional<QString> Zugangsspeicher::schluesselHash(const QString &name)
{
    const QVariant h = m_db.wert(QStringLiteral("SELECT schluessel FROM ar_arbeitsplatz WHERE name = ? AND widerrufen IS NULL"), {name});
    if (!h.isValid() || h.isNull())
        return std::nullopt;
    return h.toString();
}

void Zugangsspeicher::sitzungAnlegen(const QString &tokenHash, const Sitzung &s, const QString &beginnGrenze, const QString &ruheGrenze)
{
    m_db.ausfuehren(QStringLiteral("DELETE FROM ar_sitzung WHERE beginn < ? OR zuletzt < ?"), {beginnGrenze, ruheGrenze});
    m_db.ausfuehren(QStringLiteral("INSERT INTO ar_sitzung (token, benutzer, arbeitsplatz, beginn, zuletzt) VALUES (?, ?, ?, ?, ?)"),
                    {tokenHash, s.benutzer, s.arbeitsplatz, s.beginn, s.zuletzt});
}

std::optional<Zugangsspeicher::Sitzung> Zugangsspeicher::sitzung(const QString &tokenHash)
{
    const QList<SqlZeile> z = m_db.abfragen(
        QStringLiteral("SELECT benutzer, arbeitsplatz, beginn, zuletzt FROM ar_sitzung WHERE token = ?"), {tokenHash});
    if (z.isEmpty())
        return std::nullopt;
    return Sitzung{z.first().at(0).toString(), z.first().at(1).toString(), z.first().at(2).toString(), z.first().at(3).toString()};
}

void Zugangsspeicher::sitzungBenutzt(const QString &tokenHash, const QString &zeit)
{
    m_db.ausfuehren(QStringLiteral("UPDATE ar_sitzung SET zuletzt = ? WHERE token = ?"), {zeit, tokenHash});
}

void Zugangsspeicher::sitzungLoeschen(const QString &tokenHash)
{
    m_db.ausfuehren(QStringLiteral("DELETE FROM ar_sitzung WHERE token = ?"), {tokenHash});
}

void Zugangsspeicher::vermerken(const Eintrag &e)
{
    m_db.ausfuehren(
        QStringLiteral("INSERT INTO ar_protokoll (zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version, beleg, dateien) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {e.zeit.isEmpty() ? jetzt() : e.zeit, e.arbeitsplatz, e.benutzer, e.klasse, e.objekt, e.aktion, e.version,
         e.beleg > 0 ? QVariant(e.beleg) : QVariant(), e.dateien.join(u' ')});
}

std::optional<Zugangsspeicher::Eintrag> Zugangsspeicher::letzteAenderung(qint64 beleg)
{
    const QList<SqlZeile> z = m_db.abfragen(
        QStringLiteral("SELECT zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version FROM ar_protokoll "
                       "WHERE beleg = ? ORDER BY id DESC LIMIT 1"),
        {beleg});
    if (z.isEmpty())
        return std::nullopt;
    const SqlZeile &r = z.first();
    return Eintrag{r.at(0).toString(),
                   r.at(1).toString(),
                   r.at(2).toString(),
                   r.at(3).toString(),
                   r.at(4).toString(),
                   r.at(5).toString(),
                   r.at(6).toLongLong(),
                   beleg,
                   {}};
}

QList<Zugangsspeicher::Eintrag> Zugangsspeicher::protokoll(qint64 beleg, const QString &seit, int grenze)
{
    QString sql = QStringLiteral(
        "SELECT zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version, beleg, dateien FROM ar_protokoll "
        "WHERE 1 = 1");
    QVariantList werte;
    if (!seit.isEmpty()) {
        sql += QStringLiteral(" AND zeit >= ?");
        werte << seit;
    }
    if (beleg > 0) {
        sql += QStringLiteral(" AND beleg = ?");
        werte << beleg;
    }
    sql += QStringLiteral(" ORDER BY id LIMIT ?");
    werte << grenze;
    QList<Eintrag> ergebnis;
    for (const SqlZeile &z : m_db.abfragen(sql, werte))
        ergebnis.append({z.at(0).toString(), z.at(1).toString(), z.at(2).toString(), z.at(3).toString(), z.at(4).toString(),
                         z.at(5).toString(), z.at(6).toLongLong(), z.at(7).toLongLong(), z.at(8).toString().split(u' ', Qt::SkipEmptyParts)});
    return ergebnis;
}

} // namespace archiv::archivd
