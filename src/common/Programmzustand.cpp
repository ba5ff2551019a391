#include "common/Programmzustand.h"

namespace archiv::global {

void zuruecksetzen()
{
    Archivverbindung.reset();
    Verbindungstext.clear();
    ScannerDa = false;
    MaxTreffer = 500;
    Anmeldung.clear();
    AnmeldName.clear();
    AnmeldRest = 0;
    AnmeldFirma.clear();
    Anmeldeantwort.clear();
    SuchTyp.fill(QString());
    EigenId.fill(0);
    Trefferzahl = 0;
    Modus.clear();
    DokId.clear();
    AktBelart.clear();
    DokAnz = AktDok = SeitenAnz = AktSeite = 0;
    Geaendert = DoksSperre = false;
    Zoomtype = QStringLiteral("H");
    ZoomWert = 1.0;
    Tempdatei.clear();
    Zoomfaktor = 1.0;
    EigenAnz = 0;
    EigenTyp.fill(QString());
    BarcodeBelart.clear();
    BarcodeBelnr.clear();
    SuchWert.clear();
    ErgZeile = -1;
    ErgSpalte = 0;
    ErgZelle1.clear();
    KnotenDokId.clear();
    BaumKlickSperre = false;
    Startmodus.clear();
    ScanBarcode.clear();
    VorschauZoom = 1.0;
    ScanSeite = 0;
}

} // namespace archiv::global
