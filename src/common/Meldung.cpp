#include "common/Meldung.h"

#include <QTextStream>

namespace archiv::common {

namespace {

MeldungsAnzeige &anzeige()
{
    static MeldungsAnzeige a;
    return a;
}

Antwort ersterKnopf(MeldungsKnoepfe k)
{
    switch (k) {
    case MeldungsKnoepfe::JaNein:
    case MeldungsKnoepfe::JaNeinAbbrechen: return Antwort::Ja;
    case MeldungsKnoepfe::Ok:
    case MeldungsKnoepfe::OkAbbrechen: break;
    }
    return Antwort::Ok;
}

} // namespace

Antwort meldung(const QString &titel, const QString &text, MeldungsSymbol symbol, MeldungsKnoepfe knoepfe)
{
    const MeldungsAnfrage anfrage{titel, text, symbol, knoepfe};
    if (anzeige())
        return anzeige()(anfrage);
    QTextStream(stderr) << titel << ": " << text << Qt::endl;
    return ersterKnopf(knoepfe);
}

MeldungsAnzeige setzeMeldungsAnzeige(MeldungsAnzeige neu)
{
    MeldungsAnzeige alt = std::move(anzeige());
    anzeige() = std::move(neu);
    return alt;
}

} // namespace archiv::common
