#include "storage/BlobSpeicher.h"

#include "storage/Datenbank.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QRegularExpression>

namespace archiv::archivd {

bool BlobSpeicher::istBlobId(const QString &id)
{
    // Anchored as a whole: "$" alone would also take a trailing line feed.
    static const QRegularExpression hex(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{64}")));
    return hex.match(id).hasMatch();
}

QString BlobSpeicher::blobId(const QByteArray &daten)
{
    return QString::fromLatin1(QCryptographicHash::hash(daten, QCryptographicHash::Sha256).toHex());
}

QString BlobSpeicher::ablegen(const QByteArray &daten)
{
    const QString id = blobId(daten);
    if (groesse(id))
        return id;
    Transaktion t(m_db);
    einfuegen(id, daten);
    t.bestaetigen();
    return id;
}

QString BlobSpeicher::ablegenInTransaktion(const QByteArray &daten)
{
    const QString id = blobId(daten);
    einfuegen(id, daten);
    return id;
}

void BlobSpeicher::einfuegen(const QString &id, const QByteArray &daten)
{
    if (!m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {id}).isValid()) {
        m_db.ausfuehren(QStringLiteral("INSERT INTO blobs (sha256, size, data, created) VALUES (?, ?, ?, ?)"),
                        {id, qint64(daten.size()), daten, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
    }
}

std::optional<QByteArray> BlobSpeicher::holen(const QString &id)
{
    const QVariant v = m_db.wert(QStringLiteral("SELECT data FROM blobs WHERE sha256 = ?"), {id});
    if (!v.isValid())
        return std::nullopt;
    return v.toByteArray();
}

std::optional<qint64> BlobSpeicher::groesse(const QString &id)
{
    const QVariant v = m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {id});
    if (!v.isValid())
        return std::nullopt;
    return v.toLongLong();
}

} // namespace archiv::archivd
