#include "support/Testumgebung.h"

#include "common/Programmzustand.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
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

void bildSichern(QWidget *fenster, const QString &name)
{
    const QString ordner = qEnvironmentVariable("ARCHIV_BILDER");
    if (ordner.isEmpty() || !fenster)
        return;
    QDir().mkpath(ordner);
    QCoreApplication::processEvents();
    fenster->grab().save(QDir(ordner).filePath(name + QStringLiteral(".png")));
}

} // namespace archiv::test
