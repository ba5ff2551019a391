#pragma once

#include "storage/BlobSpeicher.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Verwaltungsspeicher.h"

#include <QMap>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace archiv::archivd {

class Datenbank;

struct DemoOptionen
{
    int belege = 3000;
    quint32 seed = 1972;
};

// Fills an empty archive with a realistic data set: companies, document
// types with index definitions, master data, WWS users, Belege with
// multi-page G4 TIFF documents, linked Belege, scan intake and backups.
class DemoArchiv
{
public:
    DemoArchiv(Datenbank &db, DemoOptionen optionen);
    void erzeugen();

private:
    void firmen();
    void stammdaten(int firma);
    void benutzer(int firma);
    void belege();
    void scans();
    QString dokument(const QString &titel, const QString &belnr, int firma, int seiten, int dpi, bool pdf = false);
    QString speichern(const QString &klasse, const QMap<QString, QString> &props, const QMap<QString, QString> &refs = {});

    Datenbank &m_db;
    ObjektSpeicher m_objekte;
    BlobSpeicher m_blobs;
    Verwaltungsspeicher m_verwaltung;
    DemoOptionen m_opt;
    QRandomGenerator m_zufall;
    QStringList m_dokumentPool;
};

} // namespace archiv::archivd
