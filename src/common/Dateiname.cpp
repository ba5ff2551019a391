#include "common/Dateiname.h"

namespace archiv::common {

QString dateiname(const QString &text)
{
    static const QString verboten = QStringLiteral("/\\:*?\"<>|");
    QString n;
    n.reserve(text.size());
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f && !verboten.contains(c))
            n += c;
    while (n.startsWith(u'.') || n.startsWith(u' '))
        n.remove(0, 1);
    if (n.size() > 200)
        n.truncate(n.at(199).isHighSurrogate() ? 199 : 200);
    while (n.endsWith(u'.') || n.endsWith(u' '))
        n.chop(1);
    return n.isEmpty() ? QStringLiteral("dokument") : n;
}

} // namespace archiv::common
