#include "app/Sprache.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace archiv::app {

bool deutschEinrichten()
{
    // Numbers and dates of Qt's widgets (spin boxes, the calendar) follow.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    static QTranslator *qt = nullptr;
    if (qt)
        return true;
    auto *t = new QTranslator(QCoreApplication::instance());
    if (!t->load(QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    qt = t;
    return true;
}

} // namespace archiv::app
