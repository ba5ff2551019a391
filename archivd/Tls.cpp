#include "Tls.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QUrl>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace archiv::archivd {

namespace {

template<typename T, void (*F)(T *)>
struct Frei
{
    void operator()(T *p) const { F(p); }
};
using Schluessel = std::unique_ptr<EVP_PKEY, Frei<EVP_PKEY, EVP_PKEY_free>>;
using Zertifikat = std::unique_ptr<X509, Frei<X509, X509_free>>;
using Datei = std::unique_ptr<BIO, Frei<BIO, BIO_free_all>>;

QString opensslFehler(const char *was)
{
    return QStringLiteral("%1 ist nicht gelungen (OpenSSL)").arg(QLatin1String(was));
}

bool erweiterung(X509 *z, int nid, const QByteArray &wert)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, z, z, nullptr, nullptr, 0);
    X509_EXTENSION *e = X509V3_EXT_conf_nid(nullptr, &ctx, nid, wert.constData());
    if (!e)
        return false;
    const bool ok = X509_add_ext(z, e, -1) == 1;
    X509_EXTENSION_free(e);
    return ok;
}

} // namespace

TlsDateien TlsDateien::nebenArchiv(const QString &ort)
{
    QString basis = ort;
    if (ort.startsWith(QLatin1String("postgresql://")) || ort.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(ort);
        basis = QStringLiteral("archivd-%1-%2-%3")
                    .arg(url.host().isEmpty() ? QStringLiteral("localhost") : url.host())
                    .arg(url.port(5432))
                    .arg(url.path().mid(1));
    }
    return {basis + QStringLiteral(".crt"), basis + QStringLiteral(".key")};
}

bool TlsDateien::vorhanden() const
{
    return QFileInfo::exists(zertifikat) && QFileInfo::exists(schluessel);
}

bool zertifikatAnlegen(const TlsDateien &ziel, const QStringList &namen, QString *fehler)
{
    Schluessel schluessel(EVP_EC_gen("P-256"));
    Zertifikat z(X509_new());
    if (!schluessel || !z) {
        *fehler = opensslFehler("Das Erzeugen des Schlüssels");
        return false;
    }
    X509_set_version(z.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(z.get()), long(QDateTime::currentSecsSinceEpoch()));
    X509_gmtime_adj(X509_getm_notBefore(z.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(z.get()), 20L * 365 * 24 * 3600);
    X509_set_pubkey(z.get(), schluessel.get());
    X509_NAME *name = X509_get_subject_name(z.get());
    const QByteArray cn = namen.value(0, QStringLiteral("archivd")).toUtf8().left(64);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>(cn.constData()), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char *>("archivd"), -1, -1, 0);
    X509_set_issuer_name(z.get(), name);
    QStringList alt;
    for (const QString &n : namen)
        alt << (QHostAddress(n).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + n;
    if ((!alt.isEmpty() && !erweiterung(z.get(), NID_subject_alt_name, alt.join(u',').toUtf8())) ||
        !erweiterung(z.get(), NID_basic_constraints, "critical,CA:FALSE") || X509_sign(z.get(), schluessel.get(), EVP_sha256()) <= 0) {
        *fehler = opensslFehler("Das Ausstellen des Zertifikats");
        return false;
    }
    // The key first, readable by its owner only from the moment it exists.
    const QByteArray keyPfad = QFile::encodeName(ziel.schluessel);
    QFile::remove(ziel.schluessel);
    {
        QFile datei(ziel.schluessel);
        if (!datei.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            !datei.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            *fehler = QStringLiteral("%1 lässt sich nicht anlegen: %2").arg(ziel.schluessel, datei.errorString());
            return false;
        }
    }
    Datei key(BIO_new_file(keyPfad.constData(), "w"));
    Datei crt(BIO_new_file(QFile::encodeName(ziel.zertifikat).constData(), "w"));
    if (!key || !crt || PEM_write_bio_PrivateKey(key.get(), schluessel.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        PEM_write_bio_X509(crt.get(), z.get()) != 1 || BIO_flush(key.get()) != 1 || BIO_flush(crt.get()) != 1) {
        *fehler = QStringLiteral("%1 oder %2 lässt sich nicht schreiben").arg(ziel.zertifikat, ziel.schluessel);
        return false;
    }
    return true;
}

std::optional<QString> fingerabdruck(const QString &zertifikat)
{
    Datei datei(BIO_new_file(QFile::encodeName(zertifikat).constData(), "r"));
    if (!datei)
        return std::nullopt;
    Zertifikat z(PEM_read_bio_X509(datei.get(), nullptr, nullptr, nullptr));
    if (!z)
        return std::nullopt;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int laenge = 0;
    if (X509_digest(z.get(), EVP_sha256(), md, &laenge) != 1)
        return std::nullopt;
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(md), int(laenge)).toHex());
}

} // namespace archiv::archivd
