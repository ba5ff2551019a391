#pragma once

#include "server/ServerFehler.h"

#include <QByteArray>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QString>

#include <memory>

namespace httplib {
class Client;
}

namespace archiv::server {

// One keep-alive HTTP connection to archivd for one namespace. Every failure
// becomes a ServerFehler carrying the server's message.
class HttpTransport
{
public:
    HttpTransport(const QString &host, int port, const QString &ns);
    ~HttpTransport();

    const QString &ns() const { return m_ns; }
    void setzeLeseZeit(int sekunden);

    QJsonObject get(const QString &pfad);
    QJsonObject post(const QString &pfad, const QJsonObject &body);
    QJsonObject put(const QString &pfad, const QJsonObject &body);
    QJsonObject loeschen(const QString &pfad);

    // Blobs travel as raw bodies.
    QJsonObject blobSenden(const QByteArray &daten);
    QByteArray blobHolen(const QString &blob);
    void blobInDatei(const QString &blob, const QString &pfad);

    static QString kodiert(const QString &teil); // one path segment

private:
    QString basis(const QString &pfad) const;
    // Before a request: a connection that idled for a while is closed and
    // opened afresh, so the request does not meet the server closing it.
    void frisch();
    std::unique_ptr<httplib::Client> m_client;
    QElapsedTimer m_zuletzt;
    QString m_ns;
};

} // namespace archiv::server
