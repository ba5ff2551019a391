#include "common/ListenZeile.h"

namespace archiv::common {

ListenZeile ListenZeile::ausSpalten(const QStringList &spalten, const QString &daten)
{
    return {spalten.join(Trenner), daten};
}

QStringList ListenZeile::spalten() const
{
    return text.split(Trenner);
}

QString ListenZeile::spalte(int n) const
{
    const QStringList s = spalten();
    return n >= 1 && n <= s.size() ? s.at(n - 1) : QString();
}

} // namespace archiv::common
