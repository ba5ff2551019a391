#include "http/HttpServer.h"
#include "http/Bedienung.h"
#include "http/Metriken.h"
#include "http/Verbindungswache.h"

#include "Fehler.h"
#include "Registry.h"
#include "Tls.h"
#include "Zugang.h"
#include "common/Etikett.h"
#include "common/Protokoll.h"
#include "model/Modell.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/Hochladungen.h"
#include "storage/Pruefkette.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Pruefsumme.h"
#include "storage/Zugangsspeicher.h"
#include "storage/abfragen/Argumente.h"
#include "volltext/Volltext.h"

#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QNetworkInterface>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryFile>

#include <httplib.h>

#include <algorithm>
#include <optional>
#include <string>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace archiv::archivd {

using protokoll::FehlerDaten;

namespace {

// One line per request at debug level: QT_LOGGING_RULES="archivd.anfragen.debug=true".
Q_LOGGING_CATEGORY(anfragenLog, "archivd.anfragen", QtInfoMsg)
// When the request being answered on this worker had its headers.
thread_local std::chrono::steady_clock::time_point t_anfrageBeginn;

} // namespace

struct HttpServer::Daten
{
    Datenbank &db;
    const Registry &registry;
    ObjektSpeicher objekte;
    BlobSpeicher blobs;
    Arbeitsplaetze arbeitsplaetze;
    std::unique_ptr<httplib::Server> server;
    bool tls = false;
    int lauschSocket = -1;
    QSet<QString> hosts; // what a Host header may name; filled before listening
    qint64 hochladegrenze = Hochladungen::MaxOffenJePlatz;
    Verbindungswache::Grenzen grenzen{HttpServer::Arbeiter, HttpServer::MaxVerbindungen,
                                      HttpServer::anteilJeAdresse(HttpServer::MaxVerbindungen),
                                      std::chrono::seconds(HttpServer::Leerlauf + HttpServer::Lesefrist), {}};

    Daten(Datenbank &d, const Registry &r) : db(d), registry(r), objekte(d), blobs(d), arbeitsplaetze(d) { }
    Kontext kontext() { return {db, objekte, blobs}; }
};

