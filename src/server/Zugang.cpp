#include "server/Zugang.h"

#include <QHash>

#include <mutex>

namespace archiv::server {

namespace {

struct Zustand
{
    std::mutex mutex;
    QString zugang;
    QHash<QString, QString> zugaenge; // "host:port" -> key
    QString sitzung;
    QHash<QString, QString> sitzungen; // "host:port" -> session
    std::function<bool()> anmelder;
};

Zustand &zustand()
{
    static Zustand z;
    return z;
}

QString adresse(const QString &host, int port)
{
    return host.toLower() + u':' + QString::number(port);
}

} // namespace

void setzeZugang(const QString &schluessel)
{
    std::lock_guard sperre(zustand().mutex);
    zustand().zugang = schluessel.trimmed();
}

void setzeZugangFuer(const QString &host, int port, const QString &schluessel)
{
    std::lock_guard sperre(zustand().mutex);
    zustand().zugaenge.insert(adresse(host, port), schluessel.trimmed());
}

QString zugangFuer(const QString &host, int port)
{
    std::lock_guard sperre(zustand().mutex);
    return zustand().zugaenge.value(adresse(host, port), zustand().zugang);
}

void setzeSitzung(const QString &host, int port, const QString &sitzung)
{
    std::lock_guard sperre(zustand().mutex);
    zustand().sitzung = sitzung;
    zustand().sitzungen.insert(adresse(host, port), sitzung);
}

QString sitzungFuer(const QString &host, int port)
{
    std::lock_guard sperre(zustand().mutex);
    return zustand().sitzungen.value(adresse(host, port), zustand().sitzung);
}

bool hatSitzung()
{
    std::lock_guard sperre(zustand().mutex);
    return !zustand().sitzung.isEmpty();
}

void sitzungBeenden()
{
    std::lock_guard sperre(zustand().mutex);
    zustand().sitzung.clear();
    zustand().sitzungen.clear();
}

void setzeAnmelder(std::function<bool()> anmelder)
{
    std::lock_guard sperre(zustand().mutex);
    zustand().anmelder = std::move(anmelder);
}

namespace {
thread_local int ohneAnmeldung = 0;
}

OhneAnmeldung::OhneAnmeldung()
{
    ++ohneAnmeldung;
}

OhneAnmeldung::~OhneAnmeldung()
{
    --ohneAnmeldung;
}

bool anmelden()
{
    if (ohneAnmeldung > 0)
        return false;
    std::function<bool()> a;
    {
        std::lock_guard sperre(zustand().mutex);
        a = zustand().anmelder;
    }
    return a && a();
}

} // namespace archiv::server
