#pragma once

#include <QStringList>

class QWidget;

namespace archiv::test {

// The texts of a window that do not fit where they are shown: every
// visible label, button, check box, radio button, group box title, tab,
// column header and the window's title, measured with the widget's own
// font against the width it has (a text that eliding would change is cut).
// One line per text: object path, the text, needed and available pixels.
QStringList abgeschnitteneTexte(const QWidget *fenster);

} // namespace archiv::test
