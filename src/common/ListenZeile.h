#pragma once

#include <QString>
#include <QStringList>

namespace archiv::common {

// A row of a multi-column list: the column texts joined by line feeds, plus a
// hidden data string that the window reads back with Feld.
struct ListenZeile
{
    QString text;
    QString daten;

    static constexpr QChar Trenner = u'\n';

    static ListenZeile ausSpalten(const QStringList &spalten, const QString &daten = {});
    QStringList spalten() const;
    QString spalte(int n) const; // counted from 1, empty when missing
};

} // namespace archiv::common