namespace {

void jsonAntwort(httplib::Response &res, const QJsonObject &o, int status = 200)
{
    res.status = status;
    const QByteArray body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    res.set_content(body.constData(), size_t(body.size()), protokoll::JsonTyp);
}

void fehlerAntwort(httplib::Response &res, int status, const QString &code, const QString &meldung)
{
    jsonAntwort(res, FehlerDaten{code, meldung}.toJson(), status);
}

QString teil(const httplib::Request &req, int i)
{
    return QString::fromStdString(req.matches[i].str());
}

QJsonObject jsonKoerper(const httplib::Request &req)
{
    if (qint64(req.body.size()) > HttpServer::MaxJson)
        throw AnfrageFehler::zuGross(QStringLiteral("Anfrage zu groß"));
    QJsonParseError fehler{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromRawData(req.body.data(), qsizetype(req.body.size())), &fehler);
    if (fehler.error != QJsonParseError::NoError)
        throw AnfrageFehler::ungueltig(QStringLiteral("Ungültiges JSON: %1 (Zeichen %2)").arg(fehler.errorString()).arg(fehler.offset));
    if (!doc.isObject())
        throw AnfrageFehler::ungueltig(QStringLiteral("Der Inhalt ist kein JSON-Objekt"));
    return doc.object();
}

void namensraum(const QString &ns)
{
    if (!Modell::instanz().kenntNamensraum(ns))
        throw AnfrageFehler::unbekannt(QStringLiteral("unknown_namespace"), QStringLiteral("Namensraum \"%1\" gibt es nicht").arg(ns));
}

// Document files belong to the archive, not to the WWS.
void blobNamensraum(const QString &ns)
{
    namensraum(ns);
    if (ns != QLatin1String(Archiv))
        throw AnfrageFehler::unbekannt(QStringLiteral("unknown_path"), QStringLiteral("Dateien gibt es nur im Namensraum %1").arg(QLatin1String(Archiv)));
}

const Klasse &klasse(const QString &ns, const QString &name)
{
    namensraum(ns);
    const Klasse *k = Modell::instanz().klasse(ns, name);
    if (!k)
        throw AnfrageFehler::unbekannt(QStringLiteral("unknown_class"), QStringLiteral("Klasse \"%1\" gibt es in %2 nicht").arg(name, ns));
    return *k;
}

// The host part of a Host header, lower case, without port and brackets.
QString hostTeil(const std::string &kopf)
{
    QString h = QString::fromStdString(kopf).trimmed().toLower();
    if (h.startsWith(u'[')) {
        const qsizetype ende = h.indexOf(u']');
        return ende > 0 ? h.mid(1, ende - 1) : h;
    }
    const qsizetype doppelpunkt = h.indexOf(u':');
    return doppelpunkt >= 0 ? h.left(doppelpunkt) : h;
}

// A web page can make a browser send requests to any name that resolves to
// the server (DNS rebinding); only names of this server are answered.
void hostPruefen(const httplib::Request &req, const QSet<QString> &hosts)
{
    const QString host = hostTeil(req.get_header_value("Host"));
    if (host.isEmpty())
        throw AnfrageFehler::ungueltig(QStringLiteral("Die Anfrage nennt keinen Host"));
    if (!hosts.contains(host))
        throw AnfrageFehler::verboten(QStringLiteral("\"%1\" ist kein Name dieses Archivservers").arg(host));
}

// A request without a valid key, in the log: the first of each 10 seconds
// with the number left out since, so that a flood does not fill the disk.
void abweisungLoggen(const QString &adresse, const QString &grund)
{
    static std::mutex mutex;
    static std::chrono::steady_clock::time_point zuletzt;
    static int ausgelassen = 0;
    std::lock_guard sperre(mutex);
    const auto jetzt = std::chrono::steady_clock::now();
    if (jetzt - zuletzt < std::chrono::seconds(10)) {
        ++ausgelassen;
        return;
    }
    qWarning().noquote() << "archivd: ohne gültigen Schlüssel abgewiesen (" << adresse << "):" << grund
                         << (ausgelassen ? QStringLiteral("(und %1 weitere seit der letzten Meldung)").arg(ausgelassen) : QString());
    zuletzt = jetzt;
    ausgelassen = 0;
}

// Writes are made by a logged-in WWS user; the request's session names them.
void sitzungNoetig(Datenbank &db)
{
    Anfragekontext &k = Anfragekontext::aktuell();
    k.benutzer = Sitzungen::benutzer(db, k.sitzung, k.arbeitsplatz, k.schluessel).value_or(QString());
    if (k.benutzer.isEmpty())
        throw AnfrageFehler(403, QLatin1String(protokoll::AnmeldungNoetig),
                            QStringLiteral("Zum Speichern ist eine Anmeldung nötig (oder sie ist abgelaufen)"));
}

AnfrageFehler nurAmServer(const Klasse &k)
{
    return AnfrageFehler::verboten(QStringLiteral("%1 wird nur am Server mit den archivd-Befehlen geändert").arg(k.name));
}

void argumentePruefen(const QStringList &args)
{
    for (qsizetype i = 0; i < args.size(); ++i)
        if (args.at(i).size() > MaxArgument)
            throw AnfrageFehler::ungueltig(
                QStringLiteral("Argument %1 ist zu lang: %2 Zeichen, höchstens %3").arg(i + 1).arg(args.at(i).size()).arg(MaxArgument));
}

// A type's label counter only moves forward, and never past the last
// number a label can carry: a rewind would print numbers twice.
void etikettenZaehlerPruefen(Datenbank &db, const QString &id, const QString &wert)
{
    bool ok = false;
    const qint64 neu = wert.trimmed().toLongLong(&ok);
    const QStringList teile = id.split(QStringLiteral("||"));
    const QVariant alt =
        teile.size() == 2 ? db.wert(QStringLiteral("SELECT lastbelnrbarc FROM ar_belart WHERE firma = ? AND belart = ?"), {teile.at(0).toLongLong(), teile.at(1)})
                          : QVariant();
    if (!ok || neu > common::etikett::HoechsteNummer)
        throw AnfrageFehler::ungueltig(
            QStringLiteral("Der Etikettenzähler nimmt Nummern von 1 bis %1, nicht \"%2\"").arg(common::etikett::HoechsteNummer).arg(wert));
    if (alt.isValid() && neu <= alt.toLongLong())
        throw AnfrageFehler::ungueltig(
            QStringLiteral("Der Etikettenzähler steht schon auf %1; er geht nur vorwärts, nicht auf %2").arg(alt.toLongLong()).arg(neu));
}

// A session writes for the company of its user only: a user of company 1
// neither creates nor changes Belege, index values, assigned scans or label
// counters of company 7.
void firmaPruefen(const QVariant &firma)
{
    const std::optional<qint64> eigene = Anfragekontext::aktuell().firma();
    if (!eigene || !firma.isValid() || firma.isNull())
        return;
    bool ok = false;
    const qint64 f = firma.toString().trimmed().toLongLong(&ok);
    if (ok && f != *eigene)
        throw AnfrageFehler::verboten(QStringLiteral("Angemeldet ist ein Benutzer der Firma %1; Belege der Firma %2 kann er nicht ändern.")
                                          .arg(*eigene)
                                          .arg(f));
}

QVariant wertOhneGross(const QMap<QString, QString> &m, const char *name)
{
    for (auto it = m.cbegin(); it != m.cend(); ++it)
        if (it.key().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return it.value();
    return {};
}

QVariant belegFirma(Datenbank &db, const QVariant &beleg)
{
    if (!beleg.isValid() || beleg.toString().isEmpty())
        return {};
    return db.wert(QStringLiteral("SELECT firma FROM ar_dokumente WHERE id = ?"), {beleg.toString().toLongLong()});
}

// The companies a save touches, each checked against the session's.
void firmenPruefen(Datenbank &db, const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a)
{
    if (!Anfragekontext::aktuell().firma())
        return;
    const QString name = k.name;
    if (name == QLatin1String(BelegKlasse)) {
        firmaPruefen(wertOhneGross(a.props, "Firma"));
        if (const QVariant typ = wertOhneGross(a.refs, "IdBelart"); typ.isValid())
            firmaPruefen(typ.toString().section(QStringLiteral("||"), 0, 0));
        for (const protokoll::Indexwert &w : a.index)
            firmaPruefen(w.firma);
        if (!id.isEmpty())
            firmaPruefen(belegFirma(db, id));
    } else if (name == QLatin1String("AR.Extind")) {
        firmaPruefen(wertOhneGross(a.props, "Firma"));
        firmaPruefen(belegFirma(db, wertOhneGross(a.refs, "IDDokumente")));
        if (!id.isEmpty())
            firmaPruefen(db.wert(QStringLiteral("SELECT firma FROM ar_extind WHERE id = ?"), {id.toLongLong()}));
    } else if (name == QLatin1String("AR.Scandat")) {
        firmaPruefen(belegFirma(db, wertOhneGross(a.refs, "IDDokumente")));
        if (!id.isEmpty())
            firmaPruefen(belegFirma(db, db.wert(QStringLiteral("SELECT iddokumente FROM ar_scandat WHERE id = ?"), {id.toLongLong()})));
    } else if (name == QLatin1String("AR.Belart")) {
        firmaPruefen(id.section(QStringLiteral("||"), 0, 0));
    }
}

// What a workstation may write over the wire: Belege with their documents
// and index values, the scan store, and a type's label counter.
void schreibrechtPruefen(Datenbank &db, const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a)
{
    const bool belegTeil = k.name == QLatin1String(BelegKlasse) || k.besitzer == QLatin1String(BelegKlasse) ||
        k.name == QLatin1String("AR.Extind") || k.name == QLatin1String("AR.Scandat");
    bool nurEtikettenZaehler = k.name == QLatin1String("AR.Belart") && !id.isEmpty() && a.props.size() == 1 && a.refs.isEmpty() &&
        a.collections.isEmpty() && a.streams.isEmpty() && a.index.isEmpty();
    if (nurEtikettenZaehler)
        nurEtikettenZaehler = a.props.firstKey().compare(QLatin1String("lastbelnrbarc"), Qt::CaseInsensitive) == 0;
    if (!belegTeil && !nurEtikettenZaehler)
        throw nurAmServer(k);
    sitzungNoetig(db);
    firmenPruefen(db, k, id, a);
    if (nurEtikettenZaehler)
        etikettenZaehlerPruefen(db, id, a.props.first());
}

// A refusal for want of connections, through TLS so that the workstation
// can read it: handshake and answer on a thread of their own, never on the
// listening thread, and at most MaxTlsAbsagen at once (beyond that the
// socket is just closed).
constexpr int MaxTlsAbsagen = 8;

void tlsAbsage(SSL_CTX *ctx, int socket, const std::string &antwort)
{
    static std::atomic<int> laufend{0};
    if (laufend.fetch_add(1) >= MaxTlsAbsagen) {
        laufend.fetch_sub(1);
        ::close(socket);
        return;
    }
    std::thread([ctx, socket, antwort] {
        const timeval frist{2, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &frist, sizeof frist);
        ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &frist, sizeof frist);
        if (SSL *ssl = SSL_new(ctx)) {
            SSL_set_fd(ssl, socket);
            if (SSL_accept(ssl) == 1) {
                SSL_write(ssl, antwort.data(), int(antwort.size()));
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
        }
        ::close(socket);
        laufend.fetch_sub(1);
    }).detach();
}

// The request line and headers, strictly: one body length and only as a
// plain Content-Length, no control characters in the path, at most one
// byte range, and a body no larger than its route takes.
void kopfPruefen(const httplib::Request &req)
{
    for (const char c : req.path)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            throw AnfrageFehler::ungueltig(QStringLiteral("Der Pfad enthält ein Steuerzeichen"));
    // A web page open on a workstation must not reach the archive: browsers
    // send Origin with every cross-site request, and a body that is not
    // declared JSON is what a form or a "simple" request would send.
    const bool blob = req.method == "PUT" && req.path.ends_with("/blob");
    if (req.has_header("Origin"))
        throw AnfrageFehler::verboten(QStringLiteral("Anfragen aus einem Browser werden nicht angenommen"));
    if ((req.method == "POST" || req.method == "PUT") && !blob && !req.get_header_value("Content-Type").starts_with("application/json"))
        throw AnfrageFehler(415, QStringLiteral("unsupported_media_type"),
                            QStringLiteral("Der Inhalt muss als application/json angegeben sein"));
    // A name with a blank ("Transfer-Encoding : chunked") is no header the
    // library would honour, but a proxy in between might: refused.
    for (const auto &[name, wert] : req.headers)
        if (name.empty() || name.find_first_of(" \t") != std::string::npos)
            throw AnfrageFehler::ungueltig(QStringLiteral("Kopfzeile \"%1\" ist kein gültiger Name").arg(QString::fromStdString(name).left(40)));
    if (req.has_header("Transfer-Encoding"))
        throw AnfrageFehler::ungueltig(QStringLiteral("Transfer-Encoding wird nicht angenommen; der Inhalt braucht eine Content-Length"));
    const size_t laengen = req.get_header_value_count("Content-Length");
    if (laengen > 1)
        throw AnfrageFehler::ungueltig(QStringLiteral("Content-Length ist mehrfach angegeben"));
    // A body is only read with its length given: without one the library
    // would read it to the end of the connection.
    if ((req.method == "POST" || req.method == "PUT") && laengen == 0)
        throw AnfrageFehler(411, QStringLiteral("length_required"), QStringLiteral("Der Inhalt braucht eine Content-Length"));
    qint64 laenge = 0;
    if (laengen == 1) {
        const std::string wert = req.get_header_value("Content-Length");
        if (wert.empty() || wert.size() > 18 || !std::all_of(wert.begin(), wert.end(), [](char c) { return c >= '0' && c <= '9'; }))
            throw AnfrageFehler::ungueltig(QStringLiteral("Content-Length \"%1\" ist keine Länge").arg(QString::fromStdString(wert)));
        laenge = std::stoll(wert);
    }
    if (req.get_header_value("Range").find(',') != std::string::npos)
        throw AnfrageFehler::ungueltig(QStringLiteral("Es wird höchstens ein Bereich (Range) beantwortet"));
    const qint64 grenze = blob ? HttpServer::MaxBlob : HttpServer::MaxJson;
    if (laenge > grenze)
        throw AnfrageFehler::zuGross(QStringLiteral("Anfrage zu groß: %1 Bytes, höchstens %2").arg(laenge).arg(grenze));
}

// Runs a handler with a database connection of the pool and turns every
// failure into the error form of the protocol.
// Without a database (nullptr) the handler takes its connection itself.
template<typename F>
httplib::Server::Handler sicher(Datenbank *db, F f)
{
    return [db, f](const httplib::Request &req, httplib::Response &res) {
        try {
            std::optional<Datenbank::Ausleihe> verbindung;
            if (db)
                verbindung.emplace(*db);
            f(req, res);
        } catch (const AnfrageFehler &e) {
            fehlerAntwort(res, e.status(), e.code(), e.meldung());
        } catch (const protokoll::FormFehler &e) {
            fehlerAntwort(res, 400, QStringLiteral("bad_request"), QString::fromStdString(e.what()));
        } catch (const std::exception &e) {
            qCritical().noquote() << "archivd: interner Fehler bei" << QString::fromStdString(req.method)
                                  << QString::fromStdString(req.path) << ":" << e.what();
            fehlerAntwort(res, 500, QStringLiteral("internal"), QStringLiteral("Interner Fehler des Archivservers"));
        }
    };
}

} // namespace

HttpServer::HttpServer(Datenbank &db, const Registry &registry, const std::optional<TlsDateien> &tls)
    : d(std::make_unique<Daten>(db, registry))
{
    if (tls) {
        auto ssl = std::make_unique<ArchivHttpsServer>(QFile::encodeName(tls->zertifikat).constData(),
                                                       QFile::encodeName(tls->schluessel).constData());
        if (SSL_CTX *ctx = ssl->is_valid() ? ssl->ssl_context() : nullptr)
            d->grenzen.absageSenden = [ctx](int socket, const std::string &antwort) { tlsAbsage(ctx, socket, antwort); };
        d->arbeitsplaetze.setzeZertifikat(fingerabdruck(tls->zertifikat).value_or(QString()));
        d->server = std::move(ssl);
        d->tls = true;
    } else {
        d->server = std::make_unique<ArchivHttpServer>();
    }
    auto &s = *d->server;
    Daten *daten = d.get();
    s.new_task_queue = [daten] { return new Verbindungswache(daten->grenzen); };
    s.set_keep_alive_max_count(1000000);
    s.set_keep_alive_timeout(Leerlauf);
    s.set_read_timeout(Lesefrist);
    s.set_write_timeout(Lesefrist);
    s.set_payload_max_length(size_t(MaxBlob));
    s.set_tcp_nodelay(true);
    // The listening socket, to give it a backlog for a morning's logins
    // (the library listens with a backlog of five).
    s.set_socket_options([daten](socket_t sock) {
        int ja = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &ja, sizeof ja);
        daten->lauschSocket = sock;
    });
    // After an answer was written the connection waits for its next request;
    // the request is counted and, at debug level, logged as one line.
    s.set_logger([](const httplib::Request &req, const httplib::Response &res) {
        Verbindungswache::antwortGeschrieben();
        const double sekunden = std::chrono::duration<double>(std::chrono::steady_clock::now() - t_anfrageBeginn).count();
        const std::string route = Metriken::route(req.path);
        Metriken::instanz().anfrage(route, res.status, sekunden);
        qCDebug(anfragenLog).noquote() << QStringLiteral("%1 %2 %3 %4 ms %5 %6")
                                              .arg(QString::fromStdString(req.method), QString::fromStdString(route))
                                              .arg(res.status)
                                              .arg(sekunden * 1000, 0, 'f', 1)
                                              .arg(QString::fromStdString(req.remote_addr), Anfragekontext::aktuell().arbeitsplatz);
    });
    // Runs on the headers, before any body is read.
    s.set_pre_routing_handler([daten](const httplib::Request &req, httplib::Response &res) {
        Verbindungswache::kopfGelesen();
        t_anfrageBeginn = std::chrono::steady_clock::now();
        try {
            kopfPruefen(req);
            hostPruefen(req, daten->hosts);
            // A monitor asks whether the server can answer, without a key.
            if (req.method == "GET" && req.path == "/v1/health") {
                Anfragekontext::setzen({});
                return httplib::Server::HandlerResponse::Unhandled;
            }
            // Every request comes from an enrolled workstation.
            const std::string kopf = req.get_header_value(protokoll::ZugangKopf);
            const std::string art = protokoll::ZugangArt;
            const QString nachweis = kopf.starts_with(art) ? QString::fromStdString(kopf.substr(art.size())).trimmed() : QString();
            QString grund;
            const std::optional<Arbeitsplaetze::Platz> platz = daten->arbeitsplaetze.pruefen(nachweis, &grund);
            if (!platz) {
                abweisungLoggen(QString::fromStdString(req.remote_addr), grund);
                throw AnfrageFehler(401, QLatin1String(protokoll::KeinZugang), grund);
            }
            Anfragekontext k;
            k.arbeitsplatz = platz->name;
            k.schluessel = platz->schluessel;
            k.sitzung = QString::fromStdString(req.get_header_value(protokoll::SitzungKopf));
            Anfragekontext::setzen(std::move(k));
            return httplib::Server::HandlerResponse::Unhandled;
        } catch (const AnfrageFehler &e) {
            fehlerAntwort(res, e.status(), e.code(), e.meldung());
            // The body was not read: the connection cannot carry another request.
            res.set_header("Connection", "close");
            verbindungSchliessen();
            return httplib::Server::HandlerResponse::Handled;
        }
    });

