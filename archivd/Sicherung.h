#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace archiv::archivd {

class Datenbank;

// Backup volumes: the Belege due since the last backup written into folders
// of at most a DVD's size, each with the document files, the Belege and
// their index values as CSV and a manifest of SHA-256 sums (the form
// sha256sum -c reads). A volume is recorded in the archive only once it is
// complete on disk; what "Info DVD" shows comes from that record.
struct Sicherungsauftrag
{
    QString ziel;                         // folder the volumes go into
    QString name = QStringLiteral("ARCHIV"); // volume names: NAME-YYYYMMDD-HHMMSS-N
    qint64 bandGroesse = 4'700'000'000;   // bytes of documents per volume
};

struct Sicherungsbericht
{
    QStringList baende;
    qint64 belege = 0;
    qint64 bytes = 0;
    QStringList fehler; // Belege left out (their file unreadable); they stay due
};

// fortschritt is called now and then with a line saying how far it got.
Sicherungsbericht sichern(Datenbank &db, const Sicherungsauftrag &auftrag, const std::function<void(const QString &)> &fortschritt);

struct Pruefbericht
{
    int dateien = 0;
    QStringList fehlend;
    QStringList beschaedigt;
    QString fehler; // the manifest itself missing or unreadable
    bool inOrdnung() const { return fehler.isEmpty() && fehlend.isEmpty() && beschaedigt.isEmpty(); }
};
Pruefbericht pruefen(const QString &band);

} // namespace archiv::archivd
