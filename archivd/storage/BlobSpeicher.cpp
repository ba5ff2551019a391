#include "storage/BlobSpeicher.h"

#include "Fehler.h"
#include "storage/Datenbank.h"
#include "storage/Pruefsumme.h"

#include <QDateTime>
#include <QIODevice>
#include <QRegularExpression>

#include <limits>

namespace archiv::archivd {

bool BlobSpeicher::istBlobId(const QString &id)
{
    // Anchored as a whole: "$" alone would also take a trailing line feed.
    static const QRegularExpression hex(QRegularExpression::anchoredPattern(QStringLiteral("[0-9a-f]{64}")));
    return hex.match(id).hasMatch();
}

QString BlobSpeicher::blobId(const QByteArray &daten)
{
    return Sha256::hex(daten);
}

QString BlobSpeicher::ablegenInTransaktion(const QByteArray &daten)
{
    const QString id = blobId(daten);
    einfuegen(id, daten);
    return id;
}

void BlobSpeicher::kopfEinfuegen(const QString &id, qint64 groesse)
{
    // The old form kept the bytes in blobs.data; parts leave it empty.
    m_db.ausfuehren(QStringLiteral("INSERT INTO blobs (sha256, size, data, created, teile) VALUES (?, ?, CAST('' AS %BLOB%), ?, ?)"),
                    {id, groesse, QDateTime::currentDateTimeUtc().toString(Qt::ISODate), (groesse + TeilGroesse - 1) / TeilGroesse});
}

void BlobSpeicher::einfuegen(const QString &id, const QByteArray &daten)
{
    if (m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {id}).isValid())
        return;
    kopfEinfuegen(id, daten.size());
    for (qint64 nr = 0; nr * TeilGroesse < daten.size(); ++nr)
        m_db.ausfuehren(QStringLiteral("INSERT INTO blob_teile (sha256, nr, data) VALUES (?, ?, ?)"),
                        {id, nr, daten.mid(qsizetype(nr * TeilGroesse), qsizetype(TeilGroesse))});
}

void BlobSpeicher::ablegenInTransaktion(const QString &id, QIODevice &quelle, qint64 laenge)
{
    if (m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {id}).isValid())
        return;
    kopfEinfuegen(id, laenge);
    for (qint64 nr = 0; nr * TeilGroesse < laenge; ++nr) {
        const QByteArray teil = quelle.read(qMin(TeilGroesse, laenge - nr * TeilGroesse));
        if (teil.size() != qMin(TeilGroesse, laenge - nr * TeilGroesse))
            throw AnfrageFehler::speicher(QStringLiteral("Die empfangene Datei lässt sich nicht lesen"));
        m_db.ausfuehren(QStringLiteral("INSERT INTO blob_teile (sha256, nr, data) VALUES (?, ?, ?)"), {id, nr, teil});
    }
}

bool BlobSpeicher::lesen(const QString &id, qint64 von, qint64 anzahl, const std::function<bool(const QByteArray &)> &ziel)
{
    const QList<SqlZeile> kopf = m_db.abfragen(QStringLiteral("SELECT size, teile FROM blobs WHERE sha256 = ?"), {id});
    if (kopf.isEmpty())
        return false;
    const qint64 groesse = kopf.first().at(0).toLongLong();
    const qint64 bis = qMin(groesse, von + anzahl);
    if (kopf.first().at(1).isNull()) {
        // A blob of the old form: its bytes are in one row.
        const QByteArray alles = m_db.wert(QStringLiteral("SELECT data FROM blobs WHERE sha256 = ?"), {id}).toByteArray();
        if (von < bis)
            ziel(alles.mid(qsizetype(von), qsizetype(bis - von)));
        return true;
    }
    for (qint64 nr = von / TeilGroesse; nr * TeilGroesse < bis; ++nr) {
        const QByteArray teil = m_db.wert(QStringLiteral("SELECT data FROM blob_teile WHERE sha256 = ? AND nr = ?"), {id, nr}).toByteArray();
        const qint64 anfang = nr * TeilGroesse;
        const qint64 ab = qMax(von, anfang) - anfang;
        const qint64 ende = qMin(bis, anfang + teil.size()) - anfang;
        if (ende <= ab)
            throw AnfrageFehler::speicher(QStringLiteral("Blob %1 ist unvollständig").arg(id));
        if (!ziel(teil.mid(qsizetype(ab), qsizetype(ende - ab))))
            break;
    }
    return true;
}

std::optional<QByteArray> BlobSpeicher::holen(const QString &id)
{
    QByteArray alles;
    if (!lesen(id, 0, std::numeric_limits<qint64>::max() / 2, [&alles](const QByteArray &teil) {
            alles += teil;
            return true;
        }))
        return std::nullopt;
    return alles;
}

std::optional<qint64> BlobSpeicher::groesse(const QString &id)
{
    const QVariant v = m_db.wert(QStringLiteral("SELECT size FROM blobs WHERE sha256 = ?"), {id});
    if (!v.isValid())
        return std::nullopt;
    return v.toLongLong();
}

} // namespace archiv::archivd
