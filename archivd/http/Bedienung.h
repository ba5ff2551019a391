#pragma once

#include <httplib.h>

#include <chrono>

// How archivd serves one connection: the TLS handshake within its own short
// deadline, then its requests one after the other, each read through a
// stream that bounds what a host can make the server hold before anything
// is checked (header lines and their size, folded lines), answers a
// request already waiting in the TLS buffer (pipelined), and ends the
// connection after an answer that says "Connection: close". The HTTP
// library parses and routes each request as before.
namespace archiv::archivd {

struct Bedienungsgrenzen
{
    static constexpr int MaxKopfzeilen = 100;
    static constexpr std::size_t MaxKopfBytes = 64 * 1024;
    static constexpr std::chrono::seconds Handschlag{3};
};

// Called on a worker while it answers a request: the answer closes the
// connection (a refusal whose body was never read).
void verbindungSchliessen();

// The plain server (loopback, or --plain-http) and the TLS server, with the
// connection handling above.
class ArchivHttpServer : public httplib::Server
{
private:
    bool process_and_close_socket(socket_t sock) override;
};

class ArchivHttpsServer : public httplib::SSLServer
{
public:
    ArchivHttpsServer(const char *zertifikat, const char *schluessel) : httplib::SSLServer(zertifikat, schluessel) { }

private:
    bool process_and_close_socket(socket_t sock) override;
};

} // namespace archiv::archivd
