#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace archiv::archivd {

class Datenbank;

// What the administration commands and the demo generator change beside the
// object store: passwords, the active flag of WWS users, backup records.
// Callers hold the transaction.
class Verwaltungsspeicher
{
public:
    explicit Verwaltungsspeicher(Datenbank &db) : m_db(db) { }

    // The user's Argon2id hash (row id of TS.ParPersEdv); counts as a save.
    void passwortSetzen(qint64 zeile, const QString &hash);
    void benutzerDeaktivieren(qint64 zeile);

    // Records that every Beleg not yet backed up, or changed since its last
    // backup, is on the volume dvd; returns how many.
    qint64 sicherungVermerken(const QString &dvd, const QString &datum);

    // What a backup volume holds of a Beleg.
    struct Sicherungsbeleg
    {
        qint64 id = 0;
        QStringList kopf; // firma, type code, number, date, time, private, text
        QString storno;
        struct Datei
        {
            int nr = 0;
            QString doktyp, doktext, daterst, blob;
            qint64 groesse = 0;
            QString dateiname, bericht; // a received original's name and the check's findings
        };
        QList<Datei> dateien;
        QList<std::pair<QString, QString>> werte; // property, value
        qint64 bytes() const;
    };
    // The Belege due for the next backup volume (never backed up, or changed
    // after their last backup began), oldest first, n at a time after id ab.
    QList<Sicherungsbeleg> faelligeBelege(qint64 ab, int n);
    // Records that the Belege are on the volume; zeitpunkt is when the
    // backup began (ISO date and time).
    void sicherungVermerken(const QList<qint64> &belege, const QString &band, const QString &zeitpunkt);

    // Object id and number of the first n Belege of a type (the demo's
    // scan intake records refer to them).
    QList<std::pair<QString, QString>> ersteBelege(int firma, const QString &belart, int n);

private:
    static QString gesichertNach();
    Datenbank &m_db;
};

} // namespace archiv::archivd
