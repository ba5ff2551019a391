#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace archiv::archivd {

class Datenbank;

// Document files addressed by their SHA-256. A blob is written once and
// never changed; nothing here deletes one. Its bytes are kept in parts of
// TeilGroesse, so that no request holds a whole file in memory.
class BlobSpeicher
{
public:
    explicit BlobSpeicher(Datenbank &db) : m_db(db) { }

    static bool istBlobId(const QString &id);
    static QString blobId(const QByteArray &daten);

    static constexpr qint64 TeilGroesse = 1024 * 1024;

    // Stores the bytes (unless already there) and returns their id, inside
    // a transaction the caller holds: the file and the entry that records it
    // commit together, or neither does.
    QString ablegenInTransaktion(const QByteArray &daten);
    // Stores `laenge` bytes read from the device, whose SHA-256 the caller
    // computed while receiving them; reads one part at a time. Inside a
    // transaction the caller holds, as above.
    void ablegenInTransaktion(const QString &id, QIODevice &quelle, qint64 laenge);
    std::optional<QByteArray> holen(const QString &id);
    // The bytes from `von` on, `anzahl` of them, handed to `ziel` part by
    // part (false from ziel stops). False when the blob does not exist.
    bool lesen(const QString &id, qint64 von, qint64 anzahl, const std::function<bool(const QByteArray &)> &ziel);
    std::optional<qint64> groesse(const QString &id);

private:
    void einfuegen(const QString &id, const QByteArray &daten);
    void kopfEinfuegen(const QString &id, qint64 groesse);
    Datenbank &m_db;
};

} // namespace archiv::archivd
