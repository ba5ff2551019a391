#include "support/Testumgebung.h"

#include "common/Programmzustand.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

namespace archiv::test {

void einstellungenAbschirmen()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Archiv"));
    QCoreApplication::setApplicationName(QStringLiteral("Archiv"));
    // Each test program gets settings of its own: CTest runs programs side
    // by side, and one that empties its settings must not empty another's.
    static QTemporaryDir eigene;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, eigene.path());
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
