#include "app/Einstellungen.h"

#include <QFile>
#include <QSettings>

namespace archiv::app {

namespace {

QSettings speicher()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Archiv"), QStringLiteral("Archiv"));
}

} // namespace

QString einstellung(const QString &abschnitt, const QString &schluessel, const QString &vorgabe)
{
    return speicher().value(abschnitt + u'/' + schluessel, vorgabe).toString();
}

void setzeEinstellung(const QString &abschnitt, const QString &schluessel, const QString &wert)
{
    QSettings s = speicher();
    s.setValue(abschnitt + u'/' + schluessel, wert);
    s.sync();
    // The file holds the workstation's access key: for this user's eyes only.
    QFile::setPermissions(s.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace archiv::app
