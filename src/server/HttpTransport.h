#pragma once

#include "server/ServerFehler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

#include <memory>

namespace httplib {
class ClientImpl;
class Result;
} // namespace httplib

namespace archiv::server {

// One keep-alive HTTPS connection to archivd for one namespace. It carries
// the workstation's access key and pins the server's certificate to the
// fingerprint in that key: a server with another certificate gets nothing,
// not even the request. Every failure becomes a ServerFehler carrying the
// server's message.
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

    struct Pin;

private:
    QString basis(const QString &pfad) const;
    // Before a request: a connection that idled for a while is closed and
    // opened afresh, so the request does not meet the server closing it.
    void frisch();
    // Refuses to send anything without a usable key.
    void zugangPruefen() const;

    // Runs a JSON request; a write refused for want of a login is sent once
    // more after the program's login succeeded.
    template<typename F>
    QJsonObject mitAnmeldung(F anfrage);
    // Sends again on a fresh connection when the kept one had gone.
    template<typename F>
    httplib::Result nochmals(bool wiederholbar, F anfrage);
    std::unique_ptr<Pin> m_pin;
    std::unique_ptr<httplib::ClientImpl> m_client;
    // What came back; a successful password check opens a session for the
    // user's writes.
    QJsonObject antwortLesen(const httplib::Result &res, const QString &pfad) const;
    QString m_host;
    int m_port = 0;
    QString m_nachweis; // NAME.SECRET of the key
    QString m_zugangsfehler;
    QElapsedTimer m_zuletzt;
    QString m_ns;
};

} // namespace archiv::server
