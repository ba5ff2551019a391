#include "Passwort.h"

#include "Fehler.h"

#include <QScopeGuard>

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

} // namespace archiv::archivd
