#pragma once

#include <QStringList>

namespace archiv::archivd {

// The subcommands of archivd; returns the process exit code.
int befehlAusfuehren(const QStringList &argumente);

// Creates the archive's TLS certificate and key beside it unless they exist
// ("archivd init" and "archivd demo"); false with a message on failure.
bool zertifikatSicherstellen(const QString &ort);

} // namespace archiv::archivd
