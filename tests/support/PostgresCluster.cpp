#include "support/PostgresCluster.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>

#include <unistd.h>

namespace archiv::test {

namespace {

QString binVerzeichnis()
{
    const QStringList versionen = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (auto it = versionen.crbegin(); it != versionen.crend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(*it);
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

} // namespace

PostgresCluster::PostgresCluster() : m_bin(binVerzeichnis())
{
}

PostgresCluster::~PostgresCluster()
{
    if (m_laeuft)
        ausfuehren(m_bin + QStringLiteral("/pg_ctl"), {"-D", m_dir.filePath("daten"), "-m", "immediate", "stop"});
}

bool PostgresCluster::installiert()
{
    return !binVerzeichnis().isEmpty();
}

int PostgresCluster::ausfuehren(const QString &programm, const QStringList &args, QString *ausgabe)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (::getuid() == 0)
        p.start(QStringLiteral("runuser"), QStringList{"-u", "postgres", "--", programm} + args);
    else
        p.start(programm, args);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (ausgabe)
        *ausgabe = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool PostgresCluster::starten()
{
    if (m_bin.isEmpty() || !m_dir.isValid()) {
        m_fehler = QStringLiteral("PostgreSQL ist nicht installiert");
        return false;
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7777));
    if (::getuid() == 0 && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres:postgres"), m_dir.path()}) != 0) {
        m_fehler = QStringLiteral("chown postgres: %1").arg(m_dir.path());
        return false;
    }
    QString ausgabe;
    if (ausfuehren(m_bin + QStringLiteral("/initdb"),
                   {"-D", m_dir.filePath("daten"), "--auth=trust", "-U", "postgres", "-E", "UTF8", "--no-sync"}, &ausgabe) != 0) {
        m_fehler = QStringLiteral("initdb: %1").arg(ausgabe);
        return false;
    }
    QTcpServer frei;
    frei.listen(QHostAddress::LocalHost);
    m_port = frei.serverPort();
    frei.close();
    const QString optionen = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off").arg(m_port).arg(m_dir.path());
    if (ausfuehren(m_bin + QStringLiteral("/pg_ctl"),
                   {"-D", m_dir.filePath("daten"), "-o", optionen, "-w", "-l", m_dir.filePath("log"), "start"}, &ausgabe) != 0) {
        m_fehler = QStringLiteral("pg_ctl start: %1").arg(ausgabe);
        return false;
    }
    m_laeuft = true;
    return true;
}

QString PostgresCluster::neueDatenbank()
{
    const QString name = QStringLiteral("archiv%1").arg(++m_nummer);
    QString ausgabe;
    if (ausfuehren(m_bin + QStringLiteral("/createdb"), {"-h", "127.0.0.1", "-p", QString::number(m_port), "-U", "postgres", name},
                   &ausgabe) != 0) {
        m_fehler = QStringLiteral("createdb: %1").arg(ausgabe);
        return {};
    }
    return QStringLiteral("postgresql://postgres@127.0.0.1:%1/%2").arg(m_port).arg(name);
}

} // namespace archiv::test
