#include "server/HttpTransport.h"

#include "common/Protokoll.h"
#include "common/Zugangsschluessel.h"
#include "server/Zugang.h"

#include <QJsonDocument>
#include <QSaveFile>
#include <QUrl>

#include <httplib.h>

#include <csignal>

#include <openssl/crypto.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace archiv::server {

// The fingerprint the server's certificate must have, and whether the
// last handshake met another one.
struct HttpTransport::Pin
{
    QByteArray fingerabdruck; // 32 bytes
    bool abgelehnt = false;

    static int pruefen(X509_STORE_CTX *ctx, void *arg)
    {
        auto *pin = static_cast<Pin *>(arg);
        X509 *zertifikat = X509_STORE_CTX_get0_cert(ctx);
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int laenge = 0;
        const bool passt = zertifikat && X509_digest(zertifikat, EVP_sha256(), md, &laenge) == 1 &&
            laenge == unsigned(pin->fingerabdruck.size()) && CRYPTO_memcmp(md, pin->fingerabdruck.constData(), laenge) == 0;
        pin->abgelehnt = !passt;
        return passt ? 1 : 0;
    }
};

namespace {

// Why a request got no answer, as a German sentence for the user.
QString verbindungsfehler(httplib::Error e)
{
    switch (e) {
    case httplib::Error::Connection:
        return QStringLiteral("Keine Verbindung zum Archivserver: er ist nicht erreichbar (Adresse, Port, Netz oder Server prüfen).");
    case httplib::Error::ConnectionTimeout:
        return QStringLiteral("Keine Verbindung zum Archivserver: er hat nicht rechtzeitig geantwortet.");
    case httplib::Error::Read:
        return QStringLiteral("Keine Verbindung zum Archivserver: die Verbindung brach beim Lesen der Antwort ab.");
    case httplib::Error::Write:
        return QStringLiteral("Keine Verbindung zum Archivserver: die Verbindung brach beim Senden ab.");
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLServerVerification:
        return QStringLiteral("Keine Verbindung zum Archivserver: die gesicherte Verbindung (TLS) kam nicht zustande.");
    default:
        return QStringLiteral("Keine Verbindung zum Archivserver (%1).").arg(QString::fromStdString(httplib::to_string(e)));
    }
}

QJsonObject auswerten(const httplib::Result &res, const QString &pfad, bool zertifikatAbgelehnt = false)
{
    if (!res && zertifikatAbgelehnt)
        throw ServerFehler(
            401, QLatin1String(protokoll::KeinZugang),
            QStringLiteral("Der Server zeigt ein anderes Zertifikat, als der Zugangsschlüssel nennt; es wurde nichts gesendet."));
    if (!res)
        throw ServerFehler(0, QStringLiteral("connection"), verbindungsfehler(res.error()));
    const QByteArray body = QByteArray::fromRawData(res->body.data(), qsizetype(res->body.size()));
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    if (res->status >= 300) {
        const auto f = protokoll::FehlerDaten::fromJson(json);
        throw ServerFehler(res->status, f.code.isEmpty() ? QStringLiteral("http") : f.code,
                           f.message.isEmpty() ? QStringLiteral("HTTP %1 bei %2").arg(res->status).arg(pfad) : f.message);
    }
    return json;
}

// The key and, while a user is logged in, the session.
httplib::Headers kopfzeilen(const QString &nachweis, const QString &host, int port)
{
    httplib::Headers h{{protokoll::ZugangKopf, std::string(protokoll::ZugangArt) + nachweis.toStdString()}};
    const QString s = sitzungFuer(host, port);
    if (!s.isEmpty())
        h.emplace(protokoll::SitzungKopf, s.toStdString());
    return h;
}

std::string jsonText(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

QJsonObject HttpTransport::antwortLesen(const httplib::Result &res, const QString &pfad) const
{
    const QJsonObject json = auswerten(res, pfad, m_pin && m_pin->abgelehnt);
    if (const QJsonValue s = json.value(QStringLiteral("session")); s.isString())
        setzeSitzung(m_host, m_port, s.toString());
    return json;
}

HttpTransport::HttpTransport(const QString &host, int port, const QString &ns) : m_host(host), m_port(port), m_ns(ns)
{
    // TLS writes to a connection the server closed would end the program
    // with SIGPIPE; they are to fail as errors instead.
    static const bool ohneSigpipe = [] { return ::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
    Q_UNUSED(ohneSigpipe);
    const QString text = zugangFuer(host, port);
    const auto schluessel = common::Zugangsschluessel::lesen(text);
    if (schluessel) {
        m_nachweis = schluessel->nachweis();
        m_pin = std::make_unique<Pin>();
        m_pin->fingerabdruck = QByteArray::fromHex(schluessel->fingerabdruck.toLatin1());
        auto ssl = std::make_unique<httplib::SSLClient>(host.toStdString(), port);
        // Not the usual chain of authorities: the certificate is the one the
        // key names, or the handshake fails before a byte of the request.
        ssl->enable_server_certificate_verification(false);
        SSL_CTX *ctx = ssl->ssl_context();
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
        SSL_CTX_set_cert_verify_callback(ctx, &Pin::pruefen, m_pin.get());
        m_client = std::move(ssl);
    } else {
        m_zugangsfehler = text.isEmpty() ? QStringLiteral("Dieser Arbeitsplatz hat keinen Zugangsschlüssel.")
                                         : QStringLiteral("Der Zugangsschlüssel hat nicht die Form NAME.GEHEIMNIS.FINGERABDRUCK.");
        m_client = std::make_unique<httplib::ClientImpl>(host.toStdString(), port);
    }
    m_client->set_connection_timeout(2, 0);
    m_client->set_read_timeout(300, 0);
    m_client->set_write_timeout(300, 0);
    m_client->set_keep_alive(true);
    m_client->set_tcp_nodelay(true);
}

HttpTransport::~HttpTransport() = default;

void HttpTransport::frisch()
{
    // The server closes a connection idle for its keep-alive time (5 s by
    // default); a request sent at that moment would be lost on the way.
    constexpr qint64 MaxRuheMs = 3000;
    if (m_zuletzt.isValid() && m_zuletzt.elapsed() > MaxRuheMs)
        m_client->stop();
    if (m_pin)
        m_pin->abgelehnt = false;
    m_zuletzt.start();
}

void HttpTransport::zugangPruefen() const
{
    if (!m_zugangsfehler.isEmpty())
        throw ServerFehler(401, QLatin1String(protokoll::KeinZugang), m_zugangsfehler);
}

template<typename F>
QJsonObject HttpTransport::mitAnmeldung(F anfrage)
{
    try {
        return anfrage();
    } catch (const ServerFehler &e) {
        if (e.code() != QLatin1String(protokoll::AnmeldungNoetig) || !anmelden())
            throw;
    }
    return anfrage();
}

template<typename F>
httplib::Result HttpTransport::nochmals(bool wiederholbar, F anfrage)
{
    httplib::Result res = anfrage();
    // A kept connection the server closed meanwhile: TLS leaves its closing
    // message in the socket, so the connection looked alive. A request that
    // could not be written did not arrive; one that changes nothing may be
    // sent again whatever happened.
    if (!res && (res.error() == httplib::Error::Write || (wiederholbar && res.error() == httplib::Error::Read))) {
        m_client->stop();
        if (m_pin)
            m_pin->abgelehnt = false;
        res = anfrage();
    }
    return res;
}

void HttpTransport::setzeLeseZeit(int sekunden)
{
    m_client->set_read_timeout(sekunden, 0);
}

QString HttpTransport::kodiert(const QString &teil)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(teil));
}

QString HttpTransport::basis(const QString &pfad) const
{
    return QStringLiteral("/v1/") + kodiert(m_ns) + u'/' + pfad;
}

QJsonObject HttpTransport::get(const QString &pfad)
{
    zugangPruefen();
    frisch();
    const QString p = basis(pfad);
    return antwortLesen(nochmals(true, [&] { return m_client->Get(p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port)); }), p);
}

