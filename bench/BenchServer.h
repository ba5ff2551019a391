#pragma once

#include "support/ArchivServer.h"

#include <QTextStream>

#include <cstdio>
#include <memory>

namespace archiv::bench {

// archivd (the one built beside the benchmark) serving a fresh demo archive
// of `belege` Belege; nullptr, after saying why, when it does not start.
inline std::unique_ptr<test::ArchivServer> gestartet(std::unique_ptr<test::ArchivServer> server, const QStringList &args = {})
{
    if (!server->starten(args)) {
        QTextStream(stderr) << server->fehler() << Qt::endl;
        return nullptr;
    }
    return server;
}

// args: further options of "archivd serve".
inline std::unique_ptr<test::ArchivServer> demoServer(int belege, const QStringList &args = {})
{
    qputenv("ARCHIVD_BIN", ARCHIVD_PFAD);
    return gestartet(std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, belege), args);
}

// The same for an archive that exists (a large one made beforehand).
inline std::unique_ptr<test::ArchivServer> archivServer(const QString &pfad, const QStringList &args = {})
{
    qputenv("ARCHIVD_BIN", ARCHIVD_PFAD);
    return gestartet(test::ArchivServer::fuer(pfad), args);
}

} // namespace archiv::bench
