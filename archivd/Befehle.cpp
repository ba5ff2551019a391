#include "Befehle.h"
#include "Posteingang.h"
#include "volltext/Volltext.h"

#include "Fehler.h"
#include "Konsole.h"
#include "Nachweis.h"
#include "Wiederherstellung.h"
#include "Passwort.h"
#include "Registry.h"
#include "Tls.h"
#include "Verwaltung.h"
#include "Zugang.h"
#include "common/Zugangsdatei.h"
#include "einvoice/Rechnungsleser.h"
#include "common/Zugangsschluessel.h"
#include "http/HttpServer.h"
#include "storage/Hochladungen.h"
#include "storage/ObjektSpeicher.h"
#include "storage/abfragen/Abfragen.h"
#include "model/Modell.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Verwaltungsspeicher.h"
#include "storage/Zugangsspeicher.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QThread>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTextStream>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <sys/resource.h>
#include <thread>

#include <malloc.h>
#include <pthread.h>
#include <pwd.h>
#include <unistd.h>

namespace archiv::archivd {

namespace {

const char *Uebersicht =
    "Aufruf: archivd BEFEHL [OPTIONEN]\n"
    "\n"
    "Der Archivserver: bedient die Namensräume TSARCHIV (Archiv) und TESSAM (WWS-Benutzer).\n"
    "\n"
    "Befehle:\n"
    "  serve    Server starten (Standard: archiv.sqlite, 127.0.0.1:1972)\n"
    "  init     leeres Archiv anlegen oder auf den neuesten Stand bringen\n"
    "  demo     Archiv mit Demodaten füllen\n"
    "  user     WWS-Benutzer verwalten (add, passwd, disable)\n"
    "  check    Archiv prüfen (Integrität der Datenbank)\n"
    "  import   Stammdaten aus einer CSV-Datei übernehmen\n"
    "  backup   festhalten, welche Belege eine Sicherungs-DVD enthält\n"
    "  client   Zugangsschlüssel der Arbeitsplätze verwalten (add, list, revoke)\n"
    "  audit    Protokoll der Änderungen ausgeben\n"
    "  rechnung elektronische Rechnungen lesen und zeigen, was in ihnen steht\n"
    "  eingang  Dateien eines Eingangsordners archivieren (E-Rechnungen, PDF, Bilder)\n"
    "  volltext Stand des Volltextindex, vorhandene Belege zum Lesen anstellen\n"
    "  verify   beweisen, dass nichts geändert wurde (Protokollkette, Dateien, Belege)\n"
    "  anker    das Ende der Protokollkette an eine Datei außerhalb des Archivs anhängen\n"
    "  export   Stammdaten in eine Datei schreiben (für restore)\n"
    "  restore  Archiv aus Sicherungsbänden wiederherstellen\n"
    "\n"
    "Jeder Befehl kennt --help.\n";

bool loopback(const QString &host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// "HOST:PORT" (an IPv6 address in brackets) as host and port; nullopt
// unless the port is a number from kleinsterPort to 65535.
std::optional<std::pair<QString, int>> hostUndPort(const QString &text, int kleinsterPort)
{
    const qsizetype doppelpunkt = text.lastIndexOf(u':');
    bool ok = false;
    const int port = doppelpunkt > 0 ? text.mid(doppelpunkt + 1).toInt(&ok) : 0;
    if (!ok || port < kleinsterPort || port > 65535)
        return std::nullopt;
    QString host = text.left(doppelpunkt);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    return std::pair{host, port};
}

// The TLS files serve uses: those given, else those beside the archive.
// Nullopt inside: plain HTTP, allowed on loopback or with --plain-http only.
// Nullopt outside: refused (the reason was printed).
std::optional<std::optional<TlsDateien>> tlsWaehlen(QCommandLineParser &p, const QString &host)
{
    if (p.isSet(QStringLiteral("plain-http"))) {
        if (!loopback(host))
            qWarning().noquote() << "archivd: WARNUNG: ohne TLS auf" << host << "- Dokumente und Passwörter gehen lesbar über das Netz";
        return std::optional<TlsDateien>();
    }
    if (p.isSet(QStringLiteral("cert")) != p.isSet(QStringLiteral("key"))) {
        err() << "archivd: --cert und --key gehören zusammen" << Qt::endl;
        return std::nullopt;
    }
    const TlsDateien dateien = p.isSet(QStringLiteral("cert")) ? TlsDateien{p.value(QStringLiteral("cert")), p.value(QStringLiteral("key"))}
                                                               : TlsDateien::nebenArchiv(p.value(QStringLiteral("db")));
    if (dateien.vorhanden())
        return std::optional<TlsDateien>(dateien);
    if (p.isSet(QStringLiteral("cert"))) {
        err() << "archivd: " << dateien.zertifikat << " oder " << dateien.schluessel << " fehlt" << Qt::endl;
        return std::nullopt;
    }
    if (!loopback(host)) {
        err() << "archivd: Kein Zertifikat (" << dateien.zertifikat << "): auf " << host
              << " wird nur mit TLS bedient. \"archivd init\" legt eines an; --plain-http erlaubt den Betrieb ohne." << Qt::endl;
        return std::nullopt;
    }
    return std::optional<TlsDateien>();
}

void serveOptionen(QCommandLineParser &p)
{
    p.addOption({QStringLiteral("listen"), QStringLiteral("Adresse und Port (Standard: 127.0.0.1:1972; Port 0 = frei wählen)."),
                 QStringLiteral("adresse:port"), QStringLiteral("127.0.0.1:1972")});
    p.addOption({QStringLiteral("idle-timeout"),
                 QStringLiteral("Sekunden, die eine ruhende Verbindung offen bleibt (Standard: 5); der Client verbindet sich danach neu."),
                 QStringLiteral("sekunden"), QString::number(HttpServer::Leerlauf)});
    p.addOption({QStringLiteral("header-timeout"),
                 QStringLiteral("Sekunden, in denen nach dem Verbindungsaufbau oder der letzten Antwort die Kopfzeilen der nächsten "
                                "Anfrage vollständig sein müssen (Standard: %1).")
                     .arg(HttpServer::Leerlauf + HttpServer::Lesefrist),
                 QStringLiteral("sekunden"), QString::number(HttpServer::Leerlauf + HttpServer::Lesefrist)});
    p.addOption({QStringLiteral("max-connections"),
                 QStringLiteral("Verbindungen, die zugleich offen sein dürfen; weitere werden sofort mit 503 abgewiesen (Standard: %1).")
                     .arg(HttpServer::MaxVerbindungen),
                 QStringLiteral("anzahl"), QString::number(HttpServer::MaxVerbindungen)});
    p.addOption({QStringLiteral("cert"),
                 QStringLiteral("TLS-Zertifikat (PEM); Standard: das von \"archivd init\" neben dem Archiv angelegte."),
                 QStringLiteral("datei")});
    p.addOption({QStringLiteral("key"), QStringLiteral("Privater Schlüssel zum Zertifikat (PEM)."), QStringLiteral("datei")});
    p.addOption({QStringLiteral("plain-http"),
                 QStringLiteral("Ohne TLS bedienen. Auf einer anderen Adresse als der eigenen (loopback) nur mit dieser Option; "
                                "Dokumente und Passwörter gehen dann lesbar über das Netz.")});
    p.addOption({QStringLiteral("max-connections-per-address"),
                 QStringLiteral("Verbindungen, die ein Rechner zugleich offen halten darf (Standard: ein Achtel von --max-connections, "
                                "mindestens 16); ein Terminalserver für viele Arbeitsplätze braucht mehr."),
                 QStringLiteral("anzahl")});
    p.addOption({QStringLiteral("upload-limit"),
                 QStringLiteral("MiB, die ein Arbeitsplatz hochgeladen haben darf, ohne sie in einem Beleg zu speichern (Standard: %1).")
                     .arg(Hochladungen::MaxOffenJePlatz / (1024 * 1024)),
                 QStringLiteral("mib"), QString::number(Hochladungen::MaxOffenJePlatz / (1024 * 1024))});
    p.addOption({QStringLiteral("job-idle"),
                 QStringLiteral("Sekunden, nach denen ein Vollständigkeitstest, nach dem niemand mehr fragt, beendet wird (Standard: %1).")
                     .arg(VollstaendigkeitVerwaist.count()),
                 QStringLiteral("sekunden"), QString::number(VollstaendigkeitVerwaist.count())});
    p.addOption({QStringLiteral("eingang"),
                 QStringLiteral("Ordner, dessen Dateien archiviert werden (E-Rechnungen als Belege, alles andere in den Scanspeicher); "
                                "ein Mailabholer, der Anhänge dort ablegt, ist der E-Mail-Eingang."),
                 QStringLiteral("ordner")});
    p.addOption({QStringLiteral("eingang-firma"), QStringLiteral("Firma, für die der Eingangsordner archiviert (Standard: 1)."),
                 QStringLiteral("firma"), QStringLiteral("1")});
    p.addOption({QStringLiteral("ocr-threads"),
                 QStringLiteral("Threads, die Dokumente für die Volltextsuche lesen (Standard: Kerne − 1, mindestens 1; 0 = dieser Server "
                                "liest nichts, etwa wenn eigene Lese-Server an derselben PostgreSQL-Datenbank arbeiten)."),
                 QStringLiteral("anzahl")});
    p.addOption({QStringLiteral("host-name"),
                 QStringLiteral("Weiterer Name, unter dem die Arbeitsplätze den Server erreichen (Host-Kopfzeile); mehrfach möglich."),
                 QStringLiteral("name")});
}

// The process as a server wants it: signals taken by a thread of their own
// and as many descriptors as allowed.
void prozessVorbereiten(sigset_t &signale)
{
    // SIGINT and SIGTERM are taken by a thread of their own, so the server
    // stops cleanly between requests.
    sigemptyset(&signale);
    sigaddset(&signale, SIGINT);
    sigaddset(&signale, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signale, nullptr);
    // A workstation that goes away while TLS writes to it must not end
    // the server.
    ::signal(SIGPIPE, SIG_IGN);

    // Every workstation keeps a connection open: take as many descriptors
    // as the system allows this process.
    rlimit grenze{};
    if (getrlimit(RLIMIT_NOFILE, &grenze) == 0 && grenze.rlim_cur < grenze.rlim_max) {
        grenze.rlim_cur = grenze.rlim_max;
        setrlimit(RLIMIT_NOFILE, &grenze);
    }

}

// The limits of the command line set on the server; false, after saying
// which one is wrong.
bool grenzenSetzen(const QCommandLineParser &p, HttpServer &server)
{
    bool ok = false;
    server.setzeHostnamen(p.values(QStringLiteral("host-name")));
    const int leerlauf = p.value(QStringLiteral("idle-timeout")).toInt(&ok);
    if (!ok || leerlauf < 1) {
        err() << "archivd: --idle-timeout erwartet Sekunden" << Qt::endl;
        return false;
    }
    server.setzeLeerlauf(leerlauf);
    const int kopffrist = p.value(QStringLiteral("header-timeout")).toInt(&ok);
    if (!ok || kopffrist < 1) {
        err() << "archivd: --header-timeout erwartet Sekunden" << Qt::endl;
        return false;
    }
    server.setzeKopffrist(kopffrist);
    const int verbindungen = p.value(QStringLiteral("max-connections")).toInt(&ok);
    if (!ok || verbindungen < 1 || verbindungen > 10000) {
        err() << "archivd: --max-connections erwartet eine Anzahl von 1 bis 10000" << Qt::endl;
        return false;
    }
    int jeAdresse = 0;
    if (p.isSet(QStringLiteral("max-connections-per-address"))) {
        jeAdresse = p.value(QStringLiteral("max-connections-per-address")).toInt(&ok);
        if (!ok || jeAdresse < 1 || jeAdresse > verbindungen) {
            err() << "archivd: --max-connections-per-address erwartet eine Anzahl von 1 bis --max-connections" << Qt::endl;
            return false;
        }
    }
    server.setzeMaxVerbindungen(verbindungen, jeAdresse);
    const double hochladegrenze = p.value(QStringLiteral("upload-limit")).toDouble(&ok);
    if (!ok || hochladegrenze <= 0) {
        err() << "archivd: --upload-limit erwartet MiB" << Qt::endl;
        return false;
    }
    server.setzeHochladegrenze(qint64(hochladegrenze * 1024 * 1024));
    const int verwaist = p.value(QStringLiteral("job-idle")).toInt(&ok);
    if (!ok || verwaist < 1) {
        err() << "archivd: --job-idle erwartet Sekunden" << Qt::endl;
        return false;
    }
    setzeVollstaendigkeitVerwaist(std::chrono::seconds(verwaist));
    return true;
}

// Housekeeping beside the server while it runs: freed memory handed back to
// the system every minute (after a busy hour the threads' free lists would
// otherwise keep it), and uploads that no save took within a day removed
// once an hour. Stops and joins when it goes.
class Hausmeister
{
public:
    explicit Hausmeister(Datenbank &db)
        : m_db(db)
        , m_thread([this] { arbeiten(); })
    {
    }
    ~Hausmeister()
    {
        {
            std::lock_guard sperre(m_mutex);
            m_beendet = true;
        }
        m_ende.notify_all();
        m_thread.join();
    }

private:
    void arbeiten()
    {
        std::unique_lock sperre(m_mutex);
        auto naechstesAufraeumen = std::chrono::steady_clock::now() + std::chrono::hours(1);
        while (!m_ende.wait_for(sperre, std::chrono::minutes(1), [this] { return m_beendet; })) {
            sperre.unlock();
            malloc_trim(0);
            if (std::chrono::steady_clock::now() >= naechstesAufraeumen) {
                naechstesAufraeumen += std::chrono::hours(1);
                hochladungenAufraeumen();
            }
            sperre.lock();
        }
    }

    void hochladungenAufraeumen()
    {
        try {
            Datenbank::Ausleihe verbindung(m_db);
            ObjektSpeicher objekte(m_db);
            Anfragekontext::fuerBefehl();
            if (const int n = Hochladungen(m_db).aufraeumen(objekte); n > 0)
                aus() << "archivd: " << n << " nie gespeicherte Hochladungen entfernt" << Qt::endl;
        } catch (const std::exception &e) {
            qWarning().noquote() << "archivd: Aufräumen der Hochladungen:" << e.what();
        }
    }

    Datenbank &m_db;
    std::mutex m_mutex;
    std::condition_variable m_ende;
    bool m_beendet = false;
    std::thread m_thread; // last: starts when everything above is there
};

// The intake folder beside the server: looked at every two seconds, a file
// taken once it stayed unchanged between two looks. Stops and joins when it goes.
class Eingangswache
{
public:
    Eingangswache(Datenbank &db, const QString &ordner, qint64 firma)
        : m_ordner(db, ordner, firma)
        , m_thread([this] { arbeiten(); })
    {
    }
    ~Eingangswache()
    {
        {
            std::lock_guard sperre(m_mutex);
            m_beendet = true;
        }
        m_ende.notify_all();
        m_thread.join();
    }

private:
    void arbeiten()
    {
        std::unique_lock sperre(m_mutex);
        while (!m_ende.wait_for(sperre, std::chrono::seconds(2), [this] { return m_beendet; })) {
            sperre.unlock();
            const posteingang::Eingangsordner::Stand s = m_ordner.durchgang();
            if (s.belege + s.scanspeicher + s.abgelehnt > 0)
                aus() << "archivd: Posteingang: " << s.belege << " Belege, " << s.scanspeicher << " in den Scanspeicher, " << s.abgelehnt
                      << " abgelehnt" << Qt::endl;
            sperre.lock();
        }
    }

    posteingang::Eingangsordner m_ordner;
    std::mutex m_mutex;
    std::condition_variable m_ende;
    bool m_beendet = false;
    std::thread m_thread; // last: starts when everything above is there
};

int serve(const QStringList &args)
{
    QCommandLineParser p;
    serveOptionen(p);
    if (!befehlAuswerten(p, args, QStringLiteral("Startet den Archivserver.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    const QString listen = p.value(QStringLiteral("listen"));
    const auto adresse = hostUndPort(listen, 0);
    if (!adresse) {
        err() << "archivd: --listen erwartet ADRESSE:PORT, nicht \"" << listen << "\"" << Qt::endl;
        return 2;
    }
    const auto &[host, port] = *adresse;

    sigset_t signale;
    prozessVorbereiten(signale);
    const auto tls = tlsWaehlen(p, host);
    if (!tls)
        return 2;
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    HttpServer server(*db, Registry::standard(), *tls);
    if (!server.gueltig()) {
        err() << "archivd: Zertifikat " << (*tls)->zertifikat << " oder Schlüssel " << (*tls)->schluessel << " lässt sich nicht laden"
              << Qt::endl;
        return 1;
    }
    if (!grenzenSetzen(p, server))
        return 2;
    const int gebunden = server.binden(host, port);
    if (gebunden < 0) {
        err() << "archivd: " << listen << " ist nicht verfügbar" << Qt::endl;
        return 1;
    }
    std::thread waechter([&server, signale] {
        int signal = 0;
        sigwait(&signale, &signal);
        server.stoppen();
    });
    waechter.detach();
    std::optional<qint64> eingangFirma;
    if (p.isSet(QStringLiteral("eingang"))) {
        bool ok = false;
        eingangFirma = p.value(QStringLiteral("eingang-firma")).toLongLong(&ok);
        if (!ok || *eingangFirma <= 0 || !QDir(p.value(QStringLiteral("eingang"))).exists()) {
            err() << "archivd: --eingang erwartet einen vorhandenen Ordner, --eingang-firma eine Firmennummer" << Qt::endl;
            return 2;
        }
    }
    {
        Hausmeister hausmeister(*db);
        int leser = qMax(1, QThread::idealThreadCount() - 1);
        if (p.isSet(QStringLiteral("ocr-threads"))) {
            bool ok = false;
            leser = p.value(QStringLiteral("ocr-threads")).toInt(&ok);
            if (!ok || leser < 0 || leser > 64) {
                err() << "archivd: --ocr-threads erwartet eine Anzahl von 0 bis 64" << Qt::endl;
                return 2;
            }
        }
        std::optional<volltext::Leser> volltextLeser;
        if (leser > 0)
            volltextLeser.emplace(*db, leser, QCoreApplication::applicationFilePath());
        std::optional<Eingangswache> eingang;
        if (eingangFirma) {
            eingang.emplace(*db, p.value(QStringLiteral("eingang")), *eingangFirma);
            aus() << "archivd: Posteingang " << QDir(p.value(QStringLiteral("eingang"))).absolutePath() << " für Firma " << *eingangFirma
                  << Qt::endl;
        }
        aus() << "archivd: listening on " << host << ':' << gebunden << " (" << db->beschreibung() << ", "
              << (server.mitTls() ? QStringLiteral("TLS") : QStringLiteral("ohne TLS")) << ")" << Qt::endl;
        server.laufen();
        // The jobs use the database: they stop before it goes.
        vollstaendigkeitstestsBeenden();
    }
    aus() << "archivd: stopped" << Qt::endl;
    return 0;
}

} // namespace

// The archive's own certificate, made once: for this machine's name and
// its addresses, so that the workstations reach it by any of them.
bool zertifikatSicherstellen(const QString &ort)
{
    const TlsDateien dateien = TlsDateien::nebenArchiv(ort);
    if (dateien.vorhanden())
        return true;
    QStringList namen{QHostInfo::localHostName(), QStringLiteral("localhost")};
    for (QHostAddress a : QNetworkInterface::allAddresses()) {
        a.setScopeId(QString());
        namen << a.toString();
    }
    namen.removeAll(QString());
    namen.removeDuplicates();
    QString fehler;
    if (!zertifikatAnlegen(dateien, namen, &fehler)) {
        err() << "archivd: " << fehler << Qt::endl;
        return false;
    }
    aus() << "archivd: TLS-Zertifikat " << dateien.zertifikat << " angelegt (SHA-256 "
          << fingerabdruck(dateien.zertifikat).value_or(QString()) << ")" << Qt::endl;
    return true;
}

namespace {

int init(const QStringList &args)
{
    QCommandLineParser p;
    if (!befehlAuswerten(p, args, QStringLiteral("Legt ein leeres Archiv an oder bringt sein Schema auf den neuesten Stand.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    aus() << "archivd: Archiv " << db->beschreibung() << " hat Schema-Version " << db->schemaVersion() << Qt::endl;
    if (!zertifikatSicherstellen(p.value(QStringLiteral("db"))))
        return 1;
    // A new archive (a first start of the service): how the first
    // workstation gets in, where the administrator will look for it.
    // Run by a service's own user, the line names it: the archive's files
    // must stay that user's.
    if (Zugangsspeicher(*db).liste().isEmpty()) {
        const passwd *benutzer = ::geteuid() != 0 ? ::getpwuid(::geteuid()) : nullptr;
        const QString als = benutzer ? QStringLiteral("sudo -u %1 ").arg(QString::fromLocal8Bit(benutzer->pw_name)) : QString();
        aus() << "archivd: noch kein Arbeitsplatz aufgenommen. Einen aufnehmen: " << als << "archivd client add NAME --adresse HOST:PORT --db "
              << p.value(QStringLiteral("db")) << "; der ausgegebene Zugangsschlüssel kommt in die Servereinstellungen des Arbeitsplatzes."
              << Qt::endl;
    }
    return 0;
}

int check(const QStringList &args)
{
    QCommandLineParser p;
    p.addOption({QStringLiteral("aufraeumen"),
                 QStringLiteral("Entfernt vorher die Hochladungen, die seit mehr als einem Tag in keinem Beleg gespeichert sind (das tut "
                                "der laufende Server sonst stündlich).")});
    if (!befehlAuswerten(p, args, QStringLiteral("Prüft die Integrität des Archivs.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    auto db = Datenbank::oeffnen(p.value(QStringLiteral("db")));
    if (p.isSet(QStringLiteral("aufraeumen"))) {
        Datenbank::Ausleihe verbindung(*db);
        ObjektSpeicher objekte(*db);
        Anfragekontext::fuerBefehl();
        aus() << Hochladungen(*db).aufraeumen(objekte) << " nie gespeicherte Hochladungen entfernt" << Qt::endl;
    }
    QString bericht;
    const bool ok = db->pruefeIntegritaet(&bericht);
    aus() << bericht << Qt::endl;
    Datenbank::Ausleihe verbindung(*db);
    const QList<Hochladungen::Liegengeblieben> liegen = Hochladungen(*db).liegengeblieben();
    if (!liegen.isEmpty()) {
        qint64 bytes = 0;
        for (const auto &l : liegen)
            bytes += l.groesse;
        aus() << liegen.size() << " Hochladungen (" << bytes << " Bytes) sind seit mehr als einem Tag in keinem Beleg gespeichert; "
              << "der laufende Server entfernt sie." << Qt::endl;
        for (const auto &l : liegen.mid(0, 20))
            aus() << "  " << l.blob << "  " << l.arbeitsplatz << "  " << l.zeit << "  " << l.groesse << " Bytes" << Qt::endl;
    }
    return ok ? 0 : 1;
}

int demo(const QStringList &args)
{
    // The demo generator draws pages with the imaging library, which needs
    // Qt Gui; it is a program of its own so the server stays free of it.
    const QString programm = QCoreApplication::applicationDirPath() + QStringLiteral("/archivd-demo");
    if (!QFileInfo(programm).isExecutable()) {
        err() << "archivd: " << programm << " fehlt" << Qt::endl;
        return 1;
    }
    std::vector<QByteArray> teile;
    teile.push_back(QFile::encodeName(programm));
    for (const QString &a : args.mid(1))
        teile.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &t : teile)
        argv.push_back(t.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    err() << "archivd: " << programm << " lässt sich nicht starten" << Qt::endl;
    return 1;
}

QString passwortLesen(QCommandLineParser &p)
{
    if (p.isSet(QStringLiteral("password")))
        return p.value(QStringLiteral("password"));
    // One line from standard input, without its line end; blanks are kept.
    QTextStream ein(stdin);
    return ein.readLine();
}

int user(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("aktion"), QStringLiteral("add, passwd oder disable"));
    p.addPositionalArgument(QStringLiteral("firma"), QStringLiteral("Firmennummer"));
    p.addPositionalArgument(QStringLiteral("code"), QStringLiteral("WWS-Personalcode"));
    p.addOption({QStringLiteral("name"), QStringLiteral("Name in der Form \"Nachname,Vorname\" (add)."), QStringLiteral("name")});
    p.addOption({QStringLiteral("password"),
                 QStringLiteral("Passwort (add, passwd); ohne diese Option wird eine Zeile von der Standardeingabe gelesen."),
                 QStringLiteral("passwort")});
    if (!befehlAuswerten(p, args, QStringLiteral("Verwaltet die WWS-Benutzer, die speichern dürfen.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 3 || !QStringList{"add", "passwd", "disable"}.contains(pos.at(0))) {
        err() << "archivd user: erwartet add|passwd|disable FIRMA CODE" << Qt::endl;
        return 2;
    }
    const std::optional<QString> normiert = benutzerId(pos.at(1) + QStringLiteral("||") + pos.at(2));
    if (!normiert) {
        err() << "archivd user: \"" << pos.at(1) << "\" \"" << pos.at(2) << "\" ist keine Firmennummer mit Personalcode" << Qt::endl;
        return 2;
    }
    const QString id = *normiert;
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    const Klasse &k = *Modell::instanz().klasse(QStringLiteral("TS.ParPersEdv"));
    ObjektSpeicher objekte(*db);
    Verwaltungsspeicher verwaltung(*db);
    Transaktion t(*db);
    const auto zeile = objekte.zeile(k, id);
    if (pos.at(0) == QLatin1String("add")) {
        if (zeile) {
            err() << "archivd user: Benutzer " << id << " gibt es schon" << Qt::endl;
            return 1;
        }
        protokoll::SpeicherAnfrage a;
        a.props = {{"Firma", id.section(QStringLiteral("||"), 0, 0)},
                   {"Pcode", id.section(QStringLiteral("||"), 1)},
                   {"pname", p.value(QStringLiteral("name"))},
                   {"aktiv", "J"}};
        const QString neu = objekte.speichernInTransaktion(k, QString(), a).id;
        verwaltung.passwortSetzen(*objekte.zeile(k, neu), passwortHash(passwortLesen(p)));
    } else if (!zeile) {
        err() << "archivd user: Benutzer " << id << " gibt es nicht" << Qt::endl;
        return 1;
    } else if (pos.at(0) == QLatin1String("passwd")) {
        verwaltung.passwortSetzen(*zeile, passwortHash(passwortLesen(p)));
        // What the old password opened ends with it.
        Sitzungen::beenden(*db, id);
    } else {
        verwaltung.benutzerDeaktivieren(*zeile);
        Sitzungen::beenden(*db, id);
    }
    Anfragekontext::fuerBefehl();
    objekte.vermerken(k, id, QStringLiteral("user ") + pos.at(0), 0, 0, {});
    t.bestaetigen();
    aus() << "archivd user: " << pos.at(0) << ' ' << id << " erledigt" << Qt::endl;
    return 0;
}

struct Zugangsdateiangaben
{
    QString adresse;
    QString port;
    QString pfad;
};

// Where "client add" writes the enrolment file and which address it names;
// nullopt, after saying why, for an address that is not HOST:PORT.
std::optional<Zugangsdateiangaben> zugangsdateiAngaben(const QCommandLineParser &p, const QString &name)
{
    Zugangsdateiangaben a{QHostInfo::localHostName(), QStringLiteral("1972"), name + QLatin1String(common::Zugangsdatei::Endung)};
    if (p.isSet(QStringLiteral("datei")))
        a.pfad = p.value(QStringLiteral("datei"));
    if (!p.isSet(QStringLiteral("adresse")))
        return a;
    const QString wert = p.value(QStringLiteral("adresse"));
    const auto adresse = hostUndPort(wert, 1);
    if (!adresse || adresse->first.isEmpty()) {
        err() << "archivd client: --adresse erwartet HOST:PORT, nicht \"" << wert << "\"" << Qt::endl;
        return std::nullopt;
    }
    a.adresse = adresse->first;
    a.port = QString::number(adresse->second);
    return a;
}

int client(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("aktion"), QStringLiteral("add, list oder revoke"));
    p.addPositionalArgument(QStringLiteral("name"), QStringLiteral("Name des Arbeitsplatzes (add, revoke)"));
    p.addOption(
        {QStringLiteral("cert"), QStringLiteral("Zertifikat des Servers, falls nicht das neben dem Archiv."), QStringLiteral("datei")});
    p.addOption({QStringLiteral("adresse"),
                 QStringLiteral("add: Adresse und Port, unter denen der Arbeitsplatz den Server erreicht, für die Zugangsdatei "
                                "(Standard: der Name dieses Rechners und Port 1972)."),
                 QStringLiteral("host:port")});
    p.addOption({QStringLiteral("datei"),
                 QStringLiteral("add: wohin die Zugangsdatei geschrieben wird (Standard: NAME.archivzugang im aktuellen Ordner)."),
                 QStringLiteral("pfad")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Verwaltet die Zugangsschlüssel der Arbeitsplätze. \"add\" gibt den Schlüssel einmal aus und "
                                        "schreibt ihn mit der Adresse des Servers in eine Zugangsdatei (nur für den Eigentümer lesbar), "
                                        "die der Arbeitsplatz übernimmt; der Server behält nur seinen Hash.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    const QStringList pos = p.positionalArguments();
    const QString aktion = pos.value(0);
    if (!(aktion == QLatin1String("list") && pos.size() == 1) &&
        !((aktion == QLatin1String("add") || aktion == QLatin1String("revoke")) && pos.size() == 2)) {
        err() << "archivd client: erwartet add NAME, list oder revoke NAME" << Qt::endl;
        return 2;
    }
    const QString name = pos.value(1);
    if (!name.isEmpty() && !common::Zugangsschluessel::nameGueltig(name)) {
        err() << "archivd client: \"" << name << "\" ist kein Name für einen Arbeitsplatz (Buchstaben A-Z, Ziffern, - und _, höchstens 40)"
              << Qt::endl;
        return 2;
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    Zugangsspeicher zugang(*db);
    const auto vermerken = [&zugang, &name](const QString &was) {
        Anfragekontext::fuerBefehl();
        zugang.vermerken(
            {{}, QStringLiteral("archivd"), Anfragekontext::aktuell().benutzer, QStringLiteral("Arbeitsplatz"), name, was, 0, 0, {}});
    };
    if (aktion == QLatin1String("list")) {
        for (const auto &a : zugang.liste())
            aus() << a.name << '\t' << a.angelegt << '\t'
                  << (a.widerrufen.isEmpty() ? QStringLiteral("gültig") : QStringLiteral("widerrufen ") + a.widerrufen) << Qt::endl;
        return 0;
    }
    if (aktion == QLatin1String("revoke")) {
        Transaktion t(*db);
        if (!zugang.widerrufen(name)) {
            err() << "archivd client: \"" << name << "\" hat keinen gültigen Schlüssel" << Qt::endl;
            return 1;
        }
        vermerken(QStringLiteral("widerrufen"));
        t.bestaetigen();
        aus() << "archivd client: Schlüssel von " << name << " widerrufen" << Qt::endl;
        return 0;
    }
    const auto datei = zugangsdateiAngaben(p, name);
    if (!datei)
        return 2;
    const QString zertifikat = p.isSet(QStringLiteral("cert")) ? p.value(QStringLiteral("cert"))
                                                               : TlsDateien::nebenArchiv(p.value(QStringLiteral("db"))).zertifikat;
    const std::optional<QString> abdruck = fingerabdruck(zertifikat);
    if (!abdruck) {
        err() << "archivd client: " << zertifikat << " ist kein Zertifikat (\"archivd init\" legt eines an)" << Qt::endl;
        return 1;
    }
    const common::Zugangsschluessel schluessel{name, neuesGeheimnis(), *abdruck};
    Transaktion t(*db);
    if (!zugang.anlegen(name, geheimnisHash(schluessel.geheimnis), *abdruck)) {
        err() << "archivd client: \"" << name << "\" hat schon einen gültigen Schlüssel (erst revoke)" << Qt::endl;
        return 1;
    }
    vermerken(QStringLiteral("angelegt"));
    t.bestaetigen();
    aus() << schluessel.text() << Qt::endl;
    common::Zugangsdatei zugangsdatei{datei->adresse, datei->port, schluessel};
    QString fehler;
    if (!zugangsdatei.schreiben(datei->pfad, &fehler)) {
        err() << "archivd client: " << fehler << "; der Schlüssel oben gilt trotzdem." << Qt::endl;
        return 1;
    }
    err() << "archivd client: Zugangsdatei " << datei->pfad << " geschrieben (" << datei->adresse << ':' << datei->port
          << "); sie enthält den Schlüssel: nur dem Arbeitsplatz geben." << Qt::endl;
    return 0;
}

int audit(const QStringList &args)
{
    QCommandLineParser p;
    p.addOption({QStringLiteral("beleg"), QStringLiteral("Nur die Änderungen dieses Belegs (Id)."), QStringLiteral("id")});
    p.addOption({QStringLiteral("seit"), QStringLiteral("Ab diesem Tag (JJJJ-MM-TT)."), QStringLiteral("datum")});
    p.addOption({QStringLiteral("json"), QStringLiteral("Ein JSON-Objekt je Zeile statt durch Tabulatoren getrennter Felder.")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Gibt das Protokoll der Änderungen aus: Zeit (UTC), Arbeitsplatz, Benutzer, Klasse, Id, Aktion, "
                                        "Version, Beleg, Dateien (SHA-256).")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    qint64 beleg = 0;
    if (p.isSet(QStringLiteral("beleg"))) {
        bool ok = false;
        beleg = p.value(QStringLiteral("beleg")).toLongLong(&ok);
        if (!ok || beleg <= 0) {
            err() << "archivd audit: --beleg erwartet die Id eines Belegs" << Qt::endl;
            return 2;
        }
    }
    QString seit;
    if (p.isSet(QStringLiteral("seit"))) {
        const QDate tag = QDate::fromString(p.value(QStringLiteral("seit")), Qt::ISODate);
        if (!tag.isValid()) {
            err() << "archivd audit: --seit erwartet ein Datum JJJJ-MM-TT" << Qt::endl;
            return 2;
        }
        seit = tag.toString(Qt::ISODate);
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    const bool json = p.isSet(QStringLiteral("json"));
    for (const auto &e : Zugangsspeicher(*db).protokoll(beleg, seit)) {
        if (json) {
            const QJsonObject o{{"zeit", e.zeit},          {"arbeitsplatz", e.arbeitsplatz},
                                {"benutzer", e.benutzer},  {"klasse", e.klasse},
                                {"objekt", e.objekt},      {"aktion", e.aktion},
                                {"version", e.version},    {"beleg", e.beleg > 0 ? QJsonValue(e.beleg) : QJsonValue()},
                                {"dateien", QJsonArray::fromStringList(e.dateien)}};
            aus() << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) << Qt::endl;
            continue;
        }
        // Whatever a field holds, an entry is one line.
        const auto feld = [](const QString &t) { return steuerzeichenMaskiert(t, false); };
        aus() << feld(e.zeit) << '\t' << feld(e.arbeitsplatz) << '\t' << (e.benutzer.isEmpty() ? QStringLiteral("-") : feld(e.benutzer)) << '\t'
              << feld(e.klasse) << '\t' << feld(e.objekt) << '\t' << feld(e.aktion) << '\t' << e.version << '\t'
              << (e.beleg > 0 ? QString::number(e.beleg) : QStringLiteral("-")) << '\t'
              << (e.dateien.isEmpty() ? QStringLiteral("-") : feld(e.dateien.join(u' '))) << Qt::endl;
    }
    return 0;
}

// What the e-invoice reader makes of each file, one JSON object a line,
// without archiving anything. Exit code 1 when a file could not be read.
int eingang(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("ordner"), QStringLiteral("Eingangsordner"), QStringLiteral("ORDNER"));
    p.addOption({QStringLiteral("firma"), QStringLiteral("Firma, für die archiviert wird (Standard: 1)."), QStringLiteral("firma"),
                 QStringLiteral("1")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Archiviert einmal, was im Eingangsordner liegt: E-Rechnungen, deren Lieferant bekannt ist, als "
                                        "Belege, alles andere in den Scanspeicher. Archivierte Dateien kommen nach ORDNER/archiviert, "
                                        "abgelehnte mit einer Begründung nach ORDNER/abgelehnt; gelöscht wird nichts.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    bool ok = false;
    const qint64 firma = p.value(QStringLiteral("firma")).toLongLong(&ok);
    if (p.positionalArguments().size() != 1 || !QDir(p.positionalArguments().constFirst()).exists() || !ok || firma <= 0) {
        err() << "archivd eingang: erwartet einen vorhandenen ORDNER und --firma mit einer Firmennummer" << Qt::endl;
        return 2;
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    if (db->wert(QStringLiteral("SELECT count(*) FROM ar_firma WHERE firma = ?"), {firma}).toLongLong() == 0) {
        err() << "archivd eingang: die Firma " << firma << " gibt es im Archiv nicht" << Qt::endl;
        return 2;
    }
    posteingang::Eingangsordner ordner(*db, p.positionalArguments().constFirst(), firma);
    // The first look notes sizes; a file still growing a second later waits.
    ordner.durchgang();
    QThread::sleep(1);
    const posteingang::Eingangsordner::Stand s = ordner.durchgang();
    aus() << "archivd eingang: " << s.belege << " Belege, " << s.scanspeicher << " in den Scanspeicher, " << s.abgelehnt << " abgelehnt";
    if (s.wartend > 0)
        aus() << ", " << s.wartend << " werden noch geschrieben";
    if (s.fehler > 0)
        aus() << ", " << s.fehler << " mit Fehlern (bleiben liegen)";
    aus() << Qt::endl;
    return s.fehler > 0 ? 1 : 0;
}

namespace {

QString dauer(qint64 sekunden)
{
    if (sekunden < 0)
        return QStringLiteral("unbekannt");
    if (sekunden < 120)
        return QStringLiteral("%1 s").arg(sekunden);
    if (sekunden < 2 * 3600)
        return QStringLiteral("%1 min").arg(sekunden / 60);
    return QStringLiteral("%1 h %2 min").arg(sekunden / 3600).arg(sekunden / 60 % 60);
}

void standZeigen(const volltext::Stand &s)
{
    aus() << "wartend: " << s.offen << "\nin Arbeit: " << s.laufend << "\ngelesen: " << s.fertig << "\nnicht lesbar: " << s.fehler
          << "\nSeiten/s (letzte Stunde): " << QString::number(s.seitenJeSekunde, 'f', 2);
    if (s.offen + s.laufend > 0)
        aus() << "\nnoch etwa: " << dauer(s.restSekunden());
    aus() << Qt::endl;
}

// Until nothing waits: how far the readers are, as a progress line.
void folgen(Datenbank &db)
{
    Fortschrittszeile zeile;
    const volltext::Stand anfang = volltext::stand(db);
    for (;;) {
        const volltext::Stand s = volltext::stand(db);
        const qint64 gesamt = s.offen + s.laufend + s.fertig + s.fehler - anfang.fertig - anfang.fehler;
        const qint64 erledigt = s.fertig + s.fehler - anfang.fertig - anfang.fehler;
        if (s.offen + s.laufend == 0)
            break;
        zeile.zeigen(QStringLiteral("gelesen %1 von %2 (%3 %), nicht lesbar %4, %5 Seiten/s, noch etwa %6%7")
                         .arg(erledigt)
                         .arg(gesamt)
                         .arg(gesamt > 0 ? erledigt * 100 / gesamt : 100)
                         .arg(s.fehler - anfang.fehler)
                         .arg(s.seitenJeSekunde, 0, 'f', 1)
                         .arg(dauer(s.restSekunden()),
                              s.laufend == 0 ? QStringLiteral(" (gerade liest kein Server: archivd serve --ocr-threads N)") : QString()));
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
}

} // namespace

// "archivd volltext status [--folgen]" and "archivd volltext neu [--firma F]
// [--seit DATUM] [--folgen]".
int volltextBefehl(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("aktion"), QStringLiteral("status oder neu"), QStringLiteral("status|neu"));
    p.addOption({QStringLiteral("firma"), QStringLiteral("nur die Belege dieser Firma (neu)"), QStringLiteral("firma")});
    p.addOption({QStringLiteral("seit"), QStringLiteral("nur Belege ab diesem Belegdatum, YYYY-MM-DD (neu)"), QStringLiteral("datum")});
    p.addOption({QStringLiteral("folgen"), QStringLiteral("warten, bis nichts mehr wartet, mit einer Fortschrittszeile auf dem Terminal")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Der Volltextindex: \"status\" zeigt, wie viele Dokumente warten, gelesen sind oder sich nicht "
                                        "lesen ließen; \"neu\" stellt die Dokumente vorhandener Belege zum Lesen an. Gelesen wird von "
                                        "den Servern (archivd serve --ocr-threads N).")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    const QString aktion = p.positionalArguments().value(0);
    if (p.positionalArguments().size() != 1 || (aktion != QLatin1String("status") && aktion != QLatin1String("neu"))) {
        err() << "archivd volltext: erwartet status oder neu" << Qt::endl;
        return 2;
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    if (aktion == QLatin1String("neu")) {
        std::optional<qint64> firma;
        if (p.isSet(QStringLiteral("firma"))) {
            bool ok = false;
            firma = p.value(QStringLiteral("firma")).toLongLong(&ok);
            if (!ok) {
                err() << "archivd volltext neu: --firma erwartet eine Firmennummer" << Qt::endl;
                return 2;
            }
        }
        const QString seit = p.value(QStringLiteral("seit"));
        if (!seit.isEmpty() && !QDate::fromString(seit, Qt::ISODate).isValid()) {
            err() << "archivd volltext neu: --seit erwartet YYYY-MM-DD" << Qt::endl;
            return 2;
        }
        aus() << "archivd volltext: " << volltext::bestandVormerken(*db, firma, seit) << " Dokumente zum Lesen angestellt" << Qt::endl;
    }
    if (p.isSet(QStringLiteral("folgen")))
        folgen(*db);
    if (aktion == QLatin1String("status") || p.isSet(QStringLiteral("folgen")))
        standZeigen(volltext::stand(*db));
    return 0;
}

int rechnung(const QStringList &args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Liest elektronische Rechnungen (XRechnung UBL und CII, ZUGFeRD, Factur-X) und gibt je Datei "
                                               "ein JSON-Objekt aus: Art, Profil, Nummer, Datum, Rechnungsart, Währung, Verkäufer, "
                                               "Beträge und die Befunde der Prüfung. Archiviert nichts."));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("datei"), QStringLiteral("Rechnungsdateien (XML oder PDF)."), QStringLiteral("DATEI…"));
    if (!p.parse(args)) {
        err() << p.errorText() << Qt::endl;
        return 2;
    }
    if (p.isSet(QStringLiteral("help"))) {
        aus() << p.helpText() << Qt::flush;
        return 0;
    }
    if (p.positionalArguments().isEmpty()) {
        err() << "archivd rechnung: keine Datei angegeben" << Qt::endl;
        return 2;
    }
    int ergebnis = 0;
    for (const QString &pfad : p.positionalArguments()) {
        QFile f(pfad);
        einvoice::Leseergebnis e;
        if (!f.open(QIODevice::ReadOnly))
            e.befunde << QStringLiteral("Die Datei lässt sich nicht öffnen: %1").arg(f.errorString());
        else if (f.size() > einvoice::HoechstGroesse)
            e.befunde << QStringLiteral("Die Datei ist größer als %1 MiB und wird nicht gelesen.").arg(einvoice::HoechstGroesse / (1024 * 1024));
        else
            e = einvoice::lesen(f.readAll());
        if (!e.rechnung)
            ergebnis = 1;
        aus() << QString::fromUtf8(QJsonDocument(einvoice::alsJson(pfad, e)).toJson(QJsonDocument::Compact)) << Qt::endl;
    }
    return ergebnis;
}

} // namespace

int befehlAusfuehren(const QStringList &argumente)
{
    const QString befehl = argumente.value(1);
    QStringList rest = argumente.mid(1);
    rest[0] = QStringLiteral("archivd ") + befehl;
    try {
        if (befehl == QLatin1String("serve"))
            return serve(rest);
        if (befehl == QLatin1String("init"))
            return init(rest);
        if (befehl == QLatin1String("demo"))
            return demo(rest);
        if (befehl == QLatin1String("user"))
            return user(rest);
        if (befehl == QLatin1String("check"))
            return check(rest);
        if (befehl == QLatin1String("import"))
            return importieren(rest);
        if (befehl == QLatin1String("backup"))
            return sicherungErfassen(rest);
        if (befehl == QLatin1String("client"))
            return client(rest);
        if (befehl == QLatin1String("audit"))
            return audit(rest);
        if (befehl == QLatin1String("rechnung"))
            return rechnung(rest);
        if (befehl == QLatin1String("eingang"))
            return eingang(rest);
        if (befehl == QLatin1String("volltext"))
            return volltextBefehl(rest);
        if (befehl == QLatin1String("verify"))
            return verify(rest);
        if (befehl == QLatin1String("anker"))
            return anker(rest);
        if (befehl == QLatin1String("export"))
            return exportBefehl(rest);
        if (befehl == QLatin1String("restore"))
            return restoreBefehl(rest);
        // The child a server's full-text reader starts for each file.
        if (befehl == QLatin1String("volltext-lesen"))
            return volltext::lesemodus(argumente.value(2));
    } catch (const AnfrageFehler &e) {
        err() << "archivd: " << e.meldung() << Qt::endl;
        return 1;
    }
    if (befehl == QLatin1String("--version") || befehl == QLatin1String("-v")) {
        aus() << "archivd " << QStringLiteral(ARCHIV_VERSION) << Qt::endl;
        return 0;
    }
    if (befehl.isEmpty() || befehl == QLatin1String("--help") || befehl == QLatin1String("-h") || befehl == QLatin1String("help")) {
        aus() << Uebersicht << Qt::flush;
        return befehl.isEmpty() ? 2 : 0;
    }
    err() << "archivd: unbekannter Befehl \"" << befehl << "\"\n\n" << Uebersicht << Qt::flush;
    return 2;
}

} // namespace archiv::archivd
