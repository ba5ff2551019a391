#pragma once

#include <QString>

#include <memory>

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
    HttpServer(Datenbank &db, const Registry &registry);
    ~HttpServer();

    // Binds to host:port (port 0 takes a free one) and returns the port, or -1.
    int binden(const QString &host, int port);
    void laufen(); // blocks until stoppen()
    void stoppen();
    // Seconds an idle keep-alive connection stays open (it holds a worker).
    void setzeLeerlauf(int sekunden);

    static constexpr qint64 MaxJson = 64LL * 1024 * 1024;
    static constexpr qint64 MaxBlob = 2LL * 1024 * 1024 * 1024;

private:
    struct Daten;
    std::unique_ptr<Daten> d;
};

} // namespace archiv::archivd
