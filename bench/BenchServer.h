#pragma once

#include "support/ArchivServer.h"

#include <QTextStream>

#include <cstdio>
#include <memory>

namespace archiv::bench {

// archivd (the one built beside the benchmark) serving a fresh demo archive
// of `belege` Belege; nullptr, after saying why, when it does not start.
inline std::unique_ptr<test::ArchivServer> demoServer(int belege)
{
    qputenv("ARCHIVD_BIN", ARCHIVD_PFAD);
    auto server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, belege);
    if (!server->starten()) {
        QTextStream(stderr) << server->fehler() << Qt::endl;
        return nullptr;
    }
    return server;
}

} // namespace archiv::bench
