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

// Recent failures per key (a user at a workstation, or a workstation),
// kept for a quarter of an hour at most, for at most MaxSchluessel keys.
class Fehlversuche
{
public:
    static constexpr auto Gedaechtnis = std::chrono::minutes(15);
    static constexpr qsizetype MaxSchluessel = 100000;

    struct Platz
    {
        std::optional<std::chrono::milliseconds> wartezeit; // nullopt: locked
        bool neuGesperrt = false;
    };

    // Counts an attempt as a failure before it is checked, so that checks
    // running side by side all count; a success takes it back.
    Platz reservieren(const QString &schluessel)
    {
        std::lock_guard sperre(m_m);
        aufraeumen();
        Eintrag &e = m_alle[schluessel];
        bereinigen(e);
        const auto jetzt = Uhr::now();
        const auto inLetzterMinute = std::count_if(e.zeiten.begin(), e.zeiten.end(), [&](auto t) { return jetzt - t < std::chrono::minutes(1); });
        if (inLetzterMinute >= MaxFehlversucheJeMinute) {
            const bool neu = !e.gesperrtSeit || jetzt - *e.gesperrtSeit > std::chrono::minutes(1);
            if (neu)
                e.gesperrtSeit = jetzt;
            return {std::nullopt, neu};
        }
        const std::size_t vorher = e.zeiten.size();
        e.zeiten.push_back(jetzt);
        if (vorher < 3)
            return {std::chrono::milliseconds(0), false};
        return {std::chrono::milliseconds(std::min<qint64>(8000, 250LL << std::min<size_t>(5, vorher - 3))), false};
    }

    void gelungen(const QString &schluessel)
    {
        std::lock_guard sperre(m_m);
        m_alle.remove(schluessel);
    }

    // The attempt counted by reservieren was no failure after all.
    void zuruecknehmen(const QString &schluessel)
    {
        std::lock_guard sperre(m_m);
        const auto it = m_alle.find(schluessel);
        if (it != m_alle.end() && !it->zeiten.empty())
            it->zeiten.pop_back();
    }

private:
    struct Eintrag
    {
        std::deque<Uhr::time_point> zeiten;
        std::optional<Uhr::time_point> gesperrtSeit;
    };

    static void bereinigen(Eintrag &e)
    {
        while (!e.zeiten.empty() && Uhr::now() - e.zeiten.front() > Gedaechtnis)
            e.zeiten.pop_front();
    }

    // Under m_m: keys without a recent failure go, at most once a minute;
    // a table that is full even so is emptied rather than grown.
    void aufraeumen()
    {
        const auto jetzt = Uhr::now();
        if (jetzt - m_aufgeraeumt > std::chrono::minutes(1)) {
            m_aufgeraeumt = jetzt;
            for (auto it = m_alle.begin(); it != m_alle.end();) {
                bereinigen(it.value());
                it = it->zeiten.empty() ? m_alle.erase(it) : std::next(it);
            }
        }
        if (m_alle.size() >= MaxSchluessel)
            m_alle.clear();
    }

    std::mutex m_m;
    QHash<QString, Eintrag> m_alle;
    Uhr::time_point m_aufgeraeumt = Uhr::now();
};

Fehlversuche &fehlversuche()
{
    static Fehlversuche f;
    return f;
}

} // namespace

Pruefung anmeldungPruefen(const QString &benutzer, const QString &arbeitsplatz, const std::optional<QString> &hash, bool aktiv,
                          const QString &passwort)
{
    // Failures count for the user at this workstation, and for the
    // workstation: one guessing many users' passwords slows down as well,
    // and a lock it causes keeps the user out of that workstation only.
    const QString amPlatz = benutzer + u'@' + arbeitsplatz;
    const QString platz = QStringLiteral("@") + arbeitsplatz;
    const Fehlversuche::Platz fuerBenutzer = fehlversuche().reservieren(amPlatz);
    const Fehlversuche::Platz fuerPlatz = fuerBenutzer.wartezeit ? fehlversuche().reservieren(platz) : Fehlversuche::Platz{};
    if (!fuerBenutzer.wartezeit || !fuerPlatz.wartezeit) {
        const bool neu = fuerBenutzer.neuGesperrt || fuerPlatz.neuGesperrt;
        if (neu)
            qWarning().noquote() << "archivd: Passwortprüfung für" << benutzer << "am Arbeitsplatz" << arbeitsplatz
                                 << "für eine Minute gesperrt (zu viele Fehlversuche)";
        return {Pruefergebnis::Gesperrt, neu};
    }
    std::this_thread::sleep_for(std::max(*fuerBenutzer.wartezeit, *fuerPlatz.wartezeit));
    // Unknown users and users without a password are checked against a hash
    // of nothing anyone can type, so that every answer takes as long.
    static const QString attrappe = passwortHash(QStringLiteral("\x01 keine Anmeldung \x01"));
    const bool hatHash = hash && !hash->isEmpty();
    const bool passt = passwortPasst(hatHash ? *hash : attrappe, passwort) && hatHash && aktiv;
    if (passt) {
        // The workstation's earlier failures stay: a workstation guessing
        // other users' passwords cannot reset them with a login of its own.
        fehlversuche().gelungen(amPlatz);
        fehlversuche().zuruecknehmen(platz);
        return {Pruefergebnis::Passt, false};
    }
    qWarning().noquote() << "archivd: Passwortprüfung für" << benutzer << "am Arbeitsplatz" << arbeitsplatz << "fehlgeschlagen";
    return {Pruefergebnis::Falsch, false};
}

} // namespace archiv::archivd
