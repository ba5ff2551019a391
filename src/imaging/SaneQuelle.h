#pragma once

#include "imaging/Seitenquelle.h"

namespace archiv::imaging {

// A scanner reached through SANE. Resolution, brightness and contrast are
// set where the device has those options (brightness and contrast mapped
// onto the device's own ranges), the frame is 9 x 12 inches from the top
// left, bilevel where the device offers it (else grey, reduced to bilevel).
class SaneQuelle : public Seitenquelle
{
public:
    explicit SaneQuelle(QString geraet) : m_geraet(std::move(geraet)) { }

    QString name() const override { return m_geraet; }
    int erfassen(const Scaneinstellungen &einstellungen, const ProSeite &proSeite) override;
    QList<Geraeteoption> optionen(const Scaneinstellungen &einstellungen) override;

    static QStringList geraete();

private:
    QString m_geraet;
};

} // namespace archiv::imaging
