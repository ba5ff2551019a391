#include "server/Verbindungstext.h"

#include <QRegularExpression>

namespace archiv::server {

std::optional<Verbindungsadresse> Verbindungsadresse::lesen(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^cn_iptcp:([A-Za-z0-9.\-]+|\[[0-9A-Fa-f:]+\])\[(\d{1,5})\]:([A-Za-z][A-Za-z0-9_]*)$)"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int port = m.captured(2).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    QString host = m.captured(1);
    if (host.startsWith(u'['))
        host = host.mid(1, host.size() - 2);
    return Verbindungsadresse{host, port, m.captured(3)};
}

QString Verbindungsadresse::bauen(const QString &host, const QString &port, const QString &ns)
{
    return QStringLiteral("cn_iptcp:") + host + u'[' + port + QStringLiteral("]:") + ns;
}

} // namespace archiv::server
