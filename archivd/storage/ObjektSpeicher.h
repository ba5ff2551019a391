#pragma once

#include "common/Protokoll.h"
#include "model/Modell.h"

#include <QHash>
#include <QVariant>

#include <mutex>
#include <optional>
#include <unordered_map>

namespace archiv::archivd {

class Datenbank;

// Reads, saves and deletes objects of any class of the model. The SQL is
// built from the class description, always with bound values.
class ObjektSpeicher
{
public:
    explicit ObjektSpeicher(Datenbank &db) : m_db(db) { }

    protokoll::ObjektDaten laden(const Klasse &k, const QString &id);

    // id empty: a new object. Runs in its own transaction.
    protokoll::SpeicherAntwort speichern(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a);
    // The same inside a transaction the caller holds, audited as a save over
    // the wire is (several saves that must stand or fall together).
    protokoll::SpeicherAntwort speichernVermerkt(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a);
    // The same inside a transaction the caller holds (bulk loads).
    protokoll::SpeicherAntwort speichernInTransaktion(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a);
    // A bulk load's write on the audit trail, as a save would put it: the
    // files it brought, the Beleg it belongs to (its state goes on the chain
    // at the commit, so values written after this call are in it).
    void gespeichertVermerken(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a, const QString &aktion);

    void loeschen(const Klasse &k, const QString &id);
    // Appends a write to the audit trail, under the workstation and user
    // of the request being answered; the caller holds the transaction.
    void vermerken(const Klasse &k, const QString &id, const QString &aktion, qint64 version, qint64 beleg, const QStringList &dateien);

    // The index values of a Beleg (its row): each replaces every value the
    // Beleg had for that company and property; trailing blanks are not kept
    // (the editor shows each value followed by one), and an empty value
    // removes them. Inside the caller's transaction.
    void indexSchreiben(qint64 beleg, const QList<protokoll::Indexwert> &werte);
    // Marks a Beleg due for the next backup volume.
    void geaendertVermerken(qint64 beleg);
    static constexpr int MaxIndexwerte = 1000;
    static constexpr int MaxScans = 10000;

    // Row id behind a public id; nullopt when no such object exists.
    std::optional<qint64> zeile(const Klasse &k, const QString &id);
    QString oeffentlicheId(const Klasse &k, qint64 zeile);
    // The Beleg a row of the class belongs to (itself, or an index value's
    // Beleg); 0 for rows of other classes.
    qint64 belegVon(const Klasse &k, qint64 zeile);

private:
    struct Auswahl
    {
        QString spalten; // "id, version, ..."
        QList<const Mitglied *> mitglieder; // in the order of the columns after id and version
    };
    const Auswahl &auswahl(const Klasse &k);
    // The same, telling the caller the row written.
    protokoll::SpeicherAntwort speichernInTransaktion(const Klasse &k, const QString &id, const protokoll::SpeicherAnfrage &a, qint64 &neu);
    protokoll::ObjektDaten ausZeile(const Klasse &k, const QVariantList &zeile, bool mitSammlungen);
    QString idAusZeile(const Klasse &k, const QVariantList &zeile);
    // One save, in steps: the columns the request sets, the row inserted or
    // updated with the version check, then each collection given.
    struct Spalten
    {
        QStringList namen;
        QVariantList werte;
        QList<std::pair<const Mitglied *, QVariant>> ersetzteStroeme; // member, new blob
        QVariantList alt; // the row before (keyed classes and stream changes)
    };
    qint64 schreiben(const Klasse &k, std::optional<qint64> zeile, const protokoll::SpeicherAnfrage &a, std::optional<qint64> version,
                     qint64 eltern, qint64 position, QMap<QString, QStringList> *elementIds);
    Spalten spaltenSammeln(const Klasse &k, std::optional<qint64> zeile, const protokoll::SpeicherAnfrage &a);
    QVariant alterWert(const Klasse &k, const QVariantList &alt, const QString &spalte);
    qint64 einfuegen(const Klasse &k, const protokoll::SpeicherAnfrage &a, const Spalten &sp, qint64 eltern, qint64 position);
    void aktualisieren(const Klasse &k, qint64 id, const Spalten &sp, std::optional<qint64> version, qint64 position);
    QStringList sammlungSchreiben(const Mitglied &m, qint64 id, const QList<protokoll::SpeicherAnfrage> &elemente);
    QVariant spaltenWert(const Klasse &k, const Mitglied &m, const QString &wert);
    void historie(const Klasse &k, qint64 zeile, const QString &member, const QString &blob, qint64 groesse);
    // A type's label counter before a save that sets it (nullopt otherwise),
    // and the run of numbers recorded when it moved on.
    std::optional<qint64> etikettenZaehler(const Klasse &k, qint64 zeile, const protokoll::SpeicherAnfrage &a);
    void etikettenlaufVermerken(qint64 belart, qint64 vorher);
    // The scan-store records a Beleg's save filed: deleted, each on record.
    void scansEntnehmen(qint64 beleg, const QStringList &scans);
    // The Beleg's picture state from its stored documents.
    void bildstatusSetzen(qint64 beleg);

    Datenbank &m_db;
    // Node-based: references handed out stay valid while other threads add classes.
    std::unordered_map<const Klasse *, Auswahl> m_auswahl;
    std::mutex m_auswahlMutex;
};

} // namespace archiv::archivd
