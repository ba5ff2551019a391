#pragma once

#include "common/Protokoll.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace archiv::server {

class HttpTransport;

// A class query: Execute with its arguments, then Next and GetData(n) per row.
class ErgebnisMenge
{
public:
    ErgebnisMenge(std::shared_ptr<HttpTransport> transport, QString klasse, QString abfrage);

    void Execute(const QStringList &args = {});
    template<typename... T>
    void Execute(const T &...args)
    {
        Execute(QStringList{QString(args)...});
    }
    bool Next();
    QString GetData(int spalte) const; // from 1; empty when missing
    void Close();

    int zeilenzahl() const { return int(m_zeilen.size()); }

private:
    std::shared_ptr<HttpTransport> m_transport;
    QString m_klasse;
    QString m_abfrage;
    protokoll::Zeilen m_zeilen;
    qsizetype m_zeile = -1;
};

} // namespace archiv::server
