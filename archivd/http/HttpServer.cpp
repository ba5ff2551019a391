#include "http/HttpServer.h"
#include "http/Verbindungswache.h"

#include "Fehler.h"
#include "Registry.h"
#include "Tls.h"
#include "Zugang.h"
#include "common/Protokoll.h"
#include "model/Modell.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Pruefsumme.h"
#include "storage/Zugangsspeicher.h"

#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkInterface>
#include <QSet>
#include <QTemporaryFile>

#include <httplib.h>

#include <algorithm>
#include <optional>
#include <string>

#include <atomic>
#include <mutex>
#include <thread>

#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace archiv::archivd {

using protokoll::FehlerDaten;

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
    Verbindungswache::Grenzen grenzen{
        HttpServer::Arbeiter, HttpServer::MaxVerbindungen, std::chrono::seconds(HttpServer::Leerlauf + HttpServer::Lesefrist), {}};

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
    k.benutzer = Sitzungen::benutzer(db, k.sitzung, k.arbeitsplatz).value_or(QString());
    if (k.benutzer.isEmpty())
        throw AnfrageFehler(403, QLatin1String(protokoll::AnmeldungNoetig),
                            QStringLiteral("Zum Speichern ist eine Anmeldung nötig (oder sie ist abgelaufen)"));
}

AnfrageFehler nurAmServer(const Klasse &k)
{
    return AnfrageFehler::verboten(QStringLiteral("%1 wird nur am Server mit den archivd-Befehlen geändert").arg(k.name));
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
    if (req.has_header("Transfer-Encoding"))
        throw AnfrageFehler::ungueltig(QStringLiteral("Transfer-Encoding wird nicht angenommen; der Inhalt braucht eine Content-Length"));
    const size_t laengen = req.get_header_value_count("Content-Length");
    if (laengen > 1)
        throw AnfrageFehler::ungueltig(QStringLiteral("Content-Length ist mehrfach angegeben"));
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
        auto ssl = std::make_unique<httplib::SSLServer>(QFile::encodeName(tls->zertifikat).constData(),
                                                        QFile::encodeName(tls->schluessel).constData());
        if (SSL_CTX *ctx = ssl->is_valid() ? ssl->ssl_context() : nullptr)
            d->grenzen.absageSenden = [ctx](int socket, const std::string &antwort) { tlsAbsage(ctx, socket, antwort); };
        d->server = std::move(ssl);
        d->tls = true;
    } else {
        d->server = std::make_unique<httplib::Server>();
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
    // After an answer was written the connection waits for its next request.
    s.set_logger([](const httplib::Request &, const httplib::Response &) { Verbindungswache::antwortGeschrieben(); });
    // Runs on the headers, before any body is read.
    s.set_pre_routing_handler([daten](const httplib::Request &req, httplib::Response &res) {
        Verbindungswache::kopfGelesen();
        try {
            kopfPruefen(req);
            hostPruefen(req, daten->hosts);
            // Every request comes from an enrolled workstation.
            const std::string kopf = req.get_header_value(protokoll::ZugangKopf);
            const std::string art = protokoll::ZugangArt;
            const QString nachweis = kopf.starts_with(art) ? QString::fromStdString(kopf.substr(art.size())).trimmed() : QString();
            QString grund;
            const std::optional<QString> platz = daten->arbeitsplaetze.pruefen(nachweis, &grund);
            if (!platz) {
                abweisungLoggen(QString::fromStdString(req.remote_addr), grund);
                throw AnfrageFehler(401, QLatin1String(protokoll::KeinZugang), grund);
            }
            Anfragekontext k;
            k.arbeitsplatz = *platz;
            k.sitzung = QString::fromStdString(req.get_header_value(protokoll::SitzungKopf));
            Anfragekontext::setzen(std::move(k));
            return httplib::Server::HandlerResponse::Unhandled;
        } catch (const AnfrageFehler &e) {
            fehlerAntwort(res, e.status(), e.code(), e.meldung());
            // The body was not read: the connection cannot carry another request.
            res.set_header("Connection", "close");
            return httplib::Server::HandlerResponse::Handled;
        }
    });

    s.Get(R"(/v1/([^/]+)/ping)", sicher(nullptr, [](const httplib::Request &req, httplib::Response &res) {
              const QString ns = teil(req, 1);
              namensraum(ns);
              jsonAntwort(res, {{"namespace", ns}, {"version", QLatin1String(protokoll::Version)}});
          }));

    s.Post(R"(/v1/([^/]+)/query)", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
               const QString ns = teil(req, 1);
               const auto a = protokoll::AbfrageAnfrage::fromJson(jsonKoerper(req));
               klasse(ns, a.klasse);
               const AbfrageEintrag &e = daten->registry.findeAbfrage(a.klasse, a.abfrage, int(a.args.size()));
               Kontext k = daten->kontext();
               jsonAntwort(res, protokoll::zeilenJson(e.ausfuehren(k, a.args)));
           }));

    s.Post(R"(/v1/([^/]+)/call)", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
               const QString ns = teil(req, 1);
               const auto a = protokoll::AufrufAnfrage::fromJson(jsonKoerper(req));
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
                 daten->objekte.loeschen(k, teil(req, 3));
                 jsonAntwort(res, QJsonObject{});
             }));

    // An upload goes to a temporary file while it is hashed, then into the
    // store a part at a time: never whole in memory.
    s.Put(R"(/v1/([^/]+)/blob)", [daten](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &leser) {
        sicher(nullptr, [daten, &leser](const httplib::Request &req, httplib::Response &res) {
            namensraum(teil(req, 1));
            QTemporaryFile datei;
            if (!datei.open())
                throw AnfrageFehler::speicher(QStringLiteral("Kein Platz für eine temporäre Datei"));
            Sha256 hash;
            qint64 laenge = 0;
            bool geschrieben = true;
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
            daten->blobs.ablegen(id, datei, laenge);
            jsonAntwort(res, {{"blob", id}, {"size", QString::number(laenge)}});
        })(req, res);
    });

    // Sent a part at a time as the connection takes it.
    s.Get(R"(/v1/([^/]+)/blob/([^/]+))", sicher(&daten->db, [daten](const httplib::Request &req, httplib::Response &res) {
              namensraum(teil(req, 1));
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

void HttpServer::setzeMaxVerbindungen(int anzahl)
{
    d->grenzen.verbindungen = anzahl;
    d->grenzen.arbeiter = qMax(anzahl, 1) + 8; // a few spare for those on their way out
}

void HttpServer::stoppen()
{
    if (d->server->is_running())
        d->server->stop();
}

} // namespace archiv::archivd
