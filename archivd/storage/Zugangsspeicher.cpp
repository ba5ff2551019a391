#include "storage/Zugangsspeicher.h"

#include "storage/Datenbank.h"
#include "storage/Pruefkette.h"

#include <QHash>

#include <QDateTime>

namespace archiv::archivd {

namespace {

QString jetzt()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace

QString steuerzeichenMaskiert(const QString &text, bool rueckstriche)
{
    QString m;
    m.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\': m += rueckstriche ? QStringLiteral("\\\\") : QStringLiteral("\\"); break;
        case u'\n': m += QStringLiteral("\\n"); break;
        case u'\r': m += QStringLiteral("\\r"); break;
        case u'\t': m += QStringLiteral("\\t"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Format || c == QChar::LineSeparator ||
                c == QChar::ParagraphSeparator)
                m += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
            else
                m += c;
        }
    }
    return m;
}

namespace {

} // namespace

bool Zugangsspeicher::anlegen(const QString &name, const QString &schluesselHash, const QString &zertifikat)
{
    const QList<SqlZeile> da = m_db.abfragen(QStringLiteral("SELECT id, widerrufen FROM ar_arbeitsplatz WHERE name = ?"), {name});
    if (da.isEmpty()) {
        m_db.ausfuehren(QStringLiteral("INSERT INTO ar_arbeitsplatz (name, schluessel, angelegt, zertifikat) VALUES (?, ?, ?, ?)"),
                        {name, schluesselHash, jetzt(), zertifikat.toLower()});
        return true;
    }
    if (da.first().at(1).isNull())
        return false;
    m_db.ausfuehren(
        QStringLiteral("UPDATE ar_arbeitsplatz SET schluessel = ?, angelegt = ?, widerrufen = NULL, zertifikat = ? WHERE id = ?"),
        {schluesselHash, jetzt(), zertifikat.toLower(), da.first().at(0)});
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

std::optional<Zugangsspeicher::Schluessel> Zugangsspeicher::schluessel(const QString &name)
{
    const QList<SqlZeile> z =
        m_db.abfragen(QStringLiteral("SELECT schluessel, zertifikat FROM ar_arbeitsplatz WHERE name = ? AND widerrufen IS NULL"), {name});
    if (z.isEmpty() || z.first().at(0).isNull())
        return std::nullopt;
    return Schluessel{z.first().at(0).toString(), z.first().at(1).toString()};
}

void Zugangsspeicher::sitzungAnlegen(const QString &tokenHash, const Sitzung &s, const QString &beginnGrenze, const QString &ruheGrenze)
{
    m_db.ausfuehren(QStringLiteral("DELETE FROM ar_sitzung WHERE beginn < ? OR zuletzt < ?"), {beginnGrenze, ruheGrenze});
    m_db.ausfuehren(
        QStringLiteral("INSERT INTO ar_sitzung (token, benutzer, arbeitsplatz, beginn, zuletzt, schluessel) VALUES (?, ?, ?, ?, ?, ?)"),
        {tokenHash, s.benutzer, s.arbeitsplatz, s.beginn, s.zuletzt, s.schluessel});
}

std::optional<Zugangsspeicher::Sitzung> Zugangsspeicher::sitzung(const QString &tokenHash)
{
    const QList<SqlZeile> z = m_db.abfragen(
        QStringLiteral("SELECT benutzer, arbeitsplatz, beginn, zuletzt, schluessel FROM ar_sitzung WHERE token = ?"), {tokenHash});
    if (z.isEmpty())
        return std::nullopt;
    return Sitzung{z.first().at(0).toString(), z.first().at(1).toString(), z.first().at(2).toString(), z.first().at(3).toString(),
                   z.first().at(4).toString()};
}

void Zugangsspeicher::sitzungBenutzt(const QString &tokenHash, const QString &zeit)
{
    m_db.ausfuehren(QStringLiteral("UPDATE ar_sitzung SET zuletzt = ? WHERE token = ?"), {zeit, tokenHash});
}

void Zugangsspeicher::sitzungenBeenden(const QString &benutzer)
{
    m_db.ausfuehren(QStringLiteral("DELETE FROM ar_sitzung WHERE benutzer = ?"), {benutzer});
}

void Zugangsspeicher::sitzungLoeschen(const QString &tokenHash)
{
    m_db.ausfuehren(QStringLiteral("DELETE FROM ar_sitzung WHERE token = ?"), {tokenHash});
}

void Zugangsspeicher::vermerken(const Eintrag &e)
{
    // The entries of one transaction go on the chain just before it commits.
    thread_local QHash<const Datenbank *, QList<qint64>> offen;
    std::optional<Transaktion> eigene;
    if (!m_db.inTransaktion())
        eigene.emplace(m_db);
    Datenbank *db = &m_db;
    if (m_db.vorDemCommit(QStringLiteral("Protokollkette"), [db] { pruefkette::verketten(*db, offen.take(db)); }))
        offen[db].clear(); // left by a transaction rolled back
    offen[db].append(m_db.wert(
                             QStringLiteral("INSERT INTO ar_protokoll (zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version, beleg, dateien) "
                                            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
                             {e.zeit.isEmpty() ? jetzt() : e.zeit, steuerzeichenMaskiert(e.arbeitsplatz), steuerzeichenMaskiert(e.benutzer), e.klasse,
                              steuerzeichenMaskiert(e.objekt), steuerzeichenMaskiert(e.aktion), e.version,
                              e.beleg > 0 ? QVariant(e.beleg) : QVariant(), e.dateien.join(u' ')})
                         .toLongLong());
    if (eigene)
        eigene->bestaetigen();
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
