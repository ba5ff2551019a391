#include "Zugang.h"

#include "common/Zugangsschluessel.h"
#include "storage/Datenbank.h"
#include "storage/Pruefsumme.h"
#include "storage/Zugangsspeicher.h"

#include <QByteArray>
#include <QDateTime>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <stdexcept>

#include <pwd.h>
#include <unistd.h>

namespace archiv::archivd {

namespace {

thread_local Anfragekontext kontext;

QByteArray zufall(int n)
{
    QByteArray b(n, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(b.data()), n) != 1)
        throw std::runtime_error("RAND_bytes failed");
    return b;
}

QString sha256(const QString &text)
{
    Sha256 h;
    h.addData(text.toUtf8());
    return h.hex();
}

bool gleich(const QString &a, const QString &b)
{
    const QByteArray x = a.toLatin1();
    const QByteArray y = b.toLatin1();
    return x.size() == y.size() && CRYPTO_memcmp(x.constData(), y.constData(), size_t(x.size())) == 0;
}

} // namespace

std::optional<qint64> Anfragekontext::firma() const
{
    const qsizetype trenner = benutzer.indexOf(QStringLiteral("||"));
    if (trenner <= 0)
        return std::nullopt;
    bool ok = false;
    const qint64 f = benutzer.left(trenner).toLongLong(&ok);
    return ok ? std::optional<qint64>(f) : std::nullopt;
}

std::optional<QString> benutzerId(const QString &id)
{
    if (id.size() > MaxBenutzerId)
        return std::nullopt;
    const qsizetype trenner = id.indexOf(QStringLiteral("||"));
    if (trenner <= 0)
        return std::nullopt;
    bool ok = false;
    const qint64 firma = id.left(trenner).trimmed().toLongLong(&ok);
    const QString code = id.mid(trenner + 2).trimmed().toUpper();
    if (!ok || firma < 0 || code.isEmpty() || code.contains(QStringLiteral("||")))
        return std::nullopt;
    return QString::number(firma) + QStringLiteral("||") + code;
}

Anfragekontext &Anfragekontext::aktuell()
{
    return kontext;
}

void Anfragekontext::fuerBefehl()
{
    Anfragekontext k;
    const passwd *pw = ::getpwuid(::getuid());
    k.benutzer = pw && pw->pw_name ? QString::fromLocal8Bit(pw->pw_name) : qEnvironmentVariable("USER");
    setzen(std::move(k));
}

void Anfragekontext::setzen(Anfragekontext k)
{
    kontext = std::move(k);
}

QString neuesGeheimnis()
{
    return QString::fromLatin1(zufall(32).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString geheimnisHash(const QString &geheimnis)
{
    return sha256(geheimnis);
}

namespace {

QString zeitpunkt(const QDateTime &t)
{
    return t.toString(Qt::ISODateWithMs);
}

} // namespace

QString Sitzungen::eroeffnen(Datenbank &db, const QString &benutzer, const QString &arbeitsplatz, const QString &schluessel)
{
    const QString token = neuesGeheimnis();
    const QDateTime jetzt = QDateTime::currentDateTimeUtc();
    const QString j = zeitpunkt(jetzt);
    Zugangsspeicher(db).sitzungAnlegen(sha256(token), {benutzer, arbeitsplatz, j, j, schluessel},
                                       zeitpunkt(jetzt.addSecs(-std::chrono::seconds(Hoechstdauer).count())),
                                       zeitpunkt(jetzt.addSecs(-std::chrono::seconds(Ruhezeit).count())));
    return token;
}

QString Sitzungen::kennung(const QString &token)
{
    return sha256(token);
}

std::pair<QString, QString> Sitzungen::grenzen()
{
    const QDateTime jetzt = QDateTime::currentDateTimeUtc();
    return {zeitpunkt(jetzt.addSecs(-std::chrono::seconds(Hoechstdauer).count())),
            zeitpunkt(jetzt.addSecs(-std::chrono::seconds(Ruhezeit).count()))};
}

void Sitzungen::beenden(Datenbank &db, const QString &benutzer)
{
    Zugangsspeicher(db).sitzungenBeenden(benutzer);
}

std::optional<QString> Sitzungen::benutzer(Datenbank &db, const QString &token, const QString &arbeitsplatz, const QString &schluessel)
{
    if (token.isEmpty() || token.size() > 100)
        return std::nullopt;
    Zugangsspeicher speicher(db);
    const QString hash = sha256(token);
    const auto s = speicher.sitzung(hash);
    const QDateTime jetzt = QDateTime::currentDateTimeUtc();
    if (!s || s->arbeitsplatz != arbeitsplatz || !gleich(s->schluessel, schluessel) ||
        s->beginn < zeitpunkt(jetzt.addSecs(-std::chrono::seconds(Hoechstdauer).count())) ||
        s->zuletzt < zeitpunkt(jetzt.addSecs(-std::chrono::seconds(Ruhezeit).count())))
        return std::nullopt;
    // Used: noted at most once a minute, not at every write.
    if (s->zuletzt < zeitpunkt(jetzt.addSecs(-60)))
        speicher.sitzungBenutzt(hash, zeitpunkt(jetzt));
    return s->benutzer;
}

std::optional<Arbeitsplaetze::Platz> Arbeitsplaetze::pruefen(const QString &nachweis, QString *grund)
{
    const qsizetype punkt = nachweis.indexOf(u'.');
    const QString name = nachweis.left(punkt);
    const QString geheimnis = punkt > 0 ? nachweis.mid(punkt + 1) : QString();
    if (punkt <= 0 || !common::Zugangsschluessel::nameGueltig(name) || geheimnis.size() != common::Zugangsschluessel::GeheimnisLaenge) {
        *grund = nachweis.isEmpty() ? QStringLiteral("Dieser Arbeitsplatz hat keinen Zugangsschlüssel.")
                                    : QStringLiteral("Der Zugangsschlüssel ist unvollständig.");
        return std::nullopt;
    }
    const auto jetzt = std::chrono::steady_clock::now();
    std::optional<QString> hash;
    QString zertifikat;
    {
        std::lock_guard sperre(m_mutex);
        const auto it = m_cache.find(name);
        if (it != m_cache.end() && jetzt - it->second.gelesen < Gueltigkeit) {
            hash = it->second.hash;
            zertifikat = it->second.zertifikat;
        }
    }
    if (!hash) {
        Datenbank::Ausleihe verbindung(m_db);
        const auto gespeichert = Zugangsspeicher(m_db).schluessel(name);
        std::lock_guard sperre(m_mutex);
        if (gespeichert) {
            hash = gespeichert->hash;
            zertifikat = gespeichert->zertifikat.toLower();
            m_cache[name] = {hash, zertifikat, jetzt};
        } else {
            m_cache.erase(name);
        }
    }
    if (!hash || !gleich(*hash, geheimnisHash(geheimnis))) {
        *grund = QStringLiteral("Der Zugangsschlüssel des Arbeitsplatzes \"%1\" gilt nicht (widerrufen oder unbekannt).").arg(name);
        return std::nullopt;
    }
    // Issued for the server's old certificate: such a key names a
    // fingerprint no workstation can meet any more.
    if (!m_zertifikat.isEmpty() && !zertifikat.isEmpty() && zertifikat != m_zertifikat) {
        *grund = QStringLiteral("Der Zugangsschlüssel des Arbeitsplatzes \"%1\" gehört zu einem früheren Zertifikat des Servers; "
                                "bitte einen neuen ausstellen lassen.")
                     .arg(name);
        return std::nullopt;
    }
    return Platz{name, *hash};
}

} // namespace archiv::archivd
