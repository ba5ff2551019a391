#include "server/KlassenMethoden.h"

#include "common/Protokoll.h"
#include "server/HttpTransport.h"

namespace archiv::server {

MethodenErgebnis KlassenMethoden::call(const QString &methode, const QStringList &args)
{
    const protokoll::AufrufAnfrage a{m_klasse, methode, args, {}};
    const auto e = protokoll::AufrufErgebnis::fromJson(m_transport->post(QStringLiteral("call"), a.toJson()));
    return e.liste ? MethodenErgebnis(*e.liste) : MethodenErgebnis(e.wert);
}

} // namespace archiv::server
