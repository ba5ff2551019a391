#include "app/Sanduhr.h"

#include <QApplication>

namespace archiv::app {

Sanduhr::Sanduhr()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

Sanduhr::~Sanduhr()
{
    aufheben();
}

void Sanduhr::aufheben()
{
    if (m_aktiv)
        QApplication::restoreOverrideCursor();
    m_aktiv = false;
}

} // namespace archiv::app
