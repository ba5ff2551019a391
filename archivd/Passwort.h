#pragma once

#include <QString>

namespace archiv::archivd {

// Argon2id hashes (libsodium). The typed text is compared exactly: no
// trimming, case-sensitive.
QString passwortHash(const QString &passwort);
bool passwortPasst(const QString &hash, const QString &passwort);

} // namespace archiv::archivd
