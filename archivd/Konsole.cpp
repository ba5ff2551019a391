#include "Konsole.h"

#include "storage/Datenbank.h"

#include <unistd.h>

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

std::unique_ptr<Datenbank> archivOeffnen(const QString &ort)
{
    auto db = Datenbank::oeffnen(ort);
    db->migrieren();
    return db;
}

Fortschrittszeile::Fortschrittszeile() : m_terminal(::isatty(STDERR_FILENO))
{
}

Fortschrittszeile::~Fortschrittszeile()
{
    if (m_gezeigt)
        err() << Qt::endl;
}

void Fortschrittszeile::zeigen(const QString &zeile)
{
    if (!m_terminal)
        return;
    // Blanks over what a longer line before left.
    err() << '\r' << zeile << QString(qMax<qsizetype>(0, m_laenge - zeile.size()), u' ') << Qt::flush;
    m_laenge = zeile.size();
    m_gezeigt = true;
}

} // namespace archiv::archivd
