#pragma once

#include "imaging/KodierteSeite.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRect>
#include <QString>

namespace archiv::imaging {

// PDF files of bilevel pages. Written with QPDF: one CCITT G4 image per page,
// the data taken over unchanged, the page size from the page's resolution.
// Read back losslessly where a page is one G4 image; any other page is
// rasterised with Poppler at the resolution of its images, or 300 dpi.
// A word read on a page (full-text search) and its box in the page's pixels.
struct Textwort
{
    QString text;
    QRect box;
};
// Per page (from 0) the words an exported PDF carries as an invisible text
// layer over the picture, so that any PDF viewer finds and selects them.
using Textschicht = QHash<int, QList<Textwort>>;

class PdfDatei
{
public:
    static QByteArray schreiben(const QList<KodierteSeite> &seiten, const Textschicht &text = {});
    // Straight into a file (through a temporary name beside it, renamed when
    // complete): no copy of the document in memory.
    static void schreiben(const QString &pfad, const QList<KodierteSeite> &seiten);
    static QList<KodierteSeite> lesen(const QByteArray &daten, const QString &name, int erste = 0, int anzahl = -1);
    static bool istPdf(const QByteArray &kopf);
};

} // namespace archiv::imaging
