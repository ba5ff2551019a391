#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace archiv::archivd {

class Datenbank;

// A text with its control characters (line ends, tabs, the Unicode line
// and paragraph separators, direction marks) written as escapes, so that
// one audit entry is always one line of one text. What is stored escapes
// its backslashes too; what is printed keeps them.
QString steuerzeichenMaskiert(const QString &text, bool rueckstriche = true);

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
    // zertifikat: the fingerprint of the certificate the key names.
    bool anlegen(const QString &name, const QString &schluesselHash, const QString &zertifikat);
    bool widerrufen(const QString &name); // false when no valid key has that name
    QList<Arbeitsplatz> liste();
    // The workstation's valid key: its hash and the certificate it was
    // issued for (empty for keys issued before that was kept).
    struct Schluessel
    {
        QString hash;
        QString zertifikat;
    };
    std::optional<Schluessel> schluessel(const QString &name);

    // Sessions, by the hash of their token; times are UTC ISO strings with
    // milliseconds (they sort as they compare).
    struct Sitzung
    {
        QString benutzer;
        QString arbeitsplatz;
        QString beginn;
        QString zuletzt;
        QString schluessel; // hash of the key the workstation used
    };
    // Drops the sessions begun before beginnGrenze or unused since
    // ruheGrenze, then records the new one.
    void sitzungAnlegen(const QString &tokenHash, const Sitzung &s, const QString &beginnGrenze, const QString &ruheGrenze);
    std::optional<Sitzung> sitzung(const QString &tokenHash);
    void sitzungBenutzt(const QString &tokenHash, const QString &zeit);
    void sitzungLoeschen(const QString &tokenHash);
    void sitzungenBeenden(const QString &benutzer);

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
    // Appends to the trail, in the caller's transaction when it holds one;
    // the entry goes on the hash chain when that transaction commits.
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
