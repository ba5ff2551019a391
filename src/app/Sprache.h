#pragma once

namespace archiv::app {

// Qt's own dialogs (file, print, page setup, the buttons of message boxes)
// speak German like the rest of the program, whatever the system's locale.
// False when Qt's German translation is not installed (the dialogs then
// stay English; the program works on).
bool deutschEinrichten();

} // namespace archiv::app