    // Up and its database reachable: 200, else 503; nothing else is told.
    s.Get("/v1/health", sicher(nullptr, [daten](const httplib::Request &, httplib::Response &res) {
              try {
                  Datenbank::Ausleihe verbindung(daten->db);
                  daten->db.wert(QStringLiteral("SELECT 1"));
                  jsonAntwort(res, {{"status", "ok"}});
              } catch (const std::exception &) {
                  jsonAntwort(res, {{"status", "unavailable"}}, 503);
              }
          }));
    // For Prometheus, with a workstation's key: requests, latency,
    // connections, the database pool, the full-text queue, the trail.
    s.Get("/metrics", sicher(&daten->db, [daten](const httplib::Request &, httplib::Response &res) {
              QString t = Metriken::instanz().text();
              const Datenbank::Poolstand pool = daten->db.poolStand();
              const volltext::Stand v = volltext::stand(daten->db);
              t += QStringLiteral("# HELP archivd_db_pool_connections Database connections of the pool, by state.\n"
                                  "# TYPE archivd_db_pool_connections gauge\n"
                                  "archivd_db_pool_connections{state=\"open\"} %1\narchivd_db_pool_connections{state=\"idle\"} %2\n"
                                  "archivd_db_pool_connections{state=\"max\"} %3\n")
                       .arg(pool.erzeugt)
                       .arg(pool.frei)
                       .arg(Datenbank::MaxVerbindungen);
              t += QStringLiteral("# HELP archivd_ocr_queue Documents of the full-text queue, by state.\n# TYPE archivd_ocr_queue gauge\n"
                                  "archivd_ocr_queue{state=\"waiting\"} %1\narchivd_ocr_queue{state=\"running\"} %2\n"
                                  "archivd_ocr_queue{state=\"done\"} %3\narchivd_ocr_queue{state=\"failed\"} %4\n")
                       .arg(v.offen)
                       .arg(v.laufend)
                       .arg(v.fertig)
                       .arg(v.fehler);
              t += QStringLiteral("# HELP archivd_audit_entries Entries on the audit trail's chain.\n# TYPE archivd_audit_entries counter\n"
                                  "archivd_audit_entries %1\n")
                       .arg(pruefkette::kopf(daten->db).nr);
              res.status = 200;
              res.set_content(t.toStdString(), "text/plain; version=0.0.4; charset=utf-8");
          }));