QJsonObject HttpTransport::post(const QString &pfad, const QJsonObject &body)
{
    zugangPruefen();
    const QString p = basis(pfad);
    const std::string text = jsonText(body);
    return mitAnmeldung([&] {
        frisch();
        return antwortLesen(
            nochmals(false, [&] { return m_client->Post(p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port), text, protokoll::JsonTyp); }),
            p);
    });
}

QJsonObject HttpTransport::put(const QString &pfad, const QJsonObject &body)
{
    zugangPruefen();
    const QString p = basis(pfad);
    const std::string text = jsonText(body);
    return mitAnmeldung([&] {
        frisch();
        return antwortLesen(
            nochmals(false, [&] { return m_client->Put(p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port), text, protokoll::JsonTyp); }),
            p);
    });
}

QJsonObject HttpTransport::loeschen(const QString &pfad)
{
    zugangPruefen();
    const QString p = basis(pfad);
    return mitAnmeldung([&] {
        frisch();
        return antwortLesen(nochmals(false, [&] { return m_client->Delete(p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port)); }), p);
    });
}

QJsonObject HttpTransport::blobSenden(const QByteArray &daten)
{
    zugangPruefen();
    const QString p = basis(QStringLiteral("blob"));
    // An upload is a write: without a valid login the user is asked once.
    return mitAnmeldung([&] {
        frisch();
        return antwortLesen(nochmals(true,
                                     [&] {
                                         return m_client->Put(p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port), daten.constData(),
                                                              size_t(daten.size()), protokoll::BlobTyp);
                                     }),
                            p);
    });
}

QByteArray HttpTransport::blobHolen(const QString &blob)
{
    zugangPruefen();
    frisch();
    const QString p = basis(QStringLiteral("blob/") + kodiert(blob));
    auto res = nochmals(true, [&] { return m_client->Get(p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port)); });
    if (res && res->status == 200)
        return QByteArray(res->body.data(), qsizetype(res->body.size()));
    antwortLesen(res, p);
    throw ServerFehler(res->status, QStringLiteral("http"), QStringLiteral("HTTP %1 bei %2").arg(res->status).arg(p));
}

void HttpTransport::blobInDatei(const QString &blob, const QString &pfad)
{
    zugangPruefen();
    frisch();
    const QString p = basis(QStringLiteral("blob/") + kodiert(blob));
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly))
        throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
    int status = 0;
    std::string fehlerText;
    bool schreibfehler = false;
    auto res = m_client->Get(
        p.toStdString(), kopfzeilen(m_nachweis, m_host, m_port),
        [&](const httplib::Response &r) {
            status = r.status;
            return true;
        },
        [&](const char *daten, size_t laenge) {
            if (status != 200) {
                fehlerText.append(daten, laenge);
                return true;
            }
            if (datei.write(daten, qint64(laenge)) != qint64(laenge)) {
                schreibfehler = true;
                return false;
            }
            return true;
        });
    if (schreibfehler)
        throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
    if (!res || status != 200) {
        if (res)
            res->body = fehlerText;
        antwortLesen(res, p);
    }
    if (!datei.commit())
        throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
}

} // namespace archiv::server
