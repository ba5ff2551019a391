#pragma once

#include <QString>

#include <optional>

namespace archiv::common {

// The access key of a workstation, one line: NAME.SECRET.FINGERPRINT.
// The name says which workstation it is, the secret (32 random bytes,
// base64url) proves it, and the SHA-256 fingerprint of the server's
// certificate (64 hex digits) lets the workstation recognise its server
// without asking anyone. The server keeps only a hash of the secret.
struct Zugangsschluessel
{
    QString name;
    QString geheimnis;
    QString fingerabdruck; // lower case hex

    // Nullopt unless the text has exactly that form (blanks around it are
    // ignored: a key pasted from a mail often carries some).
    static std::optional<Zugangsschluessel> lesen(const QString &text);
    QString text() const;
    // What travels with every request: NAME.SECRET.
    QString nachweis() const { return name + u'.' + geheimnis; }

    // Names of workstations: letters, digits, "-" and "_", at most 40.
    static bool nameGueltig(const QString &name);
    static constexpr int GeheimnisLaenge = 43;
};

} // namespace archiv::common
