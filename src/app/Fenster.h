#pragma once

class QWidget;

namespace archiv::app {

// A window at least as wide as its title needs in the title bar (beside the
// window's icon and its buttons), so that a narrow dialog does not cut it.
void titelPlatzLassen(QWidget *fenster);

} // namespace archiv::app
