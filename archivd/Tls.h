#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace archiv::archivd {

// The server's TLS certificate and key.
struct TlsDateien
{
    QString zertifikat;
    QString schluessel;

    // Where "archivd init" puts them: beside an SQLite archive file
    // (archiv.sqlite.crt, archiv.sqlite.key), or for a PostgreSQL archive
    // in the working directory, named after host, port and database
    // (archivd-dbhost-5432-archiv.crt).
    static TlsDateien nebenArchiv(const QString &ort);
    bool vorhanden() const;
};

// A self-signed certificate (ECDSA P-256, valid for 20 years) for the given
// names and addresses, the key readable by its owner only. False with the
// reason in *fehler.
bool zertifikatAnlegen(const TlsDateien &ziel, const QStringList &namen, QString *fehler);

// SHA-256 of the certificate (DER), lower-case hex; nullopt when the file
// holds no certificate.
std::optional<QString> fingerabdruck(const QString &zertifikat);

} // namespace archiv::archivd
