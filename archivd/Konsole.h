#pragma once

#include <QCommandLineParser>
#include <QStringList>
#include <QTextStream>

#include <memory>

namespace archiv::archivd {

class Datenbank;

QTextStream &aus();
QTextStream &err();

// Parses a subcommand's options (adds --help and --db); false when the
// command should stop (help shown or an error reported).
bool befehlAuswerten(QCommandLineParser &p, const QStringList &args, const QString &beschreibung);

// The archive a command works on, brought to the newest schema.
std::unique_ptr<Datenbank> archivOeffnen(const QString &ort);

// A progress line on the terminal: each text replaces the one before on the
// same line of stderr; nothing when stderr is not a terminal (a cron job's
// mail or the journal gets the summary only).
class Fortschrittszeile
{
public:
    Fortschrittszeile();
    ~Fortschrittszeile();
    void zeigen(const QString &zeile);
    bool aktiv() const { return m_terminal; }

private:
    bool m_terminal = false;
    bool m_gezeigt = false;
    qsizetype m_laenge = 0;
};

} // namespace archiv::archivd
