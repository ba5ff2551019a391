#include "common/Zugangsschluessel.h"

#include <QRegularExpression>

namespace archiv::common {

bool Zugangsschluessel::nameGueltig(const QString &name)
{
    static const QRegularExpression form(QStringLiteral(R"(^[A-Za-z0-9_-]{1,40}$)"));
    return form.match(name).hasMatch();
}

std::optional<Zugangsschluessel> Zugangsschluessel::lesen(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^([A-Za-z0-9_-]{1,40})\.([A-Za-z0-9_-]{43})\.([0-9A-Fa-f]{64})$)"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return Zugangsschluessel{m.captured(1), m.captured(2), m.captured(3).toLower()};
}

QString Zugangsschluessel::text() const
{
    return name + u'.' + geheimnis + u'.' + fingerabdruck;
}

} // namespace archiv::common
