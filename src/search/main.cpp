#include "app/MeldungsFenster.h"
#include "search/Archiv.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Archiv"));
    QApplication::setOrganizationName(QStringLiteral("Archiv"));
    archiv::app::meldungsFensterEinrichten();
    archiv::search::Archiv archiv;
    if (!archiv.laden())
        return 0; // no archive server: the program ends without a message
    archiv.show();
    return app.exec();
}
