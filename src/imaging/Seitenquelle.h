#pragma once

#include "imaging/Seite.h"

#include <QString>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

namespace archiv::imaging {

// What a scan takes from the scanner settings.
struct Scaneinstellungen
{
    QString dpi; // resolution text as stored; empty = the device's own
    int helligkeit = 0; // stored value times 10, -1000 to 1000
    int kontrast = 0; // the same
    bool eigenerDialog = false; // the caller shows its options dialog before
    QString einzug; // device source ("Flatbed", "ADF", ...); empty = the device's own
    // The device's own options as chosen in its options dialog (option
    // name, value as text), set in this order after the values above.
    QList<std::pair<QString, QString>> geraeteoptionen;
};

// One of a device's own options as the device describes it, for the
// options dialog.
struct Geraeteoption
{
    enum class Art { Schalter, Ganzzahl, Kommazahl, Text };
    QString name; // the device's key ("mode", "source", "resolution", ...)
    QString titel;
    QString beschreibung;
    QString gruppe; // the device's group title, "" before the first
    Art art = Art::Text;
    QString einheit; // "dpi", "mm", "%", ...; "" without one
    QStringList auswahl; // the values offered; empty: free or a range
    bool bereich = false; // min/max/schritt hold
    double min = 0, max = 0, schritt = 0; // schritt 0: any value
    QString wert; // the current value as text (a switch: "1"/"0")
};

// Every page source behind one interface: scanners and folders deliver
// pages one at a time to a callback.
class Seitenquelle
{
public:
    enum Ergebnis : int { Ok = 0, NichtBereit = 1, KeineVorlagen = 2, Abgebrochen = 3, Dateifehler = 4 };
    using ProSeite = std::function<void(const Seite &)>;

    virtual ~Seitenquelle() = default;
    virtual QString name() const = 0;
    // Acquires every page the source has (a feeder until empty, a flatbed
    // one page); returns Ok or the error. Pages delivered before an error
    // stay delivered.
    virtual int erfassen(const Scaneinstellungen &einstellungen, const ProSeite &proSeite) = 0;
    // The device's own options with the settings applied, for the options
    // dialog; none for a source without (a folder) or that cannot be opened.
    virtual QList<Geraeteoption> optionen(const Scaneinstellungen &) { return {}; }
    QString letzterFehler() const { return m_fehler; }

    // Sources by name: "Ordner: " + path is a folder, anything else a SANE device.
    static QStringList quellen();
    static std::unique_ptr<Seitenquelle> oeffnen(const QString &name);

protected:
    QString m_fehler;
};

} // namespace archiv::imaging
