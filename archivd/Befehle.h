#pragma once

#include <QStringList>

namespace archiv::archivd {

// The subcommands of archivd; returns the process exit code.
int befehlAusfuehren(const QStringList &argumente);

} // namespace archiv::archivd
