#pragma once

#include <QString>
#include <QTemporaryDir>

namespace archiv::test {

// A throw-away PostgreSQL cluster on a free loopback port, for running the
// server's tests against PostgreSQL where it is installed. As root the
// cluster runs as the "postgres" user, since PostgreSQL refuses root.
class PostgresCluster
{
public:
    PostgresCluster();
    ~PostgresCluster();

    static bool installiert();
    bool starten();
    // A new empty database; returns its postgresql:// URL.
    QString neueDatenbank();
    QString fehler() const { return m_fehler; }

private:
    int ausfuehren(const QString &programm, const QStringList &args, QString *ausgabe = nullptr);
    QTemporaryDir m_dir;
    QString m_bin;
    int m_port = 0;
    int m_nummer = 0;
    bool m_laeuft = false;
    QString m_fehler;
};

} // namespace archiv::test
