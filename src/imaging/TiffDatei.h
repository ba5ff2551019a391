#pragma once

#include "imaging/KodierteSeite.h"
#include "imaging/Seite.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace archiv::imaging {

// Multi-page TIFF: written as CCITT Group 4, one strip per page; read from
// anything libtiff decodes. Failures throw BildFehler.
class TiffDatei
{
public:
    static QByteArray schreibenG4(const QList<Seite> &seiten);
    static void schreibenG4(const QString &pfad, const QList<Seite> &seiten);

    // erste from 0; anzahl -1 = all pages from there.
    static QList<Seite> lesen(const QByteArray &daten, const QString &name, int erste = 0, int anzahl = -1);
    static QList<Seite> lesen(const QString &pfad, int erste = 0, int anzahl = -1);
    static int seitenzahl(const QByteArray &daten, const QString &name);

    // Pages as G4 data: taken over without decoding where the file already
    // holds one G4 strip per page, else decoded and encoded once.
    static QList<KodierteSeite> lesenKodiert(const QByteArray &daten, const QString &name, int erste = 0, int anzahl = -1);
    static QByteArray schreibenKodiert(const QList<KodierteSeite> &seiten);

    static KodierteSeite kodieren(const Seite &seite);
    static Seite dekodieren(const KodierteSeite &seite);

    static bool istTiff(const QByteArray &kopf);
};

} // namespace archiv::imaging