    s.Get(R"(/v1/([^/]+)/ping)", sicher(nullptr, [](const httplib::Request &req, httplib::Response &res) {
              const QString ns = teil(req, 1);
              namensraum(ns);
              jsonAntwort(res, {{"namespace", ns}, {"version", QLatin1String(protokoll::Version)}});
          }));

    s.Post(R"(/v1/([^/]+)/query)", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
               const QString ns = teil(req, 1);
               const auto a = protokoll::AbfrageAnfrage::fromJson(jsonKoerper(req));
               argumentePruefen(a.args);
               klasse(ns, a.klasse);
               const AbfrageEintrag &e = daten->registry.findeAbfrage(a.klasse, a.abfrage, int(a.args.size()));
               Kontext k = daten->kontext();
               jsonAntwort(res, protokoll::zeilenJson(e.ausfuehren(k, a.args)));
           }));

    s.Post(R"(/v1/([^/]+)/call)", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
               const QString ns = teil(req, 1);
               const auto a = protokoll::AufrufAnfrage::fromJson(jsonKoerper(req));
               argumentePruefen(a.args);
               klasse(ns, a.klasse);
               const MethodenEintrag &e = daten->registry.findeMethode(a.klasse, a.methode, int(a.args.size()));
               if (e.objektMethode && a.id.isEmpty())
                   throw AnfrageFehler::ungueltig(QStringLiteral("Methode \"%1\" braucht die Id eines Objekts").arg(e.name));
               Kontext k = daten->kontext();
               if (!e.schreibt) {
                   jsonAntwort(res, e.ausfuehren(k, a.args, a.id).toJson());
                   return;
               }
               sitzungNoetig(daten->db);
               if (e.belegArgument >= 0)
                   firmaPruefen(belegFirma(daten->db, a.args.value(e.belegArgument)));
               if (e.firmaArgument >= 0)
                   firmaPruefen(a.args.value(e.firmaArgument));
               Transaktion t(daten->db);
               const protokoll::AufrufErgebnis ergebnis = e.ausfuehren(k, a.args, a.id);
               const qint64 beleg = e.belegArgument >= 0 ? a.args.value(e.belegArgument).toLongLong() : 0;
               daten->objekte.vermerken(*Modell::instanz().klasse(e.klasse), a.id.isEmpty() ? a.args.join(u'|').left(200) : a.id, e.name, 0,
                                        beleg, {});
               t.bestaetigen();
               jsonAntwort(res, ergebnis.toJson());
           }));

    s.Get(R"(/v1/([^/]+)/object/([^/]+)/(.+))", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
              const Klasse &k = klasse(teil(req, 1), teil(req, 2));
              if (!k.besitzer.isEmpty())
                  throw AnfrageFehler::ungueltig(QStringLiteral("%1 wird mit seinem %2 gelesen").arg(k.name, k.besitzer));
              jsonAntwort(res, daten->objekte.laden(k, teil(req, 3)).toJson());
          }));

    s.Post(R"(/v1/([^/]+)/object/([^/]+))", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
               const Klasse &k = klasse(teil(req, 1), teil(req, 2));
               const auto a = protokoll::SpeicherAnfrage::fromJson(jsonKoerper(req));
               if (a.version)
                   throw AnfrageFehler::ungueltig(QStringLiteral("Ein neues Objekt hat keine \"version\""));
               schreibrechtPruefen(daten->db, k, QString(), a);
               jsonAntwort(res, daten->objekte.speichern(k, QString(), a).toJson());
           }));

    s.Put(R"(/v1/([^/]+)/object/([^/]+)/(.+))", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
              const Klasse &k = klasse(teil(req, 1), teil(req, 2));
              const auto a = protokoll::SpeicherAnfrage::fromJson(jsonKoerper(req));
              schreibrechtPruefen(daten->db, k, teil(req, 3), a);
              jsonAntwort(res, daten->objekte.speichern(k, teil(req, 3), a).toJson());
          }));

    s.Delete(R"(/v1/([^/]+)/object/([^/]+)/(.+))", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
                 const Klasse &k = klasse(teil(req, 1), teil(req, 2));
                 // What is archived stays: Belege and their documents are
                 // never deleted over the wire.
                 if (k.name == QLatin1String(BelegKlasse) || k.besitzer == QLatin1String(BelegKlasse))
                     throw AnfrageFehler::verboten(QStringLiteral("Archivierte Belege werden nicht gelöscht"));
                 // The scan store's records go once taken over; the rest
                 // is changed on the server only.
                 if (k.name != QLatin1String("AR.Scandat"))
                     throw nurAmServer(k);
                 sitzungNoetig(daten->db);
                 firmenPruefen(daten->db, k, teil(req, 3), {});
                 daten->objekte.loeschen(k, teil(req, 3));
                 jsonAntwort(res, QJsonObject{});
             }));

    // An upload goes to a temporary file while it is hashed, then into the
    // store a part at a time: never whole in memory.
    s.Put(R"(/v1/([^/]+)/blob)", [daten](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &leser) {
        sicher(nullptr, [daten, &leser](const httplib::Request &req, httplib::Response &res) {
            // Refused before its body was read: the connection cannot carry
            // another request.
            bool gelesen = false;
            const auto schliessen = qScopeGuard([&gelesen, &res] {
                if (!gelesen) {
                    res.set_header("Connection", "close");
                    verbindungSchliessen();
                }
            });
            blobNamensraum(teil(req, 1));
            // An upload is a write: a logged-in user's, on record, and a
            // workstation has only so much not yet saved into any object.
            {
                Datenbank::Ausleihe verbindung(daten->db);
                sitzungNoetig(daten->db);
                const qint64 offen = Hochladungen(daten->db).offen(Anfragekontext::aktuell().arbeitsplatz);
                // Checked to be a plain number before the route was chosen.
                const qint64 angesagt = QByteArray::fromStdString(req.get_header_value("Content-Length")).toLongLong();
                if (offen + angesagt > daten->hochladegrenze)
                    throw AnfrageFehler::zuGross(QStringLiteral("Dieser Arbeitsplatz hat schon %1 KiB hochgeladen, die noch in keinem Beleg "
                                                                "gespeichert sind (höchstens %2 KiB)")
                                                     .arg(offen / 1024)
                                                     .arg(daten->hochladegrenze / 1024));
            }
            QTemporaryFile datei;
            if (!datei.open())
                throw AnfrageFehler::speicher(QStringLiteral("Kein Platz für eine temporäre Datei"));
            Sha256 hash;
            qint64 laenge = 0;
            bool geschrieben = true;
            gelesen = true;
            leser([&](const char *d, size_t n) {
                laenge += qint64(n);
                hash.addData(QByteArrayView(d, qsizetype(n)));
                geschrieben = geschrieben && datei.write(d, qint64(n)) == qint64(n) && laenge <= MaxBlob;
                return geschrieben;
            });
            if (!geschrieben)
                throw AnfrageFehler::speicher(QStringLiteral("Die Datei ließ sich nicht annehmen (Platte voll?)"));
            if (!datei.seek(0))
                throw AnfrageFehler::speicher(QStringLiteral("Die empfangene Datei lässt sich nicht lesen"));
            const QString id = hash.hex();
            // A connection only for storing, not while a slow client sends.
            Datenbank::Ausleihe verbindung(daten->db);
            {
                // The file, its upload and the entry naming it commit
                // together: a server stopped in between leaves none of them.
                Transaktion t(daten->db);
                daten->blobs.ablegenInTransaktion(id, datei, laenge);
                Hochladungen(daten->db).vermerken(id, Anfragekontext::aktuell().arbeitsplatz, laenge);
                static const Klasse datei{QLatin1String(Archiv), QStringLiteral("Datei"), QString(), {}, {}, {}};
                daten->objekte.vermerken(datei, id, QStringLiteral("hochgeladen: %1 Bytes").arg(laenge), 0, 0, {id});
                t.bestaetigen();
            }
            jsonAntwort(res, {{"blob", id}, {"size", QString::number(laenge)}});
        })(req, res);
    });

    // Sent a part at a time as the connection takes it.
    s.Get(R"(/v1/([^/]+)/blob/([^/]+))", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
              blobNamensraum(teil(req, 1));
              const QString id = teil(req, 2);
              if (!BlobSpeicher::istBlobId(id))
                  throw AnfrageFehler::ungueltig(QStringLiteral("\"%1\" ist keine Blob-Id (64 Hexadezimalziffern)").arg(id));
              const auto groesse = daten->blobs.groesse(id);
              if (!groesse)
                  throw AnfrageFehler::unbekannt(QStringLiteral("unknown_blob"), QStringLiteral("Blob \"%1\" gibt es nicht").arg(id));
              res.set_content_provider(size_t(*groesse), protokoll::BlobTyp, [daten, id](size_t von, size_t anzahl, httplib::DataSink &ziel) {
                  // The headers are out: a failure now can only end the connection.
                  try {
                      Datenbank::Ausleihe verbindung(daten->db);
                      return daten->blobs.lesen(id, qint64(von), qint64(anzahl), [&ziel](const QByteArray &teil) {
                          return ziel.write(teil.constData(), size_t(teil.size()));
                      });
                  } catch (const std::exception &e) {
                      qCritical().noquote() << "archivd: Blob" << id << "lässt sich nicht senden:" << e.what();
                      return false;
                  }
              });
          }));

    s.set_error_handler([](const httplib::Request &req, httplib::Response &res) {
        if (!res.body.empty())
            return;
        if (res.status == 413)
            fehlerAntwort(res, 413, QStringLiteral("too_large"), QStringLiteral("Anfrage zu groß"));
        else if (res.status == 404)
            fehlerAntwort(res, 404, QStringLiteral("unknown_path"),
                          QStringLiteral("Unbekannter Pfad: %1 %2").arg(QString::fromStdString(req.method), QString::fromStdString(req.path)));
        else
            fehlerAntwort(res, res.status, QStringLiteral("http"), QStringLiteral("HTTP-Fehler %1").arg(res.status));
    });
}

