#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>

// Request and answer bodies of the archive protocol, shared by the client
// connection and the server so that both read and write the same shapes.
// Every value is a JSON string; docs/protocol.md describes the same thing.
namespace archiv::protokoll {

inline constexpr auto Version = "1";
inline constexpr auto JsonTyp = "application/json; charset=utf-8";
inline constexpr auto BlobTyp = "application/octet-stream";

// Every request carries the workstation's proof of its access key
// ("Bearer NAME.SECRET"); writes carry the session of a logged-in WWS user.
inline constexpr auto ZugangKopf = "Authorization";
inline constexpr auto ZugangArt = "Bearer ";
inline constexpr auto SitzungKopf = "X-Archiv-Sitzung";
// Error codes the client acts on: no valid key (401), a write without a
// valid session (403).
inline constexpr auto KeinZugang = "unauthorized";
inline constexpr auto AnmeldungNoetig = "login_required";

// A body that does not have the documented shape.
class FormFehler : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct StromDaten
{
    QString blob; // sha256 hex, empty for an empty stream
    qint64 groesse = 0;
};

// An object as the server sends it (GET object, referenced objects, elements).
struct ObjektDaten
{
    QString klasse;
    QString id;
    qint64 version = 0;
    QMap<QString, QString> props;
    QMap<QString, ObjektDaten> refs;
    QMap<QString, QList<ObjektDaten>> collections;
    QMap<QString, StromDaten> streams;

    QJsonObject toJson() const;
    static ObjektDaten fromJson(const QJsonObject &json);
};

// A save (new object, changed object or collection element).
// An index value of a Beleg, written with its save: every value the Beleg
// had for that company and property is replaced (an empty value removes them).
struct Indexwert
{
    QString firma;
    QString eigenschaft;
    QString wert;
};

struct SpeicherAnfrage
{
    QString id; // elements only: empty for a new element
    std::optional<qint64> version; // the version read; absent for new objects
    QMap<QString, QString> props;
    QMap<QString, QString> refs; // reference name -> object id ("" clears)
    QMap<QString, QList<SpeicherAnfrage>> collections;
    QMap<QString, QString> streams; // stream name -> blob ("" empties)
    QList<Indexwert> index; // AR.Dokumente only
    // AR.Dokumente only: the scan-store records whose pages this save files;
    // they leave the store in the save's own transaction.
    QStringList scans;

    QJsonObject toJson() const;
    static SpeicherAnfrage fromJson(const QJsonObject &json);
};

struct SpeicherAntwort
{
    QString id;
    qint64 version = 0;
    QMap<QString, QStringList> collections; // element ids in order

    QJsonObject toJson() const;
    static SpeicherAntwort fromJson(const QJsonObject &json);
};

struct AbfrageAnfrage
{
    QString klasse;
    QString abfrage;
    QStringList args;

    QJsonObject toJson() const;
    static AbfrageAnfrage fromJson(const QJsonObject &json);
};

struct AufrufAnfrage
{
    QString klasse;
    QString methode;
    QStringList args;
    QString id; // set for a method of one object, empty for a class method

    QJsonObject toJson() const;
    static AufrufAnfrage fromJson(const QJsonObject &json);
};

using Zeilen = QList<QStringList>;

QJsonObject zeilenJson(const Zeilen &zeilen);
Zeilen zeilenAusJson(const QJsonObject &json);

// A class method answers one value or a list of values.
struct AufrufErgebnis
{
    QString wert;
    std::optional<QStringList> liste;
    QString sitzung{}; // a successful password check opens a session

    QJsonObject toJson() const;
    static AufrufErgebnis fromJson(const QJsonObject &json);
};

struct FehlerDaten
{
    QString code;
    QString message;

    QJsonObject toJson() const;
    static FehlerDaten fromJson(const QJsonObject &json);
};

// Helpers for reading bodies strictly.
QString textFeld(const QJsonObject &json, const char *name, bool pflicht = true);
QStringList textListe(const QJsonValue &wert, const char *name);
QMap<QString, QString> textMap(const QJsonValue &wert, const char *name);

} // namespace archiv::protokoll
