#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace archiv::archivd {

// The workers of the HTTP server, and a watch over the connections they
// serve: it caps how many connections are open at once and answers the one
// above the cap at once with 503 and a plain message, and it closes a
// connection whose next request has not fully arrived within the header
// deadline (a client trickling its headers byte by byte holds a worker no
// longer than that). Each open connection holds one worker for its whole
// life, as the HTTP library serves it.
class Verbindungswache : public httplib::TaskQueue
{
public:
    struct Grenzen
    {
        int arbeiter = 1024;
        int verbindungen = 1000; // open at once; more are refused
        // Open at once from one address: a host that opens more (or never
        // finishes its handshakes) leaves the others their share.
        int jeAdresse = 150;
        std::chrono::milliseconds kopffrist{15000}; // from the connection or the last answer to a complete header
        // On a TLS server the refusal must go through TLS to be read: it
        // takes the socket and the answer and closes the socket itself.
        std::function<void(int socket, const std::string &antwort)> absageSenden;
    };

    explicit Verbindungswache(const Grenzen &grenzen);
    ~Verbindungswache() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // Called on the worker's thread: the headers of a request are in (the
    // deadline no longer runs), and an answer was written (it runs again
    // for the next request on the connection).
    static void kopfGelesen();
    static void antwortGeschrieben();

    // Tells the watch which socket the listening thread accepted last; the
    // task for it follows at once on the same thread.
    static void angenommen(int socket);

    int offen() const;

private:
    struct Verbindung;
    void arbeiten();
    void wachen();
    void abweisen(int socket);

    const Grenzen m_grenzen;
    mutable std::mutex m_mutex;
    std::condition_variable m_neu;
    std::condition_variable m_halt;
    std::deque<std::pair<std::function<void()>, std::shared_ptr<Verbindung>>> m_schlange;
    std::vector<std::shared_ptr<Verbindung>> m_offen;
    std::unordered_map<std::string, int> m_jeAdresse;
    // Refused sockets, closed a moment after the answer so the client reads it.
    std::deque<std::pair<int, std::chrono::steady_clock::time_point>> m_abgewiesen;
    std::vector<std::thread> m_arbeiter;
    std::thread m_waechter;
    bool m_ende = false;
};

} // namespace archiv::archivd
