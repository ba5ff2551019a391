#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace archiv::server {

class HttpTransport;

// What a class method gives back: one value, or a list object with Count and
// elements from 1.
class MethodenErgebnis
{
public:
    MethodenErgebnis() = default;
    explicit MethodenErgebnis(QString wert) : m_wert(std::move(wert)) { }
    explicit MethodenErgebnis(QStringList liste) : m_liste(std::move(liste)), m_istListe(true) { }

    QString wert() const { return m_istListe ? m_liste.join(u'\n') : m_wert; }
    bool istListe() const { return m_istListe; }
    int Count() const { return int(m_liste.size()); }
    QString element(int i) const { return m_liste.value(i - 1); }

private:
    QString m_wert;
    QStringList m_liste;
    bool m_istListe = false;
};

// The class-method handle of one class (ClassMethods).
class KlassenMethoden
{
public:
    KlassenMethoden(std::shared_ptr<HttpTransport> transport, QString klasse)
        : m_transport(std::move(transport)), m_klasse(std::move(klasse))
    {
    }

    MethodenErgebnis call(const QString &methode, const QStringList &args = {});

private:
    std::shared_ptr<HttpTransport> m_transport;
    QString m_klasse;
};

} // namespace archiv::server
