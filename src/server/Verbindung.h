#pragma once

#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Objekt.h"

#include <QString>

#include <memory>

namespace archiv::server {

class HttpTransport;

// The connection to one namespace of an archive server. Calls are
// synchronous; a failed call throws ServerFehler with the server's message.
class Verbindung
{
public:
    Verbindung();
    ~Verbindung();

    // True when the server answered for that namespace. A malformed
    // connection string, a refused port or an unreachable host give false
    // within a few seconds.
    bool Connect(const QString &verbindungstext);
    bool IsConnected() const;
    // Why the last Connect failed ("" after a success); keinZugang() when
    // the server or the key refused this workstation.
    QString letzterFehler() const { return m_fehler; }
    bool keinZugang() const { return m_keinZugang; }
    void Disconnect();

    Objekt New(const QString &klasse);
    // An empty object (istLeer) when no object has that id.
    Objekt OpenId(const QString &klasse, const QString &id);
    KlassenMethoden ClassMethods(const QString &klasse);
    ErgebnisMenge ResultSet(const QString &klasse, const QString &abfrage);

    QString namensraum() const;

private:
    std::shared_ptr<HttpTransport> transport() const;
    std::shared_ptr<HttpTransport> m_transport;
    QString m_fehler;
    bool m_keinZugang = false;
};

} // namespace archiv::server
