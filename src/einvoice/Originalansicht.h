#pragma once

#include "einvoice/Rechnungsleser.h"
#include "imaging/KodierteSeite.h"
#include "imaging/Seitenliste.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A received original (a file kept as it came) as the windows show, print
// and export it: a PDF drawn in colour, an e-invoice XML as the readable
// invoice, a photo as it is, a TIFF as its pages. The file itself is never
// changed; everything here works on copies.
namespace archiv::einvoice {

struct Original
{
    QString name; // as received
    QString doktyp; // common::doktyp
    QByteArray inhalt;
    // What the e-invoice reader made of it (XML and PDF); empty for others.
    std::optional<Leseergebnis> lesung;
    QString herkunft = {}; // the scan-store record it came from, if any

    bool istRechnung() const { return lesung && lesung->rechnung.has_value(); }
    // The check report kept with the archived file (empty: nothing to say).
    QString bericht() const;
};
// Reads the e-invoice out of an XML or PDF original (never throws).
Original original(QString name, QString doktyp, QByteArray inhalt);

// The pages for the screen at dpi: bilevel pages (paging, thumbnails) and
// a colour picture (PNG or JPEG) for each, or none when the bilevel page is
// the whole truth (a TIFF). Throws imaging::BildFehler for a file that
// cannot be shown (the original stays archived all the same).
struct Bildschirmseiten
{
    QList<imaging::KodierteSeite> seiten;
    QList<QByteArray> farbe;
};
Bildschirmseiten bildschirmseiten(const Original &o, int dpi);

// The pages to print: the rendering at print resolution. Throws BildFehler.
imaging::Seitenliste druckseiten(const Original &o);

// What export "als PDF" writes: a PDF original as it is, an XML invoice as
// its readable view, anything else page by page. Throws BildFehler.
QByteArray alsPdfDatei(const Original &o);

} // namespace archiv::einvoice
