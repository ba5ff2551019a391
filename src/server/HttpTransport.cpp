#include "server/HttpTransport.h"

#include "common/Protokoll.h"

#include <QJsonDocument>
#include <QSaveFile>
#include <QUrl>

#include <httplib.h>

namespace archiv::server {

namespace {

QJsonObject auswerten(const httplib::Result &res, const QString &pfad)
{
    if (!res)
        throw ServerFehler(
            0, QStringLiteral("connection"),
            QStringLiteral("Keine Verbindung zum Archivserver (%1)").arg(QString::fromStdString(httplib::to_string(res.error()))));
    const QByteArray body = QByteArray::fromRawData(res->body.data(), qsizetype(res->body.size()));
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    if (res->status >= 300) {
        const auto f = protokoll::FehlerDaten::fromJson(json);
        throw ServerFehler(res->status, f.code.isEmpty() ? QStringLiteral("http") : f.code,
                           f.message.isEmpty() ? QStringLiteral("HTTP %1 bei %2").arg(res->status).arg(pfad) : f.message);
    }
    return json;
}

std::string jsonText(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

HttpTransport::HttpTransport(const QString &host, int port, const QString &ns)
    : m_client(std::make_unique<httplib::Client>(host.toStdString(), port)), m_ns(ns)
{
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
    m_zuletzt.start();
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
    frisch();
    const QString p = basis(pfad);
    return auswerten(m_client->Get(p.toStdString()), p);
}

QJsonObject HttpTransport::post(const QString &pfad, const QJsonObject &body)
{
    frisch();
    const QString p = basis(pfad);
    return auswerten(m_client->Post(p.toStdString(), jsonText(body), protokoll::JsonTyp), p);
}

QJsonObject HttpTransport::put(const QString &pfad, const QJsonObject &body)
{
    frisch();
    const QString p = basis(pfad);
    return auswerten(m_client->Put(p.toStdString(), jsonText(body), protokoll::JsonTyp), p);
}

QJsonObject HttpTransport::loeschen(const QString &pfad)
{
    frisch();
    const QString p = basis(pfad);
    return auswerten(m_client->Delete(p.toStdString()), p);
}

QJsonObject HttpTransport::blobSenden(const QByteArray &daten)
{
    frisch();
    const QString p = basis(QStringLiteral("blob"));
    return auswerten(m_client->Put(p.toStdString(), daten.constData(), size_t(daten.size()), protokoll::BlobTyp), p);
}

QByteArray HttpTransport::blobHolen(const QString &blob)
{
    frisch();
    const QString p = basis(QStringLiteral("blob/") + kodiert(blob));
    auto res = m_client->Get(p.toStdString());
    if (res && res->status == 200)
        return QByteArray(res->body.data(), qsizetype(res->body.size()));
    auswerten(res, p);
    throw ServerFehler(res->status, QStringLiteral("http"), QStringLiteral("HTTP %1 bei %2").arg(res->status).arg(p));
}

void HttpTransport::blobInDatei(const QString &blob, const QString &pfad)
{
    frisch();
    const QString p = basis(QStringLiteral("blob/") + kodiert(blob));
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly))
        throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
    int status = 0;
    std::string fehlerText;
    bool schreibfehler = false;
    auto res = m_client->Get(
        p.toStdString(),
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
        auswerten(res, p);
    }
    if (!datei.commit())
        throw ServerFehler(0, QStringLiteral("file"), QStringLiteral("%1 lässt sich nicht schreiben: %2").arg(pfad, datei.errorString()));
}

} // namespace archiv::server
