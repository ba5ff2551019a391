#pragma once

#include <QString>

namespace archiv::archivd {

// Argon2id hashes (libsodium). The typed text is compared exactly: no
// trimming, case-sensitive.
QString passwortHash(const QString &passwort);
// At most MaxPasswortPruefungen checks run at once.
inline constexpr int MaxPasswortPruefungen = 4;
bool passwortPasst(const QString &hash, const QString &passwort);

} // namespace archiv::archivd
