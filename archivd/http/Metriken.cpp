#include "http/Metriken.h"

#include <QStringList>

namespace archiv::archivd {

Metriken &Metriken::instanz()
{
    static Metriken m;
    return m;
}

std::string Metriken::route(const std::string &pfad)
{
    if (pfad == "/v1/health")
        return "health";
    if (pfad == "/metrics")
        return "metrics";
    // /v1/NAMESPACE/KIND...
    if (pfad.rfind("/v1/", 0) == 0) {
        const size_t nach = pfad.find('/', 4);
        if (nach != std::string::npos) {
            const size_t ende = pfad.find('/', nach + 1);
            const std::string art = pfad.substr(nach + 1, ende == std::string::npos ? std::string::npos : ende - nach - 1);
            for (const char *bekannt : {"query", "call", "object", "blob", "ping", "upload"})
                if (art == bekannt)
                    return art;
        }
    }
    return "andere";
}

void Metriken::anfrage(const std::string &route, int status, double sekunden)
{
    std::lock_guard sperre(m_mutex);
    Route &r = m_routen[route];
    for (size_t i = 0; i < Grenzen.size(); ++i)
        if (sekunden <= Grenzen[i])
            ++r.eimer[i];
    ++r.anzahl;
    r.summe += sekunden;
    // Status codes as classes beyond the few that mean something here.
    ++r.jeStatus[status];
}

QString Metriken::text() const
{
    QStringList t;
    std::lock_guard sperre(m_mutex);
    t << QStringLiteral("# HELP archivd_requests_total Answered requests by route and status.")
      << QStringLiteral("# TYPE archivd_requests_total counter");
    for (const auto &[route, r] : m_routen)
        for (const auto &[status, n] : r.jeStatus)
            t << QStringLiteral("archivd_requests_total{route=\"%1\",status=\"%2\"} %3").arg(QString::fromStdString(route)).arg(status).arg(n);
    t << QStringLiteral("# HELP archivd_request_duration_seconds Time from the request's headers to its answer.")
      << QStringLiteral("# TYPE archivd_request_duration_seconds histogram");
    for (const auto &[route, r] : m_routen) {
        const QString name = QString::fromStdString(route);
        for (size_t i = 0; i < Grenzen.size(); ++i)
            t << QStringLiteral("archivd_request_duration_seconds_bucket{route=\"%1\",le=\"%2\"} %3").arg(name).arg(Grenzen[i]).arg(r.eimer[i]);
        t << QStringLiteral("archivd_request_duration_seconds_bucket{route=\"%1\",le=\"+Inf\"} %2").arg(name).arg(r.anzahl)
          << QStringLiteral("archivd_request_duration_seconds_sum{route=\"%1\"} %2").arg(name).arg(r.summe, 0, 'f', 6)
          << QStringLiteral("archivd_request_duration_seconds_count{route=\"%1\"} %2").arg(name).arg(r.anzahl);
    }
    t << QStringLiteral("# HELP archivd_open_connections Connections open now.") << QStringLiteral("# TYPE archivd_open_connections gauge")
      << QStringLiteral("archivd_open_connections %1").arg(offeneVerbindungen.load())
      << QStringLiteral("# HELP archivd_refused_connections_total Connections refused at once (server or address at its limit).")
      << QStringLiteral("# TYPE archivd_refused_connections_total counter")
      << QStringLiteral("archivd_refused_connections_total %1").arg(abgewieseneVerbindungen.load());
    return t.join(u'\n') + u'\n';
}

} // namespace archiv::archivd
