#include "Befehle.h"

#include "Fehler.h"
#include "Konsole.h"
#include "Passwort.h"
#include "Registry.h"
#include "Verwaltung.h"
#include "http/HttpServer.h"
#include "model/Modell.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Verwaltungsspeicher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <sys/resource.h>
#include <thread>

#include <pthread.h>
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
    "\n"
    "Jeder Befehl kennt --help.\n";

std::unique_ptr<Datenbank> oeffnen(const QString &ort)
{
    auto db = Datenbank::oeffnen(ort);
    db->migrieren();
    return db;
}

int serve(const QStringList &args)
{
    QCommandLineParser p;
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
    if (!befehlAuswerten(p, args, QStringLiteral("Startet den Archivserver.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    const QString listen = p.value(QStringLiteral("listen"));
    const qsizetype doppelpunkt = listen.lastIndexOf(u':');
    bool ok = false;
    const int port = doppelpunkt > 0 ? listen.mid(doppelpunkt + 1).toInt(&ok) : 0;
    if (!ok || port < 0 || port > 65535) {
        err() << "archivd: --listen erwartet ADRESSE:PORT, nicht \"" << listen << "\"" << Qt::endl;
        return 2;
    }
    QString host = listen.left(doppelpunkt);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);

    // SIGINT and SIGTERM are taken by a thread of their own, so the server
    // stops cleanly between requests.
    sigset_t signale;
    sigemptyset(&signale);
    sigaddset(&signale, SIGINT);
    sigaddset(&signale, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signale, nullptr);

    // Every workstation keeps a connection open: take as many descriptors
    // as the system allows this process.
    rlimit grenze{};
    if (getrlimit(RLIMIT_NOFILE, &grenze) == 0 && grenze.rlim_cur < grenze.rlim_max) {
        grenze.rlim_cur = grenze.rlim_max;
        setrlimit(RLIMIT_NOFILE, &grenze);
    }

    auto db = oeffnen(p.value(QStringLiteral("db")));
    HttpServer server(*db, Registry::standard());
    const int leerlauf = p.value(QStringLiteral("idle-timeout")).toInt(&ok);
    if (!ok || leerlauf < 1) {
        err() << "archivd: --idle-timeout erwartet Sekunden" << Qt::endl;
        return 2;
    }
    server.setzeLeerlauf(leerlauf);
    const int kopffrist = p.value(QStringLiteral("header-timeout")).toInt(&ok);
    if (!ok || kopffrist < 1) {
        err() << "archivd: --header-timeout erwartet Sekunden" << Qt::endl;
        return 2;
    }
    server.setzeKopffrist(kopffrist);
    const int verbindungen = p.value(QStringLiteral("max-connections")).toInt(&ok);
    if (!ok || verbindungen < 1 || verbindungen > 10000) {
        err() << "archivd: --max-connections erwartet eine Anzahl von 1 bis 10000" << Qt::endl;
        return 2;
    }
    server.setzeMaxVerbindungen(verbindungen);
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
    aus() << "archivd: listening on " << host << ':' << gebunden << " (" << db->beschreibung() << ")" << Qt::endl;
    server.laufen();
    aus() << "archivd: stopped" << Qt::endl;
    return 0;
}

int init(const QStringList &args)
{
    QCommandLineParser p;
    if (!befehlAuswerten(p, args, QStringLiteral("Legt ein leeres Archiv an oder bringt sein Schema auf den neuesten Stand.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    auto db = oeffnen(p.value(QStringLiteral("db")));
    aus() << "archivd: Archiv " << db->beschreibung() << " hat Schema-Version " << db->schemaVersion() << Qt::endl;
    return 0;
}

int check(const QStringList &args)
{
    QCommandLineParser p;
    if (!befehlAuswerten(p, args, QStringLiteral("Prüft die Integrität des Archivs.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    auto db = Datenbank::oeffnen(p.value(QStringLiteral("db")));
    QString bericht;
    const bool ok = db->pruefeIntegritaet(&bericht);
    aus() << bericht << Qt::endl;
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
    auto db = oeffnen(p.value(QStringLiteral("db")));
    const QString id = pos.at(1) + QStringLiteral("||") + pos.at(2);
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
        a.props = {{"Firma", pos.at(1)}, {"Pcode", pos.at(2)}, {"pname", p.value(QStringLiteral("name"))}, {"aktiv", "J"}};
        const QString neu = objekte.speichernInTransaktion(k, QString(), a).id;
        verwaltung.passwortSetzen(*objekte.zeile(k, neu), passwortHash(passwortLesen(p)));
    } else if (!zeile) {
        err() << "archivd user: Benutzer " << id << " gibt es nicht" << Qt::endl;
        return 1;
    } else if (pos.at(0) == QLatin1String("passwd")) {
        verwaltung.passwortSetzen(*zeile, passwortHash(passwortLesen(p)));
    } else {
        verwaltung.benutzerDeaktivieren(*zeile);
    }
    t.bestaetigen();
    aus() << "archivd user: " << pos.at(0) << ' ' << id << " erledigt" << Qt::endl;
    return 0;
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
    } catch (const AnfrageFehler &e) {
        err() << "archivd: " << e.meldung() << Qt::endl;
        return 1;
    }
    if (befehl.isEmpty() || befehl == QLatin1String("--help") || befehl == QLatin1String("-h") || befehl == QLatin1String("help")) {
        aus() << Uebersicht << Qt::flush;
        return befehl.isEmpty() ? 2 : 0;
    }
    err() << "archivd: unbekannter Befehl \"" << befehl << "\"\n\n" << Uebersicht << Qt::flush;
    return 2;
}

} // namespace archiv::archivd
