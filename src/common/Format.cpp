#include "common/Format.h"

#include <QRegularExpression>

#include <cmath>

namespace archiv::common {

namespace {

int pflichtStellen(const QString &muster)
{
    const qsizetype erste = muster.indexOf(u'0');
    return erste < 0 ? 0 : int(muster.size() - erste);
}

QString mitStellen(qint64 wert, int stellen)
{
    const bool negativ = wert < 0;
    QString ziffern = QString::number(negativ ? -wert : wert);
    if (ziffern == u"0" && stellen == 0)
        ziffern.clear();
    if (ziffern.size() < stellen)
        ziffern.prepend(QString(stellen - ziffern.size(), u'0'));
    return negativ ? u'-' + ziffern : ziffern;
}

} // namespace

QString formatZahl(qint64 wert, const QString &muster)
{
    return mitStellen(wert, pflichtStellen(muster));
}

QString formatZahl(const QString &wert, const QString &muster)
{
    const QString t = wert.trimmed();
    bool ok = false;
    const qint64 ganz = t.toLongLong(&ok);
    if (ok)
        return formatZahl(ganz, muster);
    const double d = t.toDouble(&ok);
    if (ok && std::isfinite(d))
        return formatZahl(qint64(std::llround(d)), muster);
    return wert;
}

QString formatAllgemein(double wert)
{
    if (wert == std::floor(wert) && std::fabs(wert) < 1e15)
        return QString::number(qint64(wert));
    return QString::number(wert, 'g', 15);
}

QString formatAllgemein(const QString &wert)
{
    bool ok = false;
    const QString t = wert.trimmed();
    const qint64 ganz = t.toLongLong(&ok);
    if (ok)
        return QString::number(ganz);
    const double d = t.toDouble(&ok);
    if (ok && std::isfinite(d))
        return formatAllgemein(d);
    return wert;
}

QString formatDatum(const QDate &datum)
{
    return datum.isValid() ? datum.toString(u"yyyy-MM-dd") : QString();
}

QString formatDatum(const QString &wert)
{
    const QString t = wert.trimmed();
    QDate d = QDate::fromString(t.left(10), u"yyyy-MM-dd");
    if (!d.isValid())
        d = QDate::fromString(t, u"dd.MM.yyyy");
    return d.isValid() ? formatDatum(d) : wert;
}

double zahlWert(const QString &wert)
{
    static const QRegularExpression zahl(QStringLiteral(R"(^\s*([-+]?(\d+(\.\d*)?|\.\d+)([eE][-+]?\d+)?))"));
    const auto m = zahl.match(wert);
    return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

} // namespace archiv::common
