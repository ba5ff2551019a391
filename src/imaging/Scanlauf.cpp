#include "imaging/Scanlauf.h"

#include "imaging/Barcode.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/TiffDatei.h"

#include <QMetaObject>

namespace archiv::imaging {

Scanlauf::Scanlauf(std::unique_ptr<Seitenquelle> quelle, Scaneinstellungen einstellungen, Optionen optionen, QObject *parent)
    : QObject(parent), m_quelle(std::move(quelle)), m_einstellungen(std::move(einstellungen)), m_optionen(optionen)
{
    qRegisterMetaType<archiv::imaging::Seite>();
}

Scanlauf::~Scanlauf()
{
    if (m_faden.joinable())
        m_faden.join();
}

void Scanlauf::starten()
{
    m_faden = std::thread([this] {
        bool erste = true;
        int ergebnis = Seitenquelle::Dateifehler;
        QString fehler;
        try {
            ergebnis = m_quelle->erfassen(m_einstellungen, [this, &erste](const Seite &s) {
                QStringList barcodes;
                if (m_optionen.barcodes == Barcodes::JedeSeite || (erste && m_optionen.barcodes == Barcodes::ErsteSeite))
                    barcodes = BarcodeLeser::lesen(s);
                erste = false;
                const Seite seite = m_optionen.drehen ? gedreht(s, 180) : s;
                const QByteArray tiff = m_optionen.alsTiff ? TiffDatei::schreibenG4({seite}) : QByteArray();
                QMetaObject::invokeMethod(
                    this, [this, seite, barcodes, tiff] { Q_EMIT this->seite(seite, barcodes, tiff); }, Qt::QueuedConnection);
            });
            fehler = m_quelle->letzterFehler();
        } catch (const std::exception &e) {
            fehler = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(this, [this, ergebnis, fehler] { Q_EMIT fertig(ergebnis, fehler); }, Qt::QueuedConnection);
    });
}

} // namespace archiv::imaging
