#pragma once

#include <QString>

#include <optional>

namespace archiv::archivd {

// Argon2id hashes (libsodium). The typed text is compared exactly: no
// trimming, case-sensitive.
QString passwortHash(const QString &passwort);
// At most MaxPasswortPruefungen checks run at once.
inline constexpr int MaxPasswortPruefungen = 4;
bool passwortPasst(const QString &hash, const QString &passwort);

// The answer to a password check of a user at a workstation, the same for
// an unknown user (hash nullopt), a disabled one, a user without a password
// and a wrong password, and taking the same time: one Argon2id verification.
// Failures are counted before the check, for the user at that workstation
// and for the workstation: from the fourth on each check waits (250 ms,
// doubling, at most 8 s); after MaxFehlversucheJeMinute within a minute the
// checks fail at once for a minute. A user locked at one workstation can
// still log in at another.
inline constexpr int MaxFehlversucheJeMinute = 20;
enum class Pruefergebnis { Passt, Falsch, Gesperrt };
struct Pruefung
{
    Pruefergebnis ergebnis = Pruefergebnis::Falsch;
    bool neuGesperrt = false; // this failure began a lock (to be recorded once)
};
Pruefung anmeldungPruefen(const QString &benutzer, const QString &arbeitsplatz, const std::optional<QString> &hash, bool aktiv,
                          const QString &passwort);

} // namespace archiv::archivd
