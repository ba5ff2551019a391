#include "storage/abfragen/Argumente.h"

#include "Fehler.h"

#include <QDate>

namespace archiv::archivd {

qint64 zahlArg(const QStringList &args, int i, const char *was)
{
    bool ok = false;
    const qint64 n = args.value(i).trimmed().toLongLong(&ok);
    if (!ok)
        throw AnfrageFehler::ungueltig(QStringLiteral("%1: \"%2\" ist keine Zahl").arg(QLatin1String(was), args.value(i)));
    return n;
}

QVariant firmaArg(const QStringList &args, int i)
{
    return zahlArg(args, i, "Firma");
}

QString datumArg(const QStringList &args, int i, const char *was)
{
    const QString t = args.value(i).trimmed();
    if (t.isEmpty())
        return {};
    if (!QDate::fromString(t, QStringLiteral("yyyy-MM-dd")).isValid())
        throw AnfrageFehler::ungueltig(QStringLiteral("%1: \"%2\" ist kein Datum (YYYY-MM-DD)").arg(QLatin1String(was), t));
    return t;
}

QStringList listenArg(const QString &wert, QChar trenner, const char *was, int hoechstens)
{
    QStringList liste;
    for (const QString &teil : wert.split(trenner, Qt::SkipEmptyParts)) {
        const QString t = teil.trimmed();
        if (t.isEmpty())
            continue;
        if (liste.size() >= hoechstens)
            throw AnfrageFehler::ungueltig(QStringLiteral("%1: höchstens %2 Einträge").arg(QLatin1String(was)).arg(hoechstens));
        liste << t;
    }
    return liste;
}

protokoll::Zeilen alsText(const QList<SqlZeile> &zeilen)
{
    protokoll::Zeilen ergebnis;
    ergebnis.reserve(zeilen.size());
    for (const SqlZeile &z : zeilen) {
        QStringList zeile;
        zeile.reserve(z.size());
        for (const QVariant &v : z)
            zeile << (v.isNull() ? QString() : v.toString());
        ergebnis.append(zeile);
    }
    return ergebnis;
}

QString likeMuster(const QString &text)
{
    // Far beyond anything typed into a search field, and within what every
    // database takes as a pattern.
    if (text.size() > MaxMuster)
        throw AnfrageFehler::ungueltig(QStringLiteral("Ein Suchbegriff hat höchstens %1 Zeichen, nicht %2").arg(MaxMuster).arg(text.size()));
    QString m;
    m.reserve(text.size() + 4);
    for (const QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            m += u'\\';
        m += c == u'*' ? QChar(u'%') : c;
    }
    return m;
}

} // namespace archiv::archivd
