#pragma once

#include "storage/BlobSpeicher.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Verwaltungsspeicher.h"

#include <QDate>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

namespace archiv::archivd {

class Datenbank;
struct Belegtyp; // a document type of the demo data

struct DemoOptionen
{
    int belege = 3000;
    quint32 seed = 1972;
    // Generated German page text for every document, straight into the
    // full-text index (a benchmark archive needs no OCR).
    bool volltext = false;
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
    void beleg(int i);
    void kette();
    void volltext();
    const Belegtyp &zufallsTyp();
    QString naechsteNummer(const Belegtyp &typ, int firma);
    QList<protokoll::SpeicherAnfrage> dokumente(const Belegtyp &typ, const QString &belnr, int firma, const QDate &datum, int art,
                                                bool alsPdf);
    QString verweis(int firma, const char *ziel);
    void wert(const QString &beleg, int firma, int eigenschaft, const QString &w);
    void werte(const Belegtyp &typ, const QString &id, int firma, int laufnummer);
    void sicherungen(const QString &id, const QDate &datum);
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
    QHash<QString, int> m_zaehler; // firma|code -> last number issued
    QHash<QString, QStringList> m_nummern; // firma|code -> numbers issued
    QString m_letzteEr;
};

} // namespace archiv::archivd
