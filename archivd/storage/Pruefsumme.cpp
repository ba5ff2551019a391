#include "storage/Pruefsumme.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace archiv::archivd {

struct Sha256::Zustand
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~Zustand() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : d(std::make_unique<Zustand>())
{
    if (!d->ctx || EVP_DigestInit_ex(d->ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 not available");
}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView daten)
{
    EVP_DigestUpdate(d->ctx, daten.data(), size_t(daten.size()));
}

QString Sha256::hex()
{
    unsigned char summe[EVP_MAX_MD_SIZE];
    unsigned int laenge = 0;
    EVP_DigestFinal_ex(d->ctx, summe, &laenge);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(summe), int(laenge)).toHex());
}

QString Sha256::hex(QByteArrayView daten)
{
    Sha256 s;
    s.addData(daten);
    return s.hex();
}

} // namespace archiv::archivd
