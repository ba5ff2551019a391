#pragma once

#include "imaging/KodierteSeite.h"
#include "imaging/Seite.h"

#include <QList>
#include <QString>

namespace archiv::imaging {

// Format codes of the page files.
enum Format : int { MehrseitigesTiff = 29, EinseitigesTiff = 26, Pdf = 149 };

// Reading and writing page files whatever their kind (told by content).
class Bilddatei
{
public:
    static QList<KodierteSeite> lesen(const QByteArray &daten, const QString &name, int erste = 0, int anzahl = -1);
    static QList<KodierteSeite> lesen(const QString &pfad, int erste = 0, int anzahl = -1);
    static QByteArray kodieren(const QList<KodierteSeite> &seiten, int format);
    static void schreiben(const QString &pfad, const QList<KodierteSeite> &seiten, int format);

    // One page: modus 0 starts a new file, 1 or -1 appends a page to it.
    // Pages are stored bilevel whatever bitsProPixel and qualitaet say.
    static void seiteSpeichern(const QString &pfad, const Seite &seite, int format, int bitsProPixel, int qualitaet, int modus);
};

} // namespace archiv::imaging
