#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace archiv::archivd {

class Datenbank;

// The enrolled workstations and the audit trail of writes.
class Zugangsspeicher
{
public:
    explicit Zugangsspeicher(Datenbank &db) : m_db(db) { }

    struct Arbeitsplatz
    {
        QString name;
        QString angelegt;
        QString widerrufen; // empty while the key is valid
    };
    // False when the name has a valid key already; a revoked one is replaced.
    bool anlegen(const QString &name, const QString &schluesselHash);
    bool widerrufen(const QString &name); // false when no valid key has that name
    QList<Arbeitsplatz> liste();
    // The hash of the workstation's valid key, nullopt when it has none.
    std::optional<QString> schluesselHash(const QString &name);

    // Sessions, by the hash of their token; times are UTC ISO strings with
    // milliseconds (they sort as they compare).
    struct Sitzung
    {
        QString benutzer;
        QString arbeitsplatz;
        QString beginn;
        QString zuletzt;
    };
    // Drops the sessions begun before beginnGrenze or unused since
    // ruheGrenze, then records the new one.
    void sitzungAnlegen(const QString &tokenHash, const Sitzung &s, const QString &beginnGrenze, const QString &ruheGrenze);
    std::optional<Sitzung> sitzung(const QString &tokenHash);
    void sitzungBenutzt(const QString &tokenHash, const QString &zeit);
    void sitzungLoeschen(const QString &tokenHash);

    struct Eintrag
    {
        QString zeit; // UTC, ISO with milliseconds
        QString arbeitsplatz;
        QString benutzer; // FIRMA||CODE of the session, empty without one
        QString klasse;
        QString objekt;
        QString aktion; // "neu", "geändert", "gelöscht" or a method's name
        qint64 version = 0;
        qint64 beleg = 0; // the Beleg the write belongs to, 0 for none
        QStringList dateien; // SHA-256 of the files the write stored
    };
    // Appends to the trail; the caller holds the write's transaction.
    void vermerken(const Eintrag &e);
    // Oldest first; a Beleg (0: all) and a start (ISO date or date and
    // time, empty: from the beginning); at most grenze entries.
    QList<Eintrag> protokoll(qint64 beleg, const QString &seit, int grenze = 100000);
    // The last write of a Beleg on record, nullopt when none is.
    std::optional<Eintrag> letzteAenderung(qint64 beleg);

private:
    Datenbank &m_db;
};

} // namespace archiv::archivd
