#pragma once

#include "einvoice/Rechnung.h"
#include "einvoice/Rechnungsleser.h"

#include <QImage>
#include <QList>

namespace archiv::einvoice {

// The readable invoice: what a bookkeeper sees of an XML invoice, in German,
// as HTML (every value escaped, nothing fetched from outside).
QString alsHtml(const Rechnung &r);

// The readable invoice as a PDF file (export "als PDF", printing); false
// when the file cannot be written.
bool alsPdf(const Rechnung &r, const QString &pfad);

// What the reader made of a file, readable: the invoice with the check report
// under it, or, for a file that is no readable invoice, the report alone.
QString alsHtml(const Leseergebnis &e);
bool alsPdf(const Leseergebnis &e, const QString &pfad);
QByteArray alsPdfDaten(const Leseergebnis &e);
// The same as A4 pages at dpi, for the page view, thumbnails and printing.
QList<QImage> alsBilder(const Leseergebnis &e, int dpi);

// The check report as it is kept with the archived file: one finding a
// line, empty when there is nothing to say.
QString bericht(const Leseergebnis &e);
// The mark a Beleg gets when its e-invoice has findings.
inline constexpr auto MitHinweisen = "E-Rechnung mit Hinweisen";

// "1234.5" in currency "EUR" as "1.234,50 EUR": the file's decimal text,
// never through a floating-point number; a text that is no amount as it is.
QString betragText(const QString &betrag, const QString &waehrung = {});

// What the type code (BT-3) says: "Rechnung", "Gutschrift", ...
QString artText(const QString &typ);

} // namespace archiv::einvoice
