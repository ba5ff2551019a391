#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace archiv::archivd {

class Datenbank;

// Document files addressed by their SHA-256. A blob is written once and
// never changed; nothing here deletes one.
class BlobSpeicher
{
public:
    explicit BlobSpeicher(Datenbank &db) : m_db(db) {}

    static bool istBlobId(const QString &id);
    static QString blobId(const QByteArray &daten);

    // Stores the bytes (unless already there) and returns their id.
    QString ablegen(const QByteArray &daten);
    // The same inside a transaction the caller holds.
    QString ablegenInTransaktion(const QByteArray &daten);
    std::optional<QByteArray> holen(const QString &id);
    std::optional<qint64> groesse(const QString &id);

private:
    void einfuegen(const QString &id, const QByteArray &daten);
    Datenbank &m_db;
};

} // namespace archiv::archivd
