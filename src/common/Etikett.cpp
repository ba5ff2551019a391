#include "common/Etikett.h"

namespace archiv::common::etikett {

int pruefziffer(QStringView zwoelf)
{
    int summe = 0;
    for (qsizetype i = 0; i < zwoelf.size() && i < 12; ++i)
        summe += (zwoelf.at(i).unicode() - u'0') * (i % 2 == 0 ? 1 : 3);
    return (10 - summe % 10) % 10;
}

QString code(qint64 nummer)
{
    if (nummer < 1 || nummer > HoechsteNummer)
        return {};
    const QString zwoelf = Praefix + QStringLiteral("%1").arg(nummer, 6, 10, QChar(u'0')) + Kennziffer;
    return zwoelf + QString::number(pruefziffer(zwoelf));
}

std::optional<qint64> nummer(const QString &c)
{
    if (c.size() != 13 || !c.startsWith(Praefix) || c.at(11) != Kennziffer)
        return std::nullopt;
    for (const QChar z : c)
        if (z < u'0' || z > u'9')
            return std::nullopt;
    if (pruefziffer(QStringView(c).left(12)) != c.at(12).unicode() - u'0')
        return std::nullopt;
    const qint64 n = c.mid(5, 6).toLongLong();
    if (n < 1)
        return std::nullopt;
    return n;
}

} // namespace archiv::common::etikett
