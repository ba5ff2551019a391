#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <memory>

namespace archiv::server {
class Verbindung;
}

// Program-wide state shared by the windows, under the names the windows use.
namespace archiv::global {

// Index-property rows: 0 is the template row, 1 to 100 are laid out.
inline constexpr int MaxEigenschaften = 100;

// Start-up and login
inline std::shared_ptr<server::Verbindung> Archivverbindung;
inline QString Verbindungstext;
// The full-text words of the last search: a Beleg opened from its result
// shows the pages where they are, marked.
inline QString Volltext;
inline bool ScannerDa = false;
inline int MaxTreffer = 500;
inline QString Anmeldung;
inline QString AnmeldName;
inline int AnmeldRest = 0;
inline QString Anmeldeantwort;
inline QString AnmeldFirma; // the company of the last login

// Search
inline std::array<QString, MaxEigenschaften + 1> SuchTyp;
inline std::array<int, MaxEigenschaften + 1> EigenId{};
inline int Trefferzahl = 0;

// Editor
inline QString Modus;
inline QString DokId;
inline QString AktBelart;
inline int DokAnz = 0;
inline int AktDok = 0;
inline int SeitenAnz = 0;
inline int AktSeite = 0;
inline bool Geaendert = false;
inline bool DoksSperre = false;
inline QString Zoomtype = QStringLiteral("H");
inline double ZoomWert = 1.0;
inline QString Tempdatei;
inline double Zoomfaktor = 1.0;
inline int EigenAnz = 0;
inline std::array<QString, MaxEigenschaften + 1> EigenTyp;
inline QString BarcodeBelart;
inline QString BarcodeBelnr;

// Lookups
inline QString SuchWert;

// Result window
inline int ErgZeile = -1;
inline int ErgSpalte = 0;
inline QString ErgZelle1;
inline QStringList KnotenDokId;
inline bool BaumKlickSperre = false;

// Scan intake
inline QString Startmodus;
inline QString ScanBarcode;
inline double VorschauZoom = 1.0;
inline int ScanSeite = 0;

// Back to the values of a fresh program start (tests use it between cases).
void zuruecksetzen();

} // namespace archiv::global
