#pragma once

#include "imaging/Seitenquelle.h"

namespace archiv::imaging {

// A folder that network scanners deliver to: each acquisition takes the
// TIFF, PDF and PNG files there in name order and moves every file it
// consumed into the subfolder "uebernommen". Nothing is deleted. An empty
// folder is a feeder without paper (KeineVorlagen).
class OrdnerQuelle : public Seitenquelle
{
public:
    static constexpr auto Praefix = "Ordner: ";
    explicit OrdnerQuelle(QString pfad) : m_pfad(std::move(pfad)) { }

    QString name() const override { return QLatin1String(Praefix) + m_pfad; }
    int erfassen(const Scaneinstellungen &einstellungen, const ProSeite &proSeite) override;

private:
    QString m_pfad;
};

} // namespace archiv::imaging
