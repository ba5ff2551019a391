#pragma once

#include "storage/Datenbank.h"

namespace archiv::archivd {

// The embedded archive: one file, WAL journal, synchronous=FULL, so that a
// confirmed save survives a crash. Writers are serialised in-process.
class SqliteDatenbank : public Datenbank
{
public:
    explicit SqliteDatenbank(QString pfad);

    Art art() const override { return Art::Sqlite; }
    QString beschreibung() const override { return m_pfad; }
    void setzeNaechsteId(const QString &tabelle, qint64 n) override;
    bool pruefeIntegritaet(QString *bericht) override;
    QString ganzzahl(const QString &spalte) const override;
    void optimieren() override;

protected:
    QSqlDatabase neueVerbindung(const QString &name) override;
    void einrichten(QSqlDatabase &db) override;
    QString dialekt(QString sql) const override;
    void beginnen(QSqlDatabase &db) override;
    std::mutex *schreibSperre() override { return &m_schreiben; }
    // A failed statement never loses the file.
    bool lebt(QSqlDatabase &) override { return true; }

private:
    QString m_pfad;
    std::mutex m_schreiben;
};

} // namespace archiv::archivd
