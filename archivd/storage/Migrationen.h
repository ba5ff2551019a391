#pragma once

#include <QList>
#include <QStringList>

#include <functional>

namespace archiv::archivd {

// Numbered schema changes, applied in order at start-up. A migration that has
// shipped is never edited; a change to the schema is a new number.
class Datenbank;

struct Migration
{
    int nummer;
    QStringList anweisungen;
    // Rewrites existing rows after the statements, where SQL alone cannot
    // compute the new values (in the same transaction).
    std::function<void(Datenbank &)> daten = {};
    // Statements for one database only, after the common ones.
    QStringList nurSqlite = {};
    QStringList nurPostgres = {};
};

const QList<Migration> &migrationen();

} // namespace archiv::archivd
