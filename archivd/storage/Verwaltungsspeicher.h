#pragma once

#include <QList>
#include <QString>

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

    // Object id and number of the first n Belege of a type (the demo's
    // scan intake records refer to them).
    QList<std::pair<QString, QString>> ersteBelege(int firma, const QString &belart, int n);

private:
    Datenbank &m_db;
};

} // namespace archiv::archivd
