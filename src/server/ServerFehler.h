#pragma once

#include <QString>

#include <stdexcept>

namespace archiv::server {

// A failed call on the archive connection, with the server's message.
class ServerFehler : public std::runtime_error
{
public:
    ServerFehler(int status, QString code, const QString &meldung)
        : std::runtime_error(meldung.toStdString()), m_status(status), m_code(std::move(code)), m_meldung(meldung)
    {
    }

    int status() const { return m_status; } // 0: no answer from the server
    const QString &code() const { return m_code; }
    const QString &meldung() const { return m_meldung; }

private:
    int m_status;
    QString m_code;
    QString m_meldung;
};

} // namespace archiv::server
