#include "server/Verbindung.h"

#include "server/HttpTransport.h"
#include "server/ObjektZustand.h"
#include "server/ServerFehler.h"
#include "server/Verbindungstext.h"

namespace archiv::server {

Verbindung::Verbindung() = default;
Verbindung::~Verbindung() = default;

bool Verbindung::Connect(const QString &verbindungstext)
{
    m_transport.reset();
    m_fehler.clear();
    m_keinZugang = false;
    const auto adresse = Verbindungsadresse::lesen(verbindungstext);
    if (!adresse) {
        m_fehler = QStringLiteral("Ungültige Adresse des Archivservers: %1").arg(verbindungstext);
        return false;
    }
    auto t = std::make_shared<HttpTransport>(adresse->host, adresse->port, adresse->ns);
    try {
        // A peer that accepts but never answers must not hang the start.
        t->setzeLeseZeit(5);
        const QJsonObject antwort = t->get(QStringLiteral("ping"));
        t->setzeLeseZeit(300);
        if (antwort.value(QStringLiteral("namespace")).toString() != adresse->ns) {
            m_fehler = QStringLiteral("Der Server bedient %1 nicht").arg(adresse->ns);
            return false;
        }
    } catch (const ServerFehler &e) {
        m_fehler = e.meldung();
        m_keinZugang = e.code() == QLatin1String(protokoll::KeinZugang);
        return false;
    }
    m_transport = std::move(t);
    return true;
}

bool Verbindung::IsConnected() const
{
    return m_transport != nullptr;
}

void Verbindung::Disconnect()
{
    m_transport.reset();
}

QString Verbindung::namensraum() const
{
    return m_transport ? m_transport->ns() : QString();
}

std::shared_ptr<HttpTransport> Verbindung::transport() const
{
    if (!m_transport)
        throw ServerFehler(0, QStringLiteral("not_connected"), QStringLiteral("Keine Verbindung zum Archivserver"));
    return m_transport;
}

Objekt Verbindung::New(const QString &klasse)
{
    auto z = std::make_shared<ObjektZustand>();
    protokoll::ObjektDaten leer;
    leer.klasse = klasse;
    z->transport = transport();
    z->uebernehmen(leer);
    return Objekt(z);
}

Objekt Verbindung::OpenId(const QString &klasse, const QString &id)
{
    auto t = transport();
    try {
        const QJsonObject json = t->get(QStringLiteral("object/") + HttpTransport::kodiert(klasse) + u'/' + HttpTransport::kodiert(id));
        auto z = std::make_shared<ObjektZustand>();
        z->transport = t;
        z->uebernehmen(protokoll::ObjektDaten::fromJson(json));
        return Objekt(z);
    } catch (const ServerFehler &e) {
        if (e.code() == QLatin1String("unknown_id"))
            return {};
        throw;
    }
}

KlassenMethoden Verbindung::ClassMethods(const QString &klasse)
{
    return KlassenMethoden(transport(), klasse);
}

ErgebnisMenge Verbindung::ResultSet(const QString &klasse, const QString &abfrage)
{
    return ErgebnisMenge(transport(), klasse, abfrage);
}

} // namespace archiv::server
