#pragma once

#include <QProcess>
#include <QString>
#include <QVariant>

#include <optional>
#include <QTemporaryDir>

#include <memory>

namespace archiv::test {

// A real archivd on a free loopback port with a fresh SQLite archive of its
// own. The binary comes from ARCHIVD_BIN (set by CTest).
class ArchivServer
{
public:
    enum class Inhalt { Leer, Demo };

    explicit ArchivServer(Inhalt inhalt = Inhalt::Leer, int demoBelege = 120);
    // Serves an archive that exists already (benchmarks on a large archive).
    static std::unique_ptr<ArchivServer> fuer(const QString &dbPfad);
    ~ArchivServer();

    // Serves on a free port; false with a message in fehler().
    bool starten(const QStringList &weitereArgs = {});
    void stoppen(); // SIGTERM and wait
    void abschiessen(); // SIGKILL, no chance to clean up
    int port() const { return m_port; }
    // Resident memory of the server process in KiB, now and at its highest
    // so far (0 when not running).
    qint64 rssKiB(bool hoechststand = false) const;
    QString verbindungstext(const QString &ns = QStringLiteral("TSARCHIV")) const;
    QString dbPfad() const; // file path, or postgresql:// URL
    bool aufPostgres() const { return !m_url.isEmpty(); }
    // Runs one statement straight on the SQLite archive file, beside the
    // server (for what the protocol does not show, or to damage a file):
    // the first column of the first row (invalid without rows); nullopt
    // when the statement fails.
    std::optional<QVariant> sqlite(const QString &sql) const;
    // ARCHIV_TEST_DB=postgres runs the same tests on PostgreSQL.
    static bool postgresGewuenscht();
    QString fehler() const { return m_fehler; }

    // Runs "archivd ARGS" to completion; returns its exit code, output in *ausgabe.
    static int archivd(const QStringList &args, QString *ausgabe = nullptr, int zeitMs = 120000);
    static QString programm();

private:
    QTemporaryDir m_dir;
    QString m_url;
    QString m_vorhanden;
    std::unique_ptr<QProcess> m_prozess;
    int m_port = 0;
    QString m_fehler;
};

} // namespace archiv::test
