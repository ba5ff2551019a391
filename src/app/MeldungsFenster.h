#pragma once

namespace archiv::app {

// Shows the program's messages as message boxes.
void meldungsFensterEinrichten();

} // namespace archiv::app
