#pragma once

#include <QLatin1String>

// The domain's codes as the archive stores them and client and server
// exchange them, by name. The values are the wire values; never change one.
namespace archiv::common {

// Index-property codes (Eigenschaft of AR.BelartIndex and AR.Extind).
namespace eigenschaft {
inline constexpr int Kunde = 1;
inline constexpr int Lieferant = 2;
inline constexpr int Mitarbeiter = 3;
inline constexpr int Bemerkung = 5;
inline constexpr int Kasse = 7;
// References to other Belege by number (the row's target type names whose).
inline constexpr int Lieferschein = 8;
inline constexpr int Bestellung = 9;
inline constexpr int Rechnung = 10;
inline constexpr int Profitcenter = 16;
inline constexpr int Abteilung = 17;
inline constexpr int Artikel = 18;
// Free values: whatever a company types, offered again as a choice list.
inline constexpr int FreierWert1 = 22;
inline constexpr int FreierWert2 = 23;
inline constexpr int FreierWert3 = 24;
inline constexpr int FreierWert4 = 26;
// Read out of an e-invoice: the supplier's own invoice number (BT-1), the
// amounts (BT-112, BT-109, BT-110, as "1234,50"), the currency (BT-5), the
// due date (BT-9, as "02.05.2026") and the buyer reference or Leitweg-ID (BT-10).
inline constexpr int Rechnungsnummer = 30;
inline constexpr int Bruttobetrag = 31;
inline constexpr int Nettobetrag = 32;
inline constexpr int Steuerbetrag = 33;
inline constexpr int Waehrung = 34;
inline constexpr int Faelligkeit = 35;
inline constexpr int Kaeuferreferenz = 36;
} // namespace eigenschaft

constexpr bool istFreierWert(int code)
{
    return code == eigenschaft::FreierWert1 || code == eigenschaft::FreierWert2 || code == eigenschaft::FreierWert3 ||
        code == eigenschaft::FreierWert4;
}

// Properties whose value is a list of keys (each followed by a backquote in
// a search), chosen in the main window's tab lists rather than in a row.
constexpr bool istSchluesselliste(int code)
{
    return code == eigenschaft::Mitarbeiter || code == eigenschaft::Profitcenter || code == eigenschaft::Abteilung;
}

// Properties whose row offers a choice list the program fills.
constexpr bool hatAuswahlliste(int code)
{
    return istFreierWert(code) || code == eigenschaft::Kasse;
}

// Properties with a lookup dialog (customers, suppliers, articles).
constexpr bool hatSuchdialog(int code)
{
    return code == eigenschaft::Kunde || code == eigenschaft::Lieferant || code == eigenschaft::Artikel;
}

// Kinds of a property row (SuchTyp, EigenTyp).
namespace zeilenart {
inline constexpr QLatin1String Auswahl("C"); // a choice list
inline constexpr QLatin1String Text("T"); // a text field
inline constexpr QLatin1String Suche("S"); // a text field with a lookup button
} // namespace zeilenart

// The picture state of a Beleg: picsw of AR.Dokumente, and the status column
// of the search, which shows a cancelled Beleg as Storniert.
namespace bildstatus {
inline constexpr int Keins = 0;
inline constexpr int Tif = 1;
inline constexpr int Pdf = 2;
inline constexpr int Storniert = 5;
} // namespace bildstatus

// A status with a mark in the result list (1 to 5; 0 and anything else none).
constexpr bool hatStatusMarke(int status)
{
    return status > bildstatus::Keins && status <= bildstatus::Storniert;
}

// Modes of the editor (Modus) and of the scan intake window (Startmodus).
namespace modus {
inline constexpr QLatin1String Bearbeiten("bearbeiten"); // edit mode
inline constexpr QLatin1String Klick("click"); // view mode, opened from the result window
inline constexpr QLatin1String Archiv("archiv"); // scan intake opened by the editor
inline constexpr QLatin1String Scandatabase("scandatabase"); // the scan intake window is the program (scan station)
} // namespace modus

// Why pages of the scan store have no Beleg (AR.Scandat OhneBeleg and the
// answer of ScanBelegSuche).
namespace scanzuordnung {
inline constexpr QLatin1String OhneNummer("ohne"); // no Belegnummer
inline constexpr QLatin1String BelegFehlt("fehlt"); // the archive has no Beleg of that number yet
inline constexpr QLatin1String Mehrdeutig("mehrdeutig"); // several companies have a Beleg of that number
inline constexpr QLatin1String Offen("offen"); // one Beleg has it: the Belegsuche assigns it
} // namespace scanzuordnung

// Which types take e-invoices (ERechnung of AR.Belart): a company's invoice
// type, and its credit-note type for type code 381.
namespace erechnung {
inline constexpr QLatin1String Rechnungen("R");
inline constexpr QLatin1String Gutschriften("G");
} // namespace erechnung

// What a document element's file is (doktyp of AR.Dokuments and of a
// digital record of the scan store). Pages the archive wrote itself are
// "tif" or "pdf"; a received original keeps the kind of its content.
namespace doktyp {
inline constexpr QLatin1String Tif("tif");
inline constexpr QLatin1String Pdf("pdf");
inline constexpr QLatin1String Xml("xml");
inline constexpr QLatin1String Png("png");
inline constexpr QLatin1String Jpg("jpg");
} // namespace doktyp

} // namespace archiv::common
