#pragma once

#include <QString>

class QWidget;

namespace archiv::test {

// Settings of the tests go to a directory of the test program's own, never
// to the user's and never shared with another test program.
void einstellungenAbschirmen();
// Empties the settings and puts the program-wide state back to its start.
void zuruecksetzen();
// A loopback port nobody listens on (for refused connections).
QString freierPort();
// With ARCHIV_BILDER set to a folder: the window as drawn, saved there as
// NAME.png, for a look at what a user sees. Otherwise nothing.
void bildSichern(QWidget *fenster, const QString &name);

} // namespace archiv::test
