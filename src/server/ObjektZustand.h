#pragma once

// The state behind Objekt, Sammlung and Datenstrom handles; private to this
// library.

#include "common/Protokoll.h"
#include "server/Objekt.h"

#include <QHash>
#include <QSet>

#include <memory>

namespace archiv::server {

struct StromZustand
{
    std::shared_ptr<HttpTransport> transport;
    QString name;
    QString blob;
    qint64 groesse = 0;
    qint64 pos = 0;
    QByteArray inhalt;
    bool geladen = false;
    bool geaendert = false;
};

struct SammlungZustand
{
    QString name;
    QList<Objekt> elemente;
    bool geaendert = false;
};

struct ObjektZustand
{
    std::shared_ptr<HttpTransport> transport;
    QString klasse;
    QString id;
    qint64 version = 0;
    bool element = false;
    QHash<QString, QString> namen; // lower case -> name as first used
    QHash<QString, QString> props;
    QSet<QString> geaendert;
    QHash<QString, protokoll::ObjektDaten> refs;
    QSet<QString> refsGeaendert;
    QHash<QString, std::shared_ptr<SammlungZustand>> sammlungen;
    QHash<QString, std::shared_ptr<StromZustand>> stroeme;
    QList<protokoll::Indexwert> index;
    QStringList scans;
    QString letzterFehler;
    int letzterStatus = 0;
    QString letzterCode;

    QString merke(const QString &name)
    {
        const QString k = name.toLower();
        if (!namen.contains(k))
            namen.insert(k, name);
        return k;
    }

    bool hatAenderungen() const;
    protokoll::SpeicherAnfrage anfrage(bool alles) const;
    void uebernehmen(const protokoll::ObjektDaten &daten);
    void gespeichert();
};

} // namespace archiv::server
