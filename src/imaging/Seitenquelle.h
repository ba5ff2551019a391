#pragma once

#include "imaging/Seite.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace archiv::imaging {

// What a scan takes from the scanner settings.
struct Scaneinstellungen
{
    QString dpi; // resolution text as stored; empty = the device's own
    int helligkeit = 0; // stored value times 10, -1000 to 1000
    int kontrast = 0; // the same
    bool eigenerDialog = false; // the caller shows its options dialog before
    QString einzug; // device source ("Flatbed", "ADF", ...); empty = the device's own
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
    QString letzterFehler() const { return m_fehler; }

    // Sources by name: "Ordner: " + path is a folder, anything else a SANE device.
    static QStringList quellen();
    static std::unique_ptr<Seitenquelle> oeffnen(const QString &name);

protected:
    QString m_fehler;
};

} // namespace archiv::imaging
