#include "http/Verbindungswache.h"
#include "http/Metriken.h"

#include "common/Protokoll.h"

#include <QDebug>
#include <QJsonDocument>

#include <atomic>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

// The HTTP library accepts connections itself and hands the watch only a
// task to run, not the socket. Its accept goes through this definition,
// which remembers the socket for the task that follows on the same thread.
extern "C" int accept(int fd, sockaddr *__restrict adresse, socklen_t *__restrict laenge)
{
    const int s = int(::syscall(SYS_accept4, fd, adresse, laenge, 0));
    archiv::archivd::Verbindungswache::angenommen(s);
    return s;
}

namespace archiv::archivd {

using Uhr = std::chrono::steady_clock;

struct Verbindungswache::Verbindung
{
    Verbindung(int s, std::string a) : socket(s), adresse(std::move(a)), seit(Uhr::now().time_since_epoch().count()) { }
    const int socket;
    const std::string adresse; // the host it comes from
    std::atomic<bool> wartetAufKopf{true};
    std::atomic<Uhr::rep> seit;
    // Under the watch's mutex: the socket number was given to a newer
    // connection, or the deadline already cut this one off.
    bool gueltig = true;
    bool abgebrochen = false;
};

namespace {

thread_local int t_angenommen = -1;
thread_local std::atomic<bool> *t_wartet = nullptr;
thread_local std::atomic<Uhr::rep> *t_seit = nullptr;

// How long a refused socket stays open so the client can read the answer.
constexpr auto Nachlauf = std::chrono::seconds(1);
constexpr std::size_t MaxNachlauf = 4096;

// The host at the other end of a socket, without the port.
std::string gegenstelle(int socket)
{
    sockaddr_storage a{};
    socklen_t laenge = sizeof a;
    if (socket < 0 || ::getpeername(socket, reinterpret_cast<sockaddr *>(&a), &laenge) != 0)
        return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(&a)->sin_addr, text, sizeof text);
    else if (a.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(&a)->sin6_addr, text, sizeof text);
    return text;
}

std::string absage()
{
    const QByteArray koerper =
        QJsonDocument(protokoll::FehlerDaten{
                          QStringLiteral("busy"),
                          QStringLiteral("Der Archivserver ist ausgelastet: zu viele Verbindungen. Bitte gleich noch einmal versuchen.")}
                          .toJson())
            .toJson(QJsonDocument::Compact);
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json; charset=utf-8\r\nConnection: close\r\nRetry-After: 1\r\n"
           "Content-Length: " +
        std::to_string(koerper.size()) + "\r\n\r\n" + koerper.toStdString();
}

} // namespace

Verbindungswache::Verbindungswache(const Grenzen &grenzen) : m_grenzen(grenzen)
{
    m_arbeiter.reserve(std::size_t(grenzen.arbeiter));
    for (int i = 0; i < grenzen.arbeiter; ++i)
        m_arbeiter.emplace_back([this] { arbeiten(); });
    m_waechter = std::thread([this] { wachen(); });
}

Verbindungswache::~Verbindungswache()
{
    shutdown();
}

void Verbindungswache::angenommen(int socket)
{
    t_angenommen = socket;
}

void Verbindungswache::kopfGelesen()
{
    if (t_wartet)
        t_wartet->store(false);
}

void Verbindungswache::antwortGeschrieben()
{
    if (t_wartet) {
        t_seit->store(Uhr::now().time_since_epoch().count());
        t_wartet->store(true);
    }
}

int Verbindungswache::offen() const
{
    std::lock_guard sperre(m_mutex);
    return int(m_offen.size());
}

void Verbindungswache::enqueue(std::function<void()> fn)
{
    const int s = std::exchange(t_angenommen, -1);
    std::string adresse = gegenstelle(s);
    std::lock_guard sperre(m_mutex);
    if (s >= 0 && (int(m_offen.size()) >= m_grenzen.verbindungen || (!adresse.empty() && m_jeAdresse[adresse] >= m_grenzen.jeAdresse))) {
        // The task only serves and closes this socket: it is dropped.
        abweisen(s);
        if (m_jeAdresse[adresse] == 0)
            m_jeAdresse.erase(adresse);
        return;
    }
    if (!adresse.empty())
        ++m_jeAdresse[adresse];
    auto v = std::make_shared<Verbindung>(s, std::move(adresse));
    // A socket number in use again: the entry still listed under it belongs
    // to a connection already closed.
    for (const auto &alt : m_offen)
        if (alt->socket == s)
            alt->gueltig = false;
    m_offen.push_back(v);
    ++Metriken::instanz().offeneVerbindungen;
    m_schlange.emplace_back(std::move(fn), std::move(v));
    m_neu.notify_one();
}

