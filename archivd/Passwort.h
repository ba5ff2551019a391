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

// The answer to a password check of a user (key: the user's id), the same
// for an unknown user (hash nullopt), a disabled one, a user without a
// password and a wrong password, and taking the same time: one Argon2id
// verification. Failures of a user slow that user's next checks down (from
// the fourth on: 250 ms, doubling, at most 8 s); after MaxFehlversucheJeMinute
// failures within a minute the user's checks fail at once for a minute.
inline constexpr int MaxFehlversucheJeMinute = 20;
bool anmeldungPruefen(const QString &schluessel, const std::optional<QString> &hash, bool aktiv, const QString &passwort);

} // namespace archiv::archivd
