#include "Passwort.h"
#include "Zugang.h"

#include "Fehler.h"

#include <QDebug>
#include <QHash>
#include <QScopeGuard>

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include <semaphore>

#include <sodium.h>

namespace archiv::archivd {

namespace {

void sodiumBereit()
{
    static const int ok = sodium_init();
    if (ok < 0)
        throw AnfrageFehler::speicher(QStringLiteral("libsodium lässt sich nicht starten"));
}

} // namespace

QString passwortHash(const QString &passwort)
{
    sodiumBereit();
    const QByteArray p = passwort.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, p.constData(), quint64(p.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw AnfrageFehler::speicher(QStringLiteral("Zu wenig Speicher für den Passwort-Hash"));
    return QString::fromLatin1(hash);
}

bool passwortPasst(const QString &hash, const QString &passwort)
{
    sodiumBereit();
    // Each check takes 64 MiB and a core for a moment: a few at a time,
    // the others wait their turn.
    static std::counting_semaphore<> plaetze(MaxPasswortPruefungen);
    plaetze.acquire();
    const auto frei = qScopeGuard([] { plaetze.release(); });
    if (hash.isEmpty())
        return false;
    const QByteArray h = hash.toLatin1();
    const QByteArray p = passwort.toUtf8();
    return crypto_pwhash_str_verify(h.constData(), p.constData(), quint64(p.size())) == 0;
}

namespace {

using Uhr = std::chrono::steady_clock;

// Recent failures per user, kept for a quarter of an hour at most.
class Fehlversuche
{
public:
    static constexpr auto Gedaechtnis = std::chrono::minutes(15);
    static constexpr qsizetype MaxSchluessel = 100000;

    // How long to wait before checking; nullopt: blocked for now.
    std::optional<std::chrono::milliseconds> wartezeit(const QString &schluessel)
    {
        std::lock_guard sperre(m_m);
        std::deque<Uhr::time_point> &f = bereinigt(schluessel);
        const auto jetzt = Uhr::now();
        const auto inLetzterMinute = std::count_if(f.begin(), f.end(), [&](auto t) { return jetzt - t < std::chrono::minutes(1); });
        if (inLetzterMinute >= MaxFehlversucheJeMinute)
            return std::nullopt;
        if (f.size() < 3)
            return std::chrono::milliseconds(0);
        return std::chrono::milliseconds(std::min<qint64>(8000, 250LL << std::min<size_t>(5, f.size() - 3)));
    }

    void fehlgeschlagen(const QString &schluessel)
    {
        std::lock_guard sperre(m_m);
        if (m_alle.size() >= MaxSchluessel)
            m_alle.clear(); // a flood of names: forget rather than grow
        bereinigt(schluessel).push_back(Uhr::now());
    }

    void gelungen(const QString &schluessel)
    {
        std::lock_guard sperre(m_m);
        m_alle.remove(schluessel);
    }

private:
    std::deque<Uhr::time_point> &bereinigt(const QString &schluessel)
    {
        std::deque<Uhr::time_point> &f = m_alle[schluessel];
        while (!f.empty() && Uhr::now() - f.front() > Gedaechtnis)
            f.pop_front();
        return f;
    }

    std::mutex m_m;
    QHash<QString, std::deque<Uhr::time_point>> m_alle;
};

Fehlversuche &fehlversuche()
{
    static Fehlversuche f;
    return f;
}

} // namespace

bool anmeldungPruefen(const QString &schluessel, const std::optional<QString> &hash, bool aktiv, const QString &passwort)
{
    // Failures count for the user and for the workstation that tries: a
    // workstation guessing many users' passwords slows down as well.
    const QString platz = QStringLiteral("@") + Anfragekontext::aktuell().arbeitsplatz;
    const auto fuerBenutzer = fehlversuche().wartezeit(schluessel);
    const auto fuerPlatz = fehlversuche().wartezeit(platz);
    if (!fuerBenutzer || !fuerPlatz) {
        qWarning().noquote() << "archivd: Passwortprüfung für" << schluessel << "vom Arbeitsplatz" << platz.mid(1)
                             << "gesperrt (zu viele Fehlversuche)";
        return false;
    }
    std::this_thread::sleep_for(std::max(*fuerBenutzer, *fuerPlatz));
    // Unknown users and users without a password are checked against a hash
    // of nothing anyone can type, so that every answer takes as long.
    static const QString attrappe = passwortHash(QStringLiteral("\x01 keine Anmeldung \x01"));
    const bool hatHash = hash && !hash->isEmpty();
    const bool passt = passwortPasst(hatHash ? *hash : attrappe, passwort) && hatHash && aktiv;
    if (passt) {
        fehlversuche().gelungen(schluessel);
    } else {
        fehlversuche().fehlgeschlagen(schluessel);
        fehlversuche().fehlgeschlagen(platz);
        qWarning().noquote() << "archivd: Passwortprüfung für" << schluessel << "vom Arbeitsplatz" << platz.mid(1) << "fehlgeschlagen";
    }
    return passt;
}

} // namespace archiv::archivd
