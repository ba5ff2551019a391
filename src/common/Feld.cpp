#include "common/Feld.h"

namespace archiv::common {

QString Feld(const QString &text, const QString &delimiter, int n)
{
    if (n < 1)
        return {};
    const bool matches = delimiter.size() == 1;
    const QChar d = matches ? delimiter.at(0) : QChar();
    int field = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (matches && text.at(i) == d) {
            if (field == n)
                return text.mid(start, i - start);
            ++field;
            start = i + 1;
        }
    }
    return field == n ? text.mid(start) : QString();
}

} // namespace archiv::common
