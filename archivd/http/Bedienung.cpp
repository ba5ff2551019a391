#include "http/Bedienung.h"

#include "common/Protokoll.h"

#include <QJsonDocument>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

namespace archiv::archivd {

namespace {

thread_local bool t_schliessen = false;

// The bytes of one connection, over TLS or plain TCP.
class Leitung
{
public:
    explicit Leitung(int socket) : m_socket(socket) { }
    virtual ~Leitung() = default;
    virtual ssize_t lesen(char *ziel, size_t n) = 0;
    virtual ssize_t schreiben(const char *daten, size_t n) = 0;
    // Bytes already received and waiting (in the TLS layer's buffer).
    virtual bool wartet() const { return false; }
    int socket() const { return m_socket; }

protected:
    int m_socket;
};

class TcpLeitung : public Leitung
{
public:
    using Leitung::Leitung;
    ssize_t lesen(char *ziel, size_t n) override
    {
        for (;;) {
            const ssize_t r = ::recv(m_socket, ziel, n, 0);
            if (r < 0 && errno == EINTR)
                continue;
            return r;
        }
    }
    ssize_t schreiben(const char *daten, size_t n) override
    {
        for (;;) {
            const ssize_t r = ::send(m_socket, daten, n, MSG_NOSIGNAL);
            if (r < 0 && errno == EINTR)
                continue;
            return r;
        }
    }
};

class TlsLeitung : public Leitung
{
public:
    TlsLeitung(int socket, SSL *ssl) : Leitung(socket), m_ssl(ssl) { }
    ssize_t lesen(char *ziel, size_t n) override
    {
        const int r = SSL_read(m_ssl, ziel, int(std::min<size_t>(n, 1 << 30)));
        return r > 0 ? r : (SSL_get_error(m_ssl, r) == SSL_ERROR_ZERO_RETURN ? 0 : -1);
    }
    ssize_t schreiben(const char *daten, size_t n) override
    {
        const int r = SSL_write(m_ssl, daten, int(std::min<size_t>(n, 1 << 30)));
        return r > 0 ? r : -1;
    }
    bool wartet() const override { return SSL_pending(m_ssl) > 0; }

private:
    SSL *m_ssl;
};

bool lesbar(int socket, std::chrono::milliseconds frist)
{
    pollfd p{socket, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, int(frist.count()));
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

void fristenSetzen(int socket, time_t sekunden)
{
    const timeval t{sekunden, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

std::string antwort(int status, const char *grund, const QString &code, const QString &meldung)
{
    const QByteArray koerper = QJsonDocument(protokoll::FehlerDaten{code, meldung}.toJson()).toJson(QJsonDocument::Compact);
    return "HTTP/1.1 " + std::to_string(status) + ' ' + grund + "\r\nContent-Type: " + protokoll::JsonTyp +
        "\r\nConnection: close\r\nContent-Length: " + std::to_string(koerper.size()) + "\r\n\r\n" + koerper.toStdString();
}

// The stream the library reads a request from: it follows the request line
// and header lines as they are read and stops a host that sends too many or
// too long ones, or folded ones, before the library keeps them; that host
// gets its own answer instead of the library's and the connection ends.
class BegrenzterStrom : public httplib::Stream
{
public:
    BegrenzterStrom(Leitung &leitung, time_t lesefrist) : m_leitung(leitung), m_lesefrist(lesefrist) { }

    void neueAnfrage()
    {
        m_imKopf = true;
        m_zeilen = 0;
        m_kopfBytes = 0;
        m_zeilenanfang = true;
    }
    bool verstoss() const { return !m_verstoss.empty(); }

    bool is_readable() const override { return m_leitung.wartet() || lesbar(m_leitung.socket(), std::chrono::seconds(m_lesefrist)); }
    bool is_writable() const override { return true; }

    ssize_t read(char *ziel, size_t n) override
    {
        if (verstoss())
            return -1;
        if (!m_imKopf)
            return m_leitung.lesen(ziel, n);
        // The library reads the header a byte at a time: each is counted.
        const ssize_t r = m_leitung.lesen(ziel, n);
        for (ssize_t i = 0; i < r; ++i)
            if (!zaehlen(ziel[i]))
                return -1;
        return r;
    }

    ssize_t write(const char *daten, size_t n) override
    {
        if (!verstoss())
            return m_leitung.schreiben(daten, n);
        // What the library answers to the broken header is replaced by ours.
        if (!m_geantwortet) {
            m_geantwortet = true;
            m_leitung.schreiben(m_verstoss.data(), m_verstoss.size());
        }
        return ssize_t(n);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override { adresse(::getpeername, ip, port); }
    void get_local_ip_and_port(std::string &ip, int &port) const override { adresse(::getsockname, ip, port); }
    socket_t socket() const override { return m_leitung.socket(); }

private:
    template<typename F>
    void adresse(F f, std::string &ip, int &port) const
    {
        sockaddr_storage a{};
        socklen_t laenge = sizeof a;
        ip.clear();
        port = 0;
        if (f(m_leitung.socket(), reinterpret_cast<sockaddr *>(&a), &laenge) != 0)
            return;
        char text[INET6_ADDRSTRLEN] = {};
        if (a.ss_family == AF_INET) {
            const auto *v4 = reinterpret_cast<const sockaddr_in *>(&a);
            ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            port = ntohs(v4->sin_port);
        } else if (a.ss_family == AF_INET6) {
            const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&a);
            ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            port = ntohs(v6->sin6_port);
        }
        ip = text;
    }

    bool zaehlen(char c)
    {
        if (++m_kopfBytes > Bedienungsgrenzen::MaxKopfBytes)
            return verletzt(431, "Request Header Fields Too Large", QStringLiteral("too_large"),
                            QStringLiteral("Die Kopfzeilen sind zu groß (höchstens %1 KiB)").arg(Bedienungsgrenzen::MaxKopfBytes / 1024));
        // A header line after the request line that begins with a blank
        // continues the one before (an obsolete folding): not taken.
        if (m_zeilenanfang && m_zeilen > 0 && (c == ' ' || c == '\t'))
            return verletzt(400, "Bad Request", QStringLiteral("bad_request"),
                            QStringLiteral("Gefaltete Kopfzeilen werden nicht angenommen"));
        if (c == '\n') {
            if (m_zeilenLaenge == 0) {
                m_imKopf = false; // the empty line: the body follows
                return true;
            }
            if (++m_zeilen > Bedienungsgrenzen::MaxKopfzeilen)
                return verletzt(431, "Request Header Fields Too Large", QStringLiteral("too_large"),
                                QStringLiteral("Zu viele Kopfzeilen (höchstens %1)").arg(Bedienungsgrenzen::MaxKopfzeilen));
            m_zeilenLaenge = 0;
            m_zeilenanfang = true;
            return true;
        }
        m_zeilenanfang = false;
        if (c != '\r')
            ++m_zeilenLaenge;
        return true;
    }

    bool verletzt(int status, const char *grund, const QString &code, const QString &meldung)
    {
        m_verstoss = antwort(status, grund, code, meldung);
        return false;
    }

    Leitung &m_leitung;
    time_t m_lesefrist;
    bool m_imKopf = true;
    bool m_zeilenanfang = true;
    int m_zeilen = 0; // complete lines of this request's head so far
    std::size_t m_zeilenLaenge = 0;
    std::size_t m_kopfBytes = 0;
    std::string m_verstoss; // the answer to a broken head
    bool m_geantwortet = false;
};

using Anfrage = std::function<bool(httplib::Stream &, bool letzte, bool &geschlossen)>;

// After an answer that ends the connection before the request's body was
// read: what the host still sends is read and dropped for a moment, so that
// it gets to read the answer rather than a reset, but no longer than this.
constexpr std::chrono::seconds Auslauf{2};
constexpr std::size_t MaxAuslauf = 256 * 1024 * 1024;

void auslaufen(Leitung &leitung)
{
    const timeval kurz{0, 200 * 1000};
    ::setsockopt(leitung.socket(), SOL_SOCKET, SO_RCVTIMEO, &kurz, sizeof kurz);
    const auto ende = std::chrono::steady_clock::now() + Auslauf;
    std::size_t gelesen = 0;
    char puffer[64 * 1024];
    while (gelesen < MaxAuslauf && std::chrono::steady_clock::now() < ende) {
        const ssize_t n = leitung.lesen(puffer, sizeof puffer);
        if (n <= 0)
            break;
        gelesen += std::size_t(n);
    }
}

// The requests of one connection, one after the other, as long as the
// server runs, the connection is kept and each answer allows another.
bool bedienen(Leitung &leitung, const std::atomic<socket_t> &lauscher, std::size_t hoechstens, time_t leerlauf, time_t lesefrist,
              const Anfrage &anfrage)
{
    BegrenzterStrom strom(leitung, lesefrist);
    bool ok = false;
    for (std::size_t n = hoechstens; n > 0 && lauscher != INVALID_SOCKET; --n) {
        // A request already in the TLS buffer (sent right behind the last
        // one) is answered at once, without waiting for the socket.
        if (!leitung.wartet() && !lesbar(leitung.socket(), std::chrono::seconds(leerlauf)))
            break;
        strom.neueAnfrage();
        t_schliessen = false;
        bool geschlossen = false;
        ok = anfrage(strom, n == 1, geschlossen);
        if (t_schliessen || strom.verstoss()) {
            auslaufen(leitung);
            break;
        }
        if (!ok || geschlossen)
            break;
    }
    t_schliessen = false;
    return ok;
}

// The TLS handshake within its own deadline, whatever the host sends or
// fails to send meanwhile.
bool handschlag(SSL *ssl, int socket)
{
    const int schalter = ::fcntl(socket, F_GETFL, 0);
    ::fcntl(socket, F_SETFL, schalter | O_NONBLOCK);
    const auto ende = std::chrono::steady_clock::now() + Bedienungsgrenzen::Handschlag;
    bool ok = false;
    for (;;) {
        ERR_clear_error();
        const int r = SSL_accept(ssl);
        if (r == 1) {
            ok = true;
            break;
        }
        const int fehler = SSL_get_error(ssl, r);
        if (fehler != SSL_ERROR_WANT_READ && fehler != SSL_ERROR_WANT_WRITE)
            break;
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(ende - std::chrono::steady_clock::now());
        if (rest.count() <= 0)
            break;
        pollfd p{socket, short(fehler == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
        if (::poll(&p, 1, int(rest.count())) <= 0 && errno != EINTR)
            break;
    }
    ::fcntl(socket, F_SETFL, schalter);
    return ok;
}

void schliessen(int socket)
{
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
}

} // namespace

void verbindungSchliessen()
{
    t_schliessen = true;
}

bool ArchivHttpServer::process_and_close_socket(socket_t sock)
{
    fristenSetzen(sock, read_timeout_sec_);
    TcpLeitung leitung(sock);
    const bool ok = bedienen(leitung, svr_sock_, keep_alive_max_count_, keep_alive_timeout_sec_, read_timeout_sec_,
                             [this](httplib::Stream &s, bool letzte, bool &geschlossen) {
                                 return process_request(s, letzte, geschlossen, nullptr);
                             });
    schliessen(sock);
    return ok;
}

bool ArchivHttpsServer::process_and_close_socket(socket_t sock)
{
    SSL *ssl = SSL_new(ssl_context());
    bool ok = false;
    if (ssl && SSL_set_fd(ssl, sock) == 1 && handschlag(ssl, sock)) {
        fristenSetzen(sock, read_timeout_sec_);
        TlsLeitung leitung(sock, ssl);
        ok = bedienen(leitung, svr_sock_, keep_alive_max_count_, keep_alive_timeout_sec_, read_timeout_sec_,
                      [this, ssl](httplib::Stream &s, bool letzte, bool &geschlossen) {
                          return process_request(s, letzte, geschlossen, [ssl](httplib::Request &req) { req.ssl = ssl; });
                      });
        SSL_shutdown(ssl);
    }
    if (ssl)
        SSL_free(ssl);
    schliessen(sock);
    return ok;
}

} // namespace archiv::archivd
