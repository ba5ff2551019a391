#pragma once

#include "Tls.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <algorithm>
#include <optional>

namespace httplib {
class Server;
}

namespace archiv::archivd {

class Datenbank;
class Registry;

// The HTTP face of the archive: routes of the wire protocol onto the object
// store, the blob store and the registry of queries and methods.
class HttpServer
{
public:
    // With TLS files the server speaks only TLS.
    HttpServer(Datenbank &db, const Registry &registry, const std::optional<TlsDateien> &tls = std::nullopt);
    ~HttpServer();

    // False when the certificate or key could not be loaded.
    bool gueltig() const;
    bool mitTls() const;
    // Host names a request's Host header may carry besides the address the
    // server listens on, "localhost" and the addresses of this machine.
    void setzeHostnamen(const QStringList &namen);

    // Binds to host:port (port 0 takes a free one) and returns the port, or -1.
    int binden(const QString &host, int port);
    void laufen(); // blocks until stoppen()
    void stoppen();
    // Seconds an idle keep-alive connection stays open (it holds a worker).
    void setzeLeerlauf(int sekunden);
    // Seconds from a connection's start or its last answer until the next
    // request's headers must be in; the connection is closed after that.
    void setzeKopffrist(int sekunden);
    // Connections open at once; the next is answered 503 at once. Of them,
    // one host may hold jeAdresse (0: a share of the whole, see below).
    void setzeMaxVerbindungen(int anzahl, int jeAdresse = 0);
    static int anteilJeAdresse(int verbindungen) { return std::max(16, verbindungen / 8); }
    // Bytes a workstation may have uploaded that no save refers to yet.
    void setzeHochladegrenze(qint64 bytes);

    // Bodies above these are refused from their Content-Length, before
    // anything of them is read.
    static constexpr qint64 MaxJson = 8LL * 1024 * 1024;
    static constexpr qint64 MaxBlob = 2LL * 1024 * 1024 * 1024;
    // Workers: each open connection holds one while it is read or idles;
    // they share the database's pool of connections.
    static constexpr int MaxVerbindungen = 1200;
    static constexpr int Arbeiter = MaxVerbindungen + 8; // a few spare for those on their way out
    // Seconds an idle keep-alive connection stays open; the client opens a
    // new one transparently after that.
    static constexpr int Leerlauf = 5;
    // Seconds a connection may go without sending anything while a request
    // is read (and without taking anything while the answer is written).
    static constexpr int Lesefrist = 10;

private:
    struct Daten;
    std::unique_ptr<Daten> d;
};

} // namespace archiv::archivd
