#pragma once

#include <QWidget>

#include <cstdlib>

namespace archiv::test {

// A window's control by object name; a missing one ends the test at once
// (a renamed control must not pass as "hidden").
template<typename T>
T *teil(const QWidget *fenster, const char *name)
{
    T *w = fenster->findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// Row i of the controls of that name (the property rows carry their row
// number as the property "index"); nullptr when there is none.
template<typename T>
T *zeile(const QWidget *fenster, const char *name, int i)
{
    for (T *w : fenster->findChildren<T *>(QLatin1String(name)))
        if (w->property("index").toInt() == i)
            return w;
    return nullptr;
}

} // namespace archiv::test
