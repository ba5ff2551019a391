#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace archiv::archivd {

class Datenbank;

// The master data of an archive as one JSON file ("archivd export"):
// companies, types, index definitions, customers, suppliers, articles and
// the other lists, WWS users without their passwords. Workstations, Belege
// and the trail are not in it. What a restore needs beside the volumes.
QByteArray stammdatenExport(Datenbank &db);

// A restore from backup volumes into an empty archive: the volumes'
// manifests are checked first, the master data taken from an export, then
// every Beleg with its documents and index values, each Beleg from the
// newest volume that holds it. Each Beleg's trail begins with one entry
// naming the volume it came from.
struct Wiederherstellungsauftrag
{
    QStringList baende;
    QByteArray stammdaten; // an export; empty: none
    bool teilweise = false; // leave out the Belege whose files are damaged or missing
};
struct Wiederherstellungsbericht
{
    qint64 belege = 0, dateien = 0, bytes = 0, stammdaten = 0;
    QStringList maengel; // files missing or damaged in the volumes
    QStringList ausgelassen; // Belege left out, with why
    bool abgebrochen = false; // stopped before writing anything
};
Wiederherstellungsbericht wiederherstellen(Datenbank &ziel, const Wiederherstellungsauftrag &auftrag,
                                           const std::function<void(const QString &)> &fortschritt);

// "archivd export --ziel DATEI" and "archivd restore --ziel ORT BAND…".
int exportBefehl(const QStringList &args);
int restoreBefehl(const QStringList &args);

} // namespace archiv::archivd
