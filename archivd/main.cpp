#include "Befehle.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("archivd"));
    return archiv::archivd::befehlAusfuehren(QCoreApplication::arguments());
}
