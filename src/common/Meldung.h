#pragma once

#include <QString>

#include <functional>

namespace archiv::common {

enum class MeldungsSymbol { Information, Ausruf, Kritisch, Frage };
enum class MeldungsKnoepfe { Ok, OkAbbrechen, JaNein, JaNeinAbbrechen };
enum class Antwort { Ok, Abbrechen, Ja, Nein };

struct MeldungsAnfrage
{
    QString titel;
    QString text;
    MeldungsSymbol symbol = MeldungsSymbol::Information;
    MeldungsKnoepfe knoepfe = MeldungsKnoepfe::Ok;
};

using MeldungsAnzeige = std::function<Antwort(const MeldungsAnfrage &)>;

// Every message box of the program goes through here. The client installs
// a widget-based display at start; tests install one that records and answers.
Antwort meldung(const QString &titel, const QString &text, MeldungsSymbol symbol = MeldungsSymbol::Information,
                MeldungsKnoepfe knoepfe = MeldungsKnoepfe::Ok);

// Installs a display and returns the one it replaces. Without any display the
// message goes to standard error and is answered with the first button.
MeldungsAnzeige setzeMeldungsAnzeige(MeldungsAnzeige anzeige);

} // namespace archiv::common
