#pragma once

#include <QList>
#include <QStringList>

namespace archiv::archivd {

// Numbered schema changes, applied in order at start-up. A migration that has
// shipped is never edited; a change to the schema is a new number.
struct Migration
{
    int nummer;
    QStringList anweisungen;
};

const QList<Migration> &migrationen();

} // namespace archiv::archivd