HttpServer::~HttpServer()
{
    stoppen();
}

bool HttpServer::gueltig() const
{
    return d->server->is_valid();
}

bool HttpServer::mitTls() const
{
    return d->tls;
}

void HttpServer::setzeHostnamen(const QStringList &namen)
{
    for (const QString &n : namen)
        d->hosts.insert(n.trimmed().toLower());
}

int HttpServer::binden(const QString &host, int port)
{
    d->hosts.insert(host.toLower());
    d->hosts.insert(QStringLiteral("localhost"));
    for (QHostAddress a : QNetworkInterface::allAddresses()) {
        a.setScopeId(QString());
        d->hosts.insert(a.toString().toLower());
    }
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0]) {
        const QString n = QString::fromLocal8Bit(name).toLower();
        d->hosts.insert(n);
        d->hosts.insert(n.section(u'.', 0, 0));
    }
    const std::string h = host.toStdString();
    const int gebunden = port == 0 ? d->server->bind_to_any_port(h) : d->server->bind_to_port(h, port) ? port : -1;
    if (gebunden >= 0 && d->lauschSocket >= 0)
        ::listen(d->lauschSocket, SOMAXCONN);
    return gebunden;
}

void HttpServer::laufen()
{
    d->server->listen_after_bind();
}

void HttpServer::setzeLeerlauf(int sekunden)
{
    d->server->set_keep_alive_timeout(sekunden);
}

void HttpServer::setzeKopffrist(int sekunden)
{
    d->grenzen.kopffrist = std::chrono::seconds(sekunden);
}

void HttpServer::setzeMaxVerbindungen(int anzahl, int jeAdresse)
{
    d->grenzen.verbindungen = anzahl;
    d->grenzen.jeAdresse = jeAdresse > 0 ? jeAdresse : anteilJeAdresse(anzahl);
    d->grenzen.arbeiter = qMax(anzahl, 1) + 8; // a few spare for those on their way out
}

void HttpServer::setzeHochladegrenze(qint64 bytes)
{
    d->hochladegrenze = bytes;
}

void HttpServer::stoppen()
{
    if (d->server->is_running())
        d->server->stop();
}

} // namespace archiv::archivd
