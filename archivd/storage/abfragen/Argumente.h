#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace archiv::archivd {

// Reading query arguments strictly: a value that is not what the query
// needs is an error (400), never a silently different result.
QVariant firmaArg(const QStringList &args, int i);
qint64 zahlArg(const QStringList &args, int i, const char *was);
QString datumArg(const QStringList &args, int i, const char *was); // "" or YYYY-MM-DD

// "*" to "%" for LIKE, with %, _ and \ escaped (ESCAPE '\').
QString likeMuster(const QString &text);
QString platzhalter(qsizetype n); // "?, ?, ?"

} // namespace archiv::archivd
