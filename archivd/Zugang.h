#pragma once

#include <QString>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace archiv::archivd {

class Datenbank;

// Who sent the request being answered on this thread: the workstation of
// its access key and the WWS user of its session. The administration
// commands run as workstation "archivd" without a user.
struct Anfragekontext
{
    QString arbeitsplatz = QStringLiteral("archivd");
    QString schluessel; // the hash of the workstation's key
    QString sitzung; // the token the request carried
    QString benutzer; // FIRMA||CODE once a write found the session valid

    // The company of the session's user; nullopt for the administration
    // commands (they may change every company).
    std::optional<qint64> firma() const;

    static Anfragekontext &aktuell();
    // For the administration commands: workstation "archivd", the user the
    // command runs as on the server.
    static void fuerBefehl();
    // Sets the context for the rest of a request.
    static void setzen(Anfragekontext k);
};

// Sessions of logged-in WWS users, opened by a successful password check and
// bound to the workstation that made it. A session lapses after Ruhezeit
// without use and after Hoechstdauer in any case. They are kept in the
// database: every server on it knows them, and a restart keeps them.
class Sitzungen
{
public:
    static constexpr std::chrono::minutes Ruhezeit{15};
    static constexpr std::chrono::hours Hoechstdauer{12};

    static QString eroeffnen(Datenbank &db, const QString &benutzer, const QString &arbeitsplatz, const QString &schluessel);
    // The user of a valid session of that workstation and key: a key
    // revoked and issued again under the same name starts without sessions.
    static std::optional<QString> benutzer(Datenbank &db, const QString &token, const QString &arbeitsplatz, const QString &schluessel);
    // Every session of a user ends (disabled, or a new password).
    static void beenden(Datenbank &db, const QString &benutzer);
    // What the database keeps of a token (its hash), and the two times
    // before which a session has lapsed: begun before the first, unused
    // since the second (UTC ISO strings that compare as they sort).
    static QString kennung(const QString &token);
    static std::pair<QString, QString> grenzen();
};

// Checks a workstation's proof of its key. What the database says is kept for
// a few seconds, so a revoked key stops working within Gueltigkeit; only
// names that exist are kept, so the cache is no larger than the enrolment.
class Arbeitsplaetze
{
public:
    explicit Arbeitsplaetze(Datenbank &db) : m_db(db) { }
    static constexpr std::chrono::seconds Gueltigkeit{2};

    // The certificate the server shows (SHA-256, hex): keys issued for
    // another one are refused. Empty: no certificate (plain HTTP).
    void setzeZertifikat(const QString &fingerabdruck) { m_zertifikat = fingerabdruck.toLower(); }

    struct Platz
    {
        QString name;
        QString schluessel; // the hash of its key
    };
    // The workstation, or nullopt with the reason in *grund.
    std::optional<Platz> pruefen(const QString &nachweis, QString *grund);

private:
    Datenbank &m_db;
    QString m_zertifikat;
    std::mutex m_mutex;
    struct Eintrag
    {
        std::optional<QString> hash;
        QString zertifikat; // what the key was issued for ("" before that was kept)
        std::chrono::steady_clock::time_point gelesen;
    };
    std::map<QString, Eintrag> m_cache;
};

// A WWS user's id as every part of the server keeps it: the company as a
// number and the code trimmed and in capitals, as the WWS stores it
// ("01||mm " is "1||MM"). nullopt for anything that is no user id, or
// longer than one can be.
inline constexpr int MaxBenutzerId = 64;
std::optional<QString> benutzerId(const QString &id);

// A new access key secret: 32 random bytes, base64url without padding; and
// the hash the server keeps of it.
QString neuesGeheimnis();
QString geheimnisHash(const QString &geheimnis);

} // namespace archiv::archivd
