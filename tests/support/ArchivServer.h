#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QVariant>

#include <QTemporaryDir>
#include <optional>

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
    // Starts again on the port it had, as a server restarted by its
    // administrator: the workstations' connections and sessions go on.
    bool neustarten(const QStringList &weitereArgs = {});
    // SIGTERM and wait: the exit code, -1 when it crashed or had to be killed.
    int stoppen();
    void abschiessen(); // SIGKILL, no chance to clean up
    int port() const { return m_port; }
    // Resident memory of the server process in KiB, now and at its highest
    // so far (0 when not running).
    qint64 rssKiB(bool hoechststand = false) const;
    QString verbindungstext(const QString &ns = QStringLiteral("TSARCHIV")) const;
    // The access key this test enrolled with "archivd client add"; every
    // connection of the test process to this server uses it.
    QString zugang() const { return m_zugang; }
    // "Bearer NAME.SECRET", for requests made by hand.
    QByteArray zugangKopf() const;
    // Logs the test's WWS user in (TestBenutzer/TestPasswort of the company,
    // created there when missing) so that this process's writes to the server
    // carry a session for that company; starten() does it for company 1.
    // False when the server refused.
    bool anmelden(const QString &firma = QStringLiteral("1"));
    // The company the test's session is for.
    QString angemeldeteFirma() const { return m_firma; }
    static constexpr auto TestBenutzer = "ARCHIVTEST";
    static constexpr auto TestPasswort = "Prüfung-ß 1";
    QString dbPfad() const; // file path, or postgresql:// URL
    bool aufPostgres() const { return !m_url.isEmpty(); }
    // Runs one statement straight on the archive's database (the SQLite file
    // or the PostgreSQL database), beside the server (for what the protocol
    // does not show or write, or to damage a file):
    // the first column of the first row (invalid without rows); nullopt
    // when the statement fails.
    std::optional<QVariant> sqlite(const QString &sql) const;
    // PostgreSQL: takes the archive's database away from the server, as a
    // database server that went down does (its connections ended, new ones
    // refused), and gives it back; false when that failed or on SQLite.
    bool datenbankErreichbar(bool ja) const;
    // Master data (companies, types, their index properties, customers, WWS
    // users ...) as an installation brings it in: "archivd import", since a
    // workstation cannot write it. Rows with the same columns go in one
    // import; false with the message in *fehler.
    using Stammsatz = QMap<QString, QString>;
    bool stammdaten(const QString &klasse, const QList<Stammsatz> &saetze, QString *fehler = nullptr) const;
    // ARCHIV_TEST_DB=postgres runs the same tests on PostgreSQL.
    static bool postgresGewuenscht();
    // At its end an archive the server has served is checked with "archivd
    // verify": every test's writes must leave a trail that proves them. A
    // test that changes the database past the server on purpose says so.
    void ohneNachpruefung() { m_nachpruefen = false; }
    // Where a further, empty archive can be made: the SQLite path given, or
    // a new database of the test cluster on PostgreSQL; empty on failure.
    static QString leeresArchiv(const QString &sqlitePfad);
    QString fehler() const { return m_fehler; }

    // Runs "archivd ARGS" to completion; returns its exit code, output in *ausgabe.
    static int archivd(const QStringList &args, QString *ausgabe = nullptr, int zeitMs = 120000);
    // The access key in what "archivd client add" printed (its first line;
    // the note about the enrolment file follows).
    static QString schluesselAus(const QString &ausgabe) { return ausgabe.trimmed().section(u'\n', 0, 0).trimmed(); }
    static QString programm();

private:
    // One statement on the archive's database, or on the named one of its
    // PostgreSQL cluster.
    std::optional<QVariant> ausfuehren(const QString &sql, const QString &datenbank) const;
    QTemporaryDir m_dir;
    QString m_url;
    QString m_vorhanden;
    bool m_gestartet = false;
    bool m_nachpruefen = true;
    std::unique_ptr<QProcess> m_prozess;
    int m_port = 0;
    int m_festerPort = 0; // 0: a free one
    QString m_fehler;
    QString m_zugang;
    QString m_firma;
};

} // namespace archiv::test
