#pragma once

#include <QString>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>

namespace archiv::archivd {

class Datenbank;

// Who sent the request being answered on this thread: the workstation of
// its access key and the WWS user of its session. The administration
// commands run as workstation "archivd" without a user.
struct Anfragekontext
{
    QString arbeitsplatz = QStringLiteral("archivd");
    QString benutzer; // FIRMA||CODE, empty without a session
    QString neueSitzung; // set by a successful password check

    static Anfragekontext &aktuell();
    // For the administration commands: workstation "archivd", the user the
    // command runs as on the server.
    static void fuerBefehl();
    // Sets the context for the rest of a request.
    static void setzen(Anfragekontext k);
};

// Sessions of logged-in WWS users, opened by a successful password check and
// bound to the workstation that made it. A session lapses after Ruhezeit
// without use and after Hoechstdauer in any case; at most MaxSitzungen are
// kept (the oldest goes first).
class Sitzungen
{
public:
    static Sitzungen &instanz();

    static constexpr std::chrono::minutes Ruhezeit{15};
    static constexpr std::chrono::hours Hoechstdauer{12};
    static constexpr size_t MaxSitzungen = 10000;

    QString eroeffnen(const QString &benutzer, const QString &arbeitsplatz);
    // The user of a valid session of that workstation.
    std::optional<QString> benutzer(const QString &token, const QString &arbeitsplatz);

private:
    using Uhr = std::chrono::steady_clock;
    struct Sitzung
    {
        QString benutzer;
        QString arbeitsplatz;
        Uhr::time_point beginn;
        Uhr::time_point zuletzt;
    };
    void aufraeumen(Uhr::time_point jetzt);
    std::mutex m_mutex;
    std::map<QString, Sitzung> m_sitzungen; // by the SHA-256 of the token
};

// Checks a workstation's proof of its key. What the database says is kept for
// a few seconds, so a revoked key stops working within Gueltigkeit; only
// names that exist are kept, so the cache is no larger than the enrolment.
class Arbeitsplaetze
{
public:
    explicit Arbeitsplaetze(Datenbank &db) : m_db(db) { }
    static constexpr std::chrono::seconds Gueltigkeit{2};

    // The workstation's name, or nullopt with the reason in *grund.
    std::optional<QString> pruefen(const QString &nachweis, QString *grund);

private:
    Datenbank &m_db;
    std::mutex m_mutex;
    struct Eintrag
    {
        std::optional<QString> hash;
        std::chrono::steady_clock::time_point gelesen;
    };
    std::map<QString, Eintrag> m_cache;
};

// A new access key secret: 32 random bytes, base64url without padding; and
// the hash the server keeps of it.
QString neuesGeheimnis();
QString geheimnisHash(const QString &geheimnis);

} // namespace archiv::archivd
