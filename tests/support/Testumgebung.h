#pragma once

#include <QString>

namespace archiv::test {

// Settings of the tests go to a directory of the test program's own, never
// to the user's and never shared with another test program.
void einstellungenAbschirmen();
// Empties the settings and puts the program-wide state back to its start.
void zuruecksetzen();
// A loopback port nobody listens on (for refused connections).
QString freierPort();

} // namespace archiv::test
