#include "server/ErgebnisMenge.h"

#include "server/HttpTransport.h"

namespace archiv::server {

ErgebnisMenge::ErgebnisMenge(std::shared_ptr<HttpTransport> transport, QString klasse, QString abfrage)
    : m_transport(std::move(transport)), m_klasse(std::move(klasse)), m_abfrage(std::move(abfrage))
{
}

void ErgebnisMenge::Execute(const QStringList &args)
{
    const protokoll::AbfrageAnfrage a{m_klasse, m_abfrage, args};
    m_zeilen = protokoll::zeilenAusJson(m_transport->post(QStringLiteral("query"), a.toJson()));
    m_zeile = -1;
}

bool ErgebnisMenge::Next()
{
    if (m_zeile < m_zeilen.size())
        ++m_zeile;
    return m_zeile < m_zeilen.size();
}

QString ErgebnisMenge::GetData(int spalte) const
{
    if (m_zeile < 0 || m_zeile >= m_zeilen.size())
        return {};
    return m_zeilen.at(m_zeile).value(spalte - 1);
}

void ErgebnisMenge::Close()
{
    m_zeilen.clear();
    m_zeile = -1;
}

} // namespace archiv::server
