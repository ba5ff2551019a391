#include "app/Fenster.h"

#include <QApplication>
#include <QFontMetrics>
#include <QWidget>

namespace archiv::app {

void titelPlatzLassen(QWidget *fenster)
{
    // Icon, three buttons and the margins of a common title bar.
    constexpr int Titelleiste = 140;
    const int breite = QFontMetrics(QApplication::font()).horizontalAdvance(fenster->windowTitle()) + Titelleiste;
    fenster->setMinimumWidth(qMax(fenster->minimumWidth(), breite));
}

} // namespace archiv::app
