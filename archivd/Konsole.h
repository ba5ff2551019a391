#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

namespace archiv::archivd {

QTextStream &aus();
QTextStream &err();

// Parses a subcommand's options (adds --help and --db); false when the
// command should stop (help shown or an error reported).
bool befehlAuswerten(QCommandLineParser &p, const QStringList &args, const QString &beschreibung);

} // namespace archiv::archivd
