#include "support/ArchivServer.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include "support/PostgresCluster.h"

#include "common/Zugangsschluessel.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "server/Zugang.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <csignal>
#include <cstdlib>

#include <sys/prctl.h>

namespace archiv::test {

QString ArchivServer::programm()
{
    return qEnvironmentVariable("ARCHIVD_BIN", QStringLiteral("archivd"));
}

int ArchivServer::archivd(const QStringList &args, QString *ausgabe, int zeitMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(programm(), args);
    if (!p.waitForFinished(zeitMs)) {
        p.kill();
        p.waitForFinished();
        if (ausgabe)
            *ausgabe = QString::fromLocal8Bit(p.readAll()) + QStringLiteral("\n(timeout)");
        return -1;
    }
    if (ausgabe)
        *ausgabe = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

namespace {

// One cluster for all the PostgreSQL archives of a test program.
PostgresCluster *testCluster(QString *fehler)
{
    static PostgresCluster cluster;
    static const bool laeuft = cluster.starten();
    if (!laeuft) {
        *fehler = cluster.fehler();
        return nullptr;
    }
    return &cluster;
}

} // namespace

QString ArchivServer::leeresArchiv(const QString &sqlitePfad)
{
    if (!postgresGewuenscht())
        return sqlitePfad;
    QString fehler;
    PostgresCluster *c = testCluster(&fehler);
    return c ? c->neueDatenbank() : QString();
}

bool ArchivServer::postgresGewuenscht()
{
    return qEnvironmentVariable("ARCHIV_TEST_DB") == QLatin1String("postgres");
}

ArchivServer::ArchivServer(Inhalt inhalt, int demoBelege)
{
    if (!m_dir.isValid()) {
        m_fehler = QStringLiteral("kein temporäres Verzeichnis");
        return;
    }
    if (postgresGewuenscht()) {
        PostgresCluster *c = testCluster(&m_fehler);
        if (!c)
            return;
        m_url = c->neueDatenbank();
        if (m_url.isEmpty()) {
            m_fehler = c->fehler();
            return;
        }
    }
    QString ausgabe;
    const QStringList args = inhalt == Inhalt::Demo ? QStringList{"demo", "--db", dbPfad(), "--belege", QString::number(demoBelege)}
                                                    : QStringList{"init", "--db", dbPfad()};
    if (archivd(args, &ausgabe) != 0) {
        m_fehler = QStringLiteral("archivd %1: %2").arg(args.first(), ausgabe);
        return;
    }
    // The test enrolls as a workstation and has a WWS user of its own, as
    // an installation would.
    if (archivd({"client", "add", "test", "--db", dbPfad(), "--datei", m_dir.filePath(QStringLiteral("test.archivzugang"))}, &ausgabe) != 0 ||
        !common::Zugangsschluessel::lesen(schluesselAus(ausgabe))) {
        m_fehler = QStringLiteral("archivd client add: %1").arg(ausgabe);
        return;
    }
    m_zugang = schluesselAus(ausgabe);
    if (archivd({"user", "add", "1", TestBenutzer, "--name", "Test,Archiv", "--password", QString::fromUtf8(TestPasswort), "--db", dbPfad()},
                &ausgabe) != 0)
        m_fehler = QStringLiteral("archivd user add: %1").arg(ausgabe);
}

ArchivServer::~ArchivServer()
{
    stoppen();
    if (!m_gestartet || !m_nachpruefen || !m_vorhanden.isEmpty())
        return;
    QString ausgabe;
    if (archivd({"verify", "--db", dbPfad()}, &ausgabe, 300000) != 0) {
        // Said loudly, and the test program fails: something wrote past the trail.
        qCritical().noquote() << "ArchivServer: archivd verify found changes past the server:\n" << ausgabe.left(4000);
        if (qEnvironmentVariable("ARCHIV_TEST_NACHPRUEFUNG") != QLatin1String("warnen"))
            std::abort();
    }
}

std::unique_ptr<ArchivServer> ArchivServer::fuer(const QString &dbPfad)
{
    auto s = std::unique_ptr<ArchivServer>(new ArchivServer(Inhalt::Leer, 0));
    s->m_vorhanden = dbPfad;
    s->m_fehler.clear();
    QString ausgabe;
    archivd({"init", "--db", dbPfad}, &ausgabe);
    archivd({"client", "revoke", "test", "--db", dbPfad}, &ausgabe);
    if (archivd({"client", "add", "test", "--db", dbPfad, "--datei", s->m_dir.filePath(QStringLiteral("test.archivzugang"))}, &ausgabe) != 0)
        s->m_fehler = QStringLiteral("archivd client add: %1").arg(ausgabe);
    s->m_zugang = schluesselAus(ausgabe);
    archivd({"user", "add", "1", TestBenutzer, "--name", "Test,Archiv", "--password", QString::fromUtf8(TestPasswort), "--db", dbPfad},
            &ausgabe);
    return s;
}

bool ArchivServer::stammdaten(const QString &klasse, const QList<Stammsatz> &saetze, QString *fehler) const
{
    const auto feld = [](QString f) { return u'"' + f.replace(u'"', QStringLiteral("\"\"")) + u'"'; };
    for (qsizetype i = 0; i < saetze.size();) {
        const QStringList spalten = saetze.at(i).keys();
        QStringList kopf;
        for (const QString &sp : spalten)
            kopf << feld(sp);
        QString csv = kopf.join(u';') + u'\n';
        for (; i < saetze.size() && saetze.at(i).keys() == spalten; ++i) {
            QStringList zeile;
            for (const QString &wert : saetze.at(i))
                zeile << feld(wert);
            csv += zeile.join(u';') + u'\n';
        }
        QFile datei(m_dir.filePath(QStringLiteral("stammdaten.csv")));
        if (!datei.open(QIODevice::WriteOnly | QIODevice::Truncate) || datei.write(csv.toUtf8()) < 0)
            return false;
        datei.close();
        QString ausgabe;
        if (archivd({"import", klasse, datei.fileName(), "--db", dbPfad()}, &ausgabe) != 0) {
            if (fehler)
                *fehler = ausgabe;
            return false;
        }
    }
    return true;
}

QByteArray ArchivServer::zugangKopf() const
{
    const auto k = common::Zugangsschluessel::lesen(m_zugang);
    return "Bearer " + (k ? k->nachweis().toUtf8() : QByteArray());
}

bool ArchivServer::anmelden(const QString &firma)
{
    server::Verbindung wws;
    if (!wws.Connect(verbindungstext(QStringLiteral("TESSAM"))))
        return false;
    const QString id = firma + QStringLiteral("||") + QLatin1String(TestBenutzer);
    if (wws.OpenId(QStringLiteral("TS.ParPersEdv"), id).istLeer())
        archivd({"user", "add", firma, TestBenutzer, "--name", "Test,Archiv", "--password", QString::fromUtf8(TestPasswort), "--db", dbPfad()});
    server::Objekt benutzer = wws.OpenId(QStringLiteral("TS.ParPersEdv"), id);
    const bool ok =
        !benutzer.istLeer() && benutzer.call(QStringLiteral("PasswortPruefen"), {QString::fromUtf8(TestPasswort)}) == QLatin1String("1");
    if (ok)
        m_firma = firma;
    return ok;
}

std::optional<QVariant> ArchivServer::sqlite(const QString &sql) const
{
    return ausfuehren(sql, QString());
}

bool ArchivServer::datenbankErreichbar(bool ja) const
{
    if (!aufPostgres())
        return false;
    const QString name = QUrl(m_url).path().mid(1);
    if (!ausfuehren(QStringLiteral("ALTER DATABASE \"%1\" ALLOW_CONNECTIONS %2").arg(name, ja ? u"true" : u"false"), QStringLiteral("postgres")))
        return false;
    return ja
           || ausfuehren(QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = '%1'").arg(name),
                         QStringLiteral("postgres"))
                  .has_value();
}

std::optional<QVariant> ArchivServer::ausfuehren(const QString &sql, const QString &datenbank) const
{
    const QString name = QStringLiteral("blick");
    std::optional<QVariant> ergebnis;
    {
        QSqlDatabase db;
        if (aufPostgres()) {
            const QUrl url(m_url);
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(url.host());
            db.setPort(url.port(5432));
            db.setDatabaseName(datenbank.isEmpty() ? url.path().mid(1) : datenbank);
            db.setUserName(url.userName());
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(dbPfad());
        }
        QSqlQuery q(db);
        if (db.open() && q.exec(sql))
            ergebnis = q.next() ? q.value(0) : QVariant();
    }
    QSqlDatabase::removeDatabase(name);
    return ergebnis;
}

QString ArchivServer::dbPfad() const
{
    if (!m_vorhanden.isEmpty())
        return m_vorhanden;
    if (!m_url.isEmpty())
        return m_url;
    return m_dir.filePath(QStringLiteral("archiv.sqlite"));
}

QString ArchivServer::verbindungstext(const QString &ns) const
{
    return QStringLiteral("cn_iptcp:127.0.0.1[%1]:%2").arg(m_port).arg(ns);
}

bool ArchivServer::neustarten(const QStringList &weitereArgs)
{
    stoppen();
    m_festerPort = m_port;
    const bool ok = starten(weitereArgs);
    m_festerPort = 0;
    return ok;
}

bool ArchivServer::starten(const QStringList &weitereArgs)
{
    if (!m_fehler.isEmpty())
        return false;
    m_prozess = std::make_unique<QProcess>();
    m_prozess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that dies takes its server with it.
    m_prozess->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // The full-text readers only where a test asks for them: elsewhere they
    // would read every test's pages beside it.
    QStringList leser;
    if (!weitereArgs.contains(QStringLiteral("--ocr-threads")))
        leser << QStringLiteral("--ocr-threads") << QStringLiteral("0");
    m_prozess->start(programm(),
                     QStringList{"serve", "--db", dbPfad(), "--listen", QStringLiteral("127.0.0.1:%1").arg(m_festerPort)} + leser + weitereArgs);
    static const QRegularExpression zeile(QStringLiteral(R"(listening on 127\.0\.0\.1:(\d+))"));
    QString gelesen;
    QDeadlineTimer frist(30000);
    while (!frist.hasExpired()) {
        if (!m_prozess->waitForReadyRead(int(qMax<qint64>(1, frist.remainingTime()))))
            break;
        gelesen += QString::fromLocal8Bit(m_prozess->readAllStandardOutput());
        const auto m = zeile.match(gelesen);
        if (m.hasMatch()) {
            m_port = m.captured(1).toInt();
            server::setzeZugangFuer(QStringLiteral("127.0.0.1"), m_port, m_zugang);
            if (m_festerPort == 0 && !anmelden()) {
                m_fehler = QStringLiteral("Anmeldung des Testbenutzers am Server nicht möglich");
                return false;
            }
            m_gestartet = true;
            return true;
        }
    }
    m_fehler = QStringLiteral("archivd serve startet nicht: %1").arg(gelesen);
    return false;
}

int ArchivServer::stoppen()
{
    if (!m_prozess || m_prozess->state() == QProcess::NotRunning)
        return -1;
    m_prozess->terminate();
    if (!m_prozess->waitForFinished(10000)) {
        m_prozess->kill();
        m_prozess->waitForFinished();
        return -1;
    }
    return m_prozess->exitStatus() == QProcess::NormalExit ? m_prozess->exitCode() : -1;
}

qint64 ArchivServer::rssKiB(bool hoechststand) const
{
    if (!m_prozess || m_prozess->state() == QProcess::NotRunning)
        return 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(m_prozess->processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &zeile : status.readAll().split('\n'))
        if (zeile.startsWith(hoechststand ? "VmHWM:" : "VmRSS:"))
            return zeile.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

void ArchivServer::abschiessen()
{
    if (!m_prozess)
        return;
    m_prozess->kill();
    m_prozess->waitForFinished();
}

} // namespace archiv::test
