#pragma once

#include "einvoice/Rechnung.h"

namespace archiv::einvoice {

// The readable invoice: what a bookkeeper sees of an XML invoice, in German,
// as HTML (every value escaped, nothing fetched from outside).
QString alsHtml(const Rechnung &r);

// The readable invoice as a PDF file (export "als PDF", printing); false
// when the file cannot be written.
bool alsPdf(const Rechnung &r, const QString &pfad);

// "1234.5" in currency "EUR" as "1.234,50 EUR": the file's decimal text,
// never through a floating-point number; a text that is no amount as it is.
QString betragText(const QString &betrag, const QString &waehrung = {});

// What the type code (BT-3) says: "Rechnung", "Gutschrift", ...
QString artText(const QString &typ);

} // namespace archiv::einvoice
