#pragma once

#include <QString>

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace archiv::archivd {

// What "GET /metrics" tells Prometheus: requests and their latency per
// route, open and refused connections. The routes are a fixed set (an
// unknown path counts as "andere"), so the counters never grow with what a
// client sends.
class Metriken
{
public:
    static Metriken &instanz();

    // The route of a request path: "query", "call", "object", "blob",
    // "ping", "health", "metrics" or "andere".
    static std::string route(const std::string &pfad);
    void anfrage(const std::string &route, int status, double sekunden);

    std::atomic<qint64> offeneVerbindungen{0};
    std::atomic<qint64> abgewieseneVerbindungen{0};

    // The exposition text (version 0.0.4) of the counters above.
    QString text() const;

    static constexpr std::array<double, 11> Grenzen{0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 5};

private:
    struct Route
    {
        std::array<quint64, Grenzen.size()> eimer{};
        quint64 anzahl = 0;
        double summe = 0;
        std::map<int, quint64> jeStatus;
    };
    mutable std::mutex m_mutex;
    std::map<std::string, Route> m_routen;
};

} // namespace archiv::archivd
