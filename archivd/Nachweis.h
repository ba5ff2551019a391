#pragma once

#include <QStringList>

namespace archiv::archivd {

// The proof that nothing was changed: "archivd verify" checks the audit
// trail's hash chain, every stored file, and every Beleg against the state
// its last entry records; "archivd anker" writes the chain's head to a file
// kept outside the archive. Both return the process exit code.
int verify(const QStringList &args);
int anker(const QStringList &args);

} // namespace archiv::archivd
