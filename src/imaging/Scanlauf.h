#pragma once

#include "imaging/Seite.h"
#include "imaging/Seitenquelle.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <memory>
#include <thread>

namespace archiv::imaging {

// One acquisition from a page source on a thread of its own, so that the
// window repaints while pages arrive. Each page comes to the window's
// thread as seite(); the slow work on a page (barcode reading, the G4 file
// of the scan store) is done on the worker when asked for.
class Scanlauf : public QObject
{
    Q_OBJECT
public:
    enum class Barcodes { Keine, ErsteSeite, JedeSeite };
    struct Optionen
    {
        Barcodes barcodes = Barcodes::Keine;
        bool drehen = false; // every page by 180 degrees
        bool alsTiff = false; // each page also as a single-page G4 TIFF
    };

    Scanlauf(std::unique_ptr<Seitenquelle> quelle, Scaneinstellungen einstellungen, Optionen optionen, QObject *parent = nullptr);
    ~Scanlauf() override;

    // Runs the acquisition to its end: the calling thread keeps handling
    // its events (repaints, seite()) but no user input meanwhile. The
    // source's result; NichtBereit without a source.
    int ausfuehren();

Q_SIGNALS:
    // barcodes: the texts found on the page (when asked for), in the order
    // found; tiff: the page as a G4 TIFF file (when asked for).
    void seite(const archiv::imaging::Seite &seite, const QStringList &barcodes, const QByteArray &tiff);
    void fertig(int ergebnis);

private:
    std::unique_ptr<Seitenquelle> m_quelle;
    Scaneinstellungen m_einstellungen;
    Optionen m_optionen;
    std::thread m_faden;
};

} // namespace archiv::imaging
