#pragma once

#include "storage/Datenbank.h"

#include <QUrl>

namespace archiv::archivd {

// PostgreSQL for larger installations: the server keeps no state of its own,
// so several servers can share one database.
class PostgresDatenbank : public Datenbank
{
public:
    explicit PostgresDatenbank(const QString &url);

    Art art() const override { return Art::Postgres; }
    QString beschreibung() const override;
    void setzeNaechsteId(const QString &tabelle, qint64 n) override;
    bool pruefeIntegritaet(QString *bericht) override;
    QString ganzzahl(const QString &spalte) const override;
    void optimieren() override;

protected:
    QSqlDatabase neueVerbindung(const QString &name) override;
    void einrichten(QSqlDatabase &db) override;
    QString dialekt(QString sql) const override;
    void beginnen(QSqlDatabase &db) override;

private:
    QUrl m_url;
};

} // namespace archiv::archivd
