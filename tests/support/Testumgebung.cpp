#include "support/Testumgebung.h"

#include "common/Programmzustand.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>

namespace archiv::test {

void einstellungenAbschirmen()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Archiv"));
    QCoreApplication::setApplicationName(QStringLiteral("Archiv"));
}

void zuruecksetzen()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Archiv"), QStringLiteral("Archiv")).clear();
    global::zuruecksetzen();
}

QString freierPort()
{
    QTcpServer frei;
    frei.listen(QHostAddress::LocalHost);
    return QString::number(frei.serverPort());
}

} // namespace archiv::test
