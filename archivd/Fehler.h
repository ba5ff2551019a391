#pragma once

#include <QString>

#include <stdexcept>

namespace archiv::archivd {

// An error that reaches the client as {"error": {"code", "message"}} with
// the given HTTP status.
class AnfrageFehler : public std::runtime_error
{
public:
    AnfrageFehler(int status, QString code, const QString &meldung)
        : std::runtime_error(meldung.toStdString()), m_status(status), m_code(std::move(code)), m_meldung(meldung)
    {
    }

    int status() const { return m_status; }
    const QString &code() const { return m_code; }
    const QString &meldung() const { return m_meldung; }

    static AnfrageFehler ungueltig(const QString &m) { return {400, QStringLiteral("bad_request"), m}; }
    static AnfrageFehler unbekannt(const QString &code, const QString &m) { return {404, code, m}; }
    static AnfrageFehler verboten(const QString &m) { return {403, QStringLiteral("forbidden"), m}; }
    static AnfrageFehler konflikt(const QString &m) { return {409, QStringLiteral("conflict"), m}; }
    static AnfrageFehler zuGross(const QString &m) { return {413, QStringLiteral("too_large"), m}; }
    static AnfrageFehler speicher(const QString &m) { return {500, QStringLiteral("storage"), m}; }

private:
    int m_status;
    QString m_code;
    QString m_meldung;
};

} // namespace archiv::archivd
