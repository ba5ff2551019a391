#pragma once

#include "einvoice/Originalansicht.h"
#include "imaging/PdfDatei.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace archiv::server {
class Verbindung;
}

// What the result window does with the newest document of a Beleg: hand a
// PDF to the desktop's viewer, export it as TIF or PDF.
namespace archiv::search::ausgabe {

// The newest stored document of a Beleg.
struct Dokument
{
    QString belart; // type code
    QString belnr;
    QString doktyp; // common::doktyp: "tif" or "pdf" of scanned pages, any kind of an original
    QByteArray inhalt;
    QString dateiname = {}; // a received original: its name as it came
    bool original = false; // a received file kept as it came
    QString belegId = {};
    int position = 0; // of the element in the Beleg, from 1
    // The words read for the full-text search, for the text layer of an
    // export as PDF; boxes at textBasis dpi (0: in the stored page's pixels).
    imaging::Textschicht text = {};
    int textBasis = 0;
};
// Fetches the words read on the document's pages (none when the server has
// not read it yet, or is too old to say).
void textHolen(server::Verbindung &v, Dokument &d);
// The received original the document is (only meaningful when original).
einvoice::Original alsOriginal(const Dokument &d);
// nullopt when the Beleg has no stored document.
inline constexpr auto OriginalFormat = "original";
std::optional<Dokument> neuestesDokument(server::Verbindung &v, const QString &dokId);

// The default name of an export: type code + "_" + number + "." + format,
// made safe as a file name.
QString exportName(const Dokument &d, const QString &format);

// Writes the document to ziel as "tif" or "pdf": the stored file unchanged
// when it is of that kind, else converted page by page (G4 data copied,
// not encoded again); scanned pages as PDF carry the words read on them as
// an invisible text layer (then a stored PDF of scanned pages is written
// anew from its G4 pages); an XML invoice "als PDF" is its readable view. Format
// "original" writes the stored file as it is, whatever its kind. Throws
// imaging::BildFehler or std::runtime_error.
void exportieren(const Dokument &d, const QString &format, const QString &ziel);

// Writes a PDF to the private temporary folder (type code and number as its
// name) and hands it to the viewer; false when that did not work.
bool pdfZeigen(const Dokument &d);

// The viewer a PDF goes to: the desktop's (QDesktopServices) unless a test
// puts another in its place. Returns the previous one.
using Betrachter = std::function<bool(const QUrl &)>;
Betrachter setzeBetrachter(Betrachter b);


} // namespace archiv::search::ausgabe