void Verbindungswache::abweisen(int socket)
{
    ++Metriken::instanz().abgewieseneVerbindungen;
    static const std::string antwort = absage();
    if (m_grenzen.absageSenden) {
        m_grenzen.absageSenden(socket, antwort); // the socket is the sender's now
    } else {
        ::send(socket, antwort.data(), antwort.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(socket, SHUT_WR);
        if (m_abgewiesen.size() >= MaxNachlauf)
            ::close(socket);
        else
            m_abgewiesen.emplace_back(socket, Uhr::now() + Nachlauf);
    }
    static std::atomic<Uhr::rep> gemeldet{0};
    const auto jetzt = Uhr::now().time_since_epoch().count();
    if (jetzt - gemeldet.load() > std::chrono::duration_cast<Uhr::duration>(std::chrono::seconds(10)).count()) {
        gemeldet.store(jetzt);
        qWarning().noquote()
            << QStringLiteral("archivd: Verbindung abgewiesen, %1 sind offen (höchstens %2, je Adresse %3)")
                   .arg(m_offen.size())
                   .arg(m_grenzen.verbindungen)
                   .arg(m_grenzen.jeAdresse);
    }
}

void Verbindungswache::arbeiten()
{
    for (;;) {
        std::pair<std::function<void()>, std::shared_ptr<Verbindung>> aufgabe;
        {
            std::unique_lock sperre(m_mutex);
            m_neu.wait(sperre, [this] { return m_ende || !m_schlange.empty(); });
            if (m_schlange.empty())
                return; // ending, nothing left
            aufgabe = std::move(m_schlange.front());
            m_schlange.pop_front();
        }
        Verbindung *v = aufgabe.second.get();
        t_wartet = &v->wartetAufKopf;
        t_seit = &v->seit;
        try {
            aufgabe.first();
        } catch (...) {
            qCritical() << "archivd: Fehler beim Bedienen einer Verbindung";
        }
        t_wartet = nullptr;
        t_seit = nullptr;
        std::lock_guard sperre(m_mutex);
        if (!v->adresse.empty() && --m_jeAdresse[v->adresse] <= 0)
            m_jeAdresse.erase(v->adresse);
        if (std::erase(m_offen, aufgabe.second) > 0)
            --Metriken::instanz().offeneVerbindungen;
    }
}

void Verbindungswache::wachen()
{
    std::unique_lock sperre(m_mutex);
    while (!m_ende) {
        m_halt.wait_for(sperre, std::chrono::milliseconds(200));
        const auto jetzt = Uhr::now();
        const auto grenze = (jetzt - m_grenzen.kopffrist).time_since_epoch().count();
        for (const auto &v : m_offen) {
            if (v->socket < 0 || !v->gueltig || v->abgebrochen || !v->wartetAufKopf.load() || v->seit.load() > grenze)
                continue;
            // The library sees the connection end and closes it itself.
            ::shutdown(v->socket, SHUT_RDWR);
            v->abgebrochen = true;
        }
        while (!m_abgewiesen.empty() && (m_ende || m_abgewiesen.front().second <= jetzt)) {
            char rest[512];
            while (::recv(m_abgewiesen.front().first, rest, sizeof rest, MSG_DONTWAIT) > 0) { }
            ::close(m_abgewiesen.front().first);
            m_abgewiesen.pop_front();
        }
    }
}

void Verbindungswache::shutdown()
{
    {
        std::lock_guard sperre(m_mutex);
        if (m_ende)
            return;
        m_ende = true;
    }
    m_neu.notify_all();
    m_halt.notify_all();
    for (std::thread &t : m_arbeiter)
        t.join();
    m_waechter.join();
    std::lock_guard sperre(m_mutex);
    for (const auto &[socket, frist] : m_abgewiesen)
        ::close(socket);
    m_abgewiesen.clear();
}

} // namespace archiv::archivd
