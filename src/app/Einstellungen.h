#pragma once

#include <QString>

namespace archiv::app {

// Per-user settings of application "Archiv" (INI format), addressed by
// section and key. Values are strings, stored exactly as given. The file is
// readable by its owner only (it holds the workstation's access key).
QString einstellung(const QString &abschnitt, const QString &schluessel, const QString &vorgabe = {});
void setzeEinstellung(const QString &abschnitt, const QString &schluessel, const QString &wert);

} // namespace archiv::app
