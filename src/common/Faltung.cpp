#include "common/Faltung.h"

namespace archiv::common {

QString gefaltet(const QString &text)
{
    QString f = text.toCaseFolded();
    // Simple case folding keeps ß (and folds the capital ẞ to it); the full
    // folding writes it as "ss", as an upper-case typist does.
    if (f.contains(u'ß'))
        f.replace(u'ß', QStringLiteral("ss"));
    return f;
}

} // namespace archiv::common
