#pragma once

#include "common/Protokoll.h"
#include "storage/Datenbank.h"

#include <QString>
#include <QStringList>
#include <QVariant>

namespace archiv::archivd {

// Reading query arguments strictly: a value that is not what the query
// needs is an error (400), never a silently different result.
QVariant firmaArg(const QStringList &args, int i);
qint64 zahlArg(const QStringList &args, int i, const char *was);
QString datumArg(const QStringList &args, int i, const char *was); // "" or YYYY-MM-DD

// A list argument split at its separator, blanks around entries removed,
// empty entries skipped; more than `hoechstens` entries are refused (400)
// with the argument named.
inline constexpr int MaxListe = 1000;
QStringList listenArg(const QString &wert, QChar trenner, const char *was, int hoechstens = MaxListe);

// Rows of the database as the protocol sends them: every value as text,
// NULL as "".
protokoll::Zeilen alsText(const QList<SqlZeile> &zeilen);

// "*" to "%" for LIKE, with %, _ and \ escaped (ESCAPE '\'); a text of more
// than MaxMuster characters is refused (400).
inline constexpr int MaxMuster = 1000;
QString likeMuster(const QString &text);

// No argument of a query or method is longer than this (a list of 1 000
// numbers fits); a longer one is refused (400) before anything runs.
inline constexpr int MaxArgument = 64 * 1024;

} // namespace archiv::archivd
