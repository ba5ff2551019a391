#include "Konsole.h"

namespace archiv::archivd {

QTextStream &aus()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

bool befehlAuswerten(QCommandLineParser &p, const QStringList &args, const QString &beschreibung)
{
    p.setApplicationDescription(beschreibung);
    p.addHelpOption();
    p.addOption({QStringLiteral("db"), QStringLiteral("SQLite-Datei oder postgresql://-Adresse (Standard: archiv.sqlite)."),
                 QStringLiteral("ort"), QStringLiteral("archiv.sqlite")});
    if (!p.parse(args)) {
        err() << p.errorText() << Qt::endl;
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        aus() << p.helpText() << Qt::flush;
        return false;
    }
    return true;
}

} // namespace archiv::archivd
