#pragma once

#include "common/Protokoll.h"
#include "server/ServerFehler.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace archiv::server {

class HttpTransport;
struct ObjektZustand;
struct SammlungZustand;
struct StromZustand;
class Sammlung;
class Datenstrom;

// An archive object: properties, references, collections and streams reached
// by name (names match without regard to case), saved as a whole.
class Objekt
{
public:
    Objekt() = default;
    explicit Objekt(std::shared_ptr<ObjektZustand> zustand) : d(std::move(zustand)) { }

    // An object that OpenId did not find: no class, every property empty.
    bool istLeer() const { return !d; }
    QString klasse() const;

    QString get(const QString &name) const;
    void set(const QString &name, const QString &wert);

    // Methods by name: SYS_Save, SYS_Id, SYS_Close, name + "SetObjectId",
    // name + "GetObjectId", and the server's own methods of the class.
    QString call(const QString &name, const QStringList &args = {});

    Objekt ref(const QString &name) const; // the referenced object (its properties)
    QString refId(const QString &name) const;
    void setRef(const QString &name, const QString &id);

    // An index value saved with this Beleg in the same transaction; it
    // replaces the Beleg's values of that company and property (an empty
    // value removes them).
    void indexwertSetzen(const QString &firma, int eigenschaft, const QString &wert);
    // Scan-store records whose pages this Beleg's save files: they leave
    // the store in the same transaction, or stay when the save fails.
    void scansEntnehmen(const QStringList &ids);

    Sammlung sammlung(const QString &name);
    Datenstrom strom(const QString &name);

    // 1 on success; anything else is failure (letzterFehler says why). A
    // save from a stale copy fails instead of overwriting another's work.
    int SYS_Save();
    QString SYS_Id() const;
    // The version read or last saved. A copy read later can be told the
    // version the user's work started from: its save then fails when
    // someone saved in between.
    qint64 version() const;
    void versionSetzen(qint64 version);
    void SYS_Close();
    void SYS_DeleteId(const QString &id);
    QString letzterFehler() const;
    // The HTTP status of the last failed save (409: someone saved first;
    // 0: no answer from the server).
    int letzterStatus() const;
    // The last failed save as the error a caller throws on.
    ServerFehler letzterFehlerAlsAusnahme() const;

private:
    friend class Sammlung;
    friend struct ObjektZustand;
    std::shared_ptr<ObjektZustand> d;
};

// A collection of an object (such as Doks): elements from 1 to Count.
class Sammlung
{
public:
    int Count() const;
    Objekt getat(int i) const; // from 1
    void Insert(const Objekt &element);

private:
    friend class Objekt;
    std::shared_ptr<SammlungZustand> d;
};

// A file stream of an object (such as dok). Page files travel only this way.
class Datenstrom
{
public:
    qint64 groesse() const;
    void Rewind();
    QByteArray Read(qint64 laenge);
    void FileRead(const QString &pfad); // fill the stream from a local file
    void Write(const QByteArray &daten); // fill the stream from memory
    void FileWrite(const QString &pfad); // write the stream to a local file

private:
    friend class Objekt;
    std::shared_ptr<StromZustand> d;
};

// Called by SYS_Save after the object's files went up and before the object
// itself is sent, with the class name: a test makes a save fail exactly at
// that moment (the server stopped, or another workstation saving first).
void setzeVorDemSpeichern(std::function<void(const QString &klasse)> haken);

} // namespace archiv::server
