#pragma once

#include "common/Protokoll.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace archiv::archivd {

class Datenbank;
class ObjektSpeicher;
class BlobSpeicher;

struct Kontext
{
    Datenbank &db;
    ObjektSpeicher &objekte;
    BlobSpeicher &blobs;
};

using AbfrageFunktion = std::function<protokoll::Zeilen(Kontext &, const QStringList &args)>;
// id is set when the method was called on one object.
using MethodenFunktion = std::function<protokoll::AufrufErgebnis(Kontext &, const QStringList &args, const QString &id)>;

struct AbfrageEintrag
{
    QString klasse;
    QString name;
    int minArgs = 0;
    int maxArgs = 0;
    AbfrageFunktion ausfuehren;
};

struct MethodenEintrag
{
    QString klasse;
    QString name;
    int minArgs = 0;
    int maxArgs = 0;
    MethodenFunktion ausfuehren;
    bool objektMethode = false; // needs the id of an object
    // A method that changes the archive: it needs a user's session, runs in
    // a transaction of its own and is recorded in the audit trail, with the
    // Beleg its argument belegArgument names (-1: none).
    bool schreibt = false;
    int belegArgument = -1;
    // The argument that names the company written to (-1: none); a session
    // writes for its user's company only.
    int firmaArgument = -1;
};

// Marks a method as one that writes.
inline MethodenEintrag schreibend(MethodenEintrag e, int belegArgument = -1, int firmaArgument = -1)
{
    e.schreibt = true;
    e.belegArgument = belegArgument;
    e.firmaArgument = firmaArgument;
    return e;
}

// Every class query and class method the server answers. Each is added in
// one place (a registrieren... function in storage/abfragen) and reached by
// class and name.
class Registry
{
public:
    static const Registry &standard();

    void abfrage(AbfrageEintrag e);
    void methode(MethodenEintrag e);

    // Throw AnfrageFehler (404 unknown, 400 wrong argument count).
    const AbfrageEintrag &findeAbfrage(const QString &klasse, const QString &name, int argumente) const;
    const MethodenEintrag &findeMethode(const QString &klasse, const QString &name, int argumente) const;

    const QList<AbfrageEintrag> &abfragen() const { return m_abfragen; }
    const QList<MethodenEintrag> &methoden() const { return m_methoden; }

private:
    QList<AbfrageEintrag> m_abfragen;
    QList<MethodenEintrag> m_methoden;
};

} // namespace archiv::archivd
