#pragma once

#include <QString>

#include <optional>

namespace archiv::server {

// "cn_iptcp:" + host + "[" + port + "]:" + namespace, read strictly.
struct Verbindungsadresse
{
    QString host;
    int port = 0;
    QString ns;

    static std::optional<Verbindungsadresse> lesen(const QString &text);
    static QString bauen(const QString &host, const QString &port, const QString &ns);
};

} // namespace archiv::server
