#include "imaging/Scanlauf.h"

#include "imaging/Barcode.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/TiffDatei.h"

#include <QEventLoop>
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

int Scanlauf::ausfuehren()
{
    if (!m_quelle)
        return Seitenquelle::NichtBereit;
    QEventLoop warten;
    int ergebnis = Seitenquelle::Ok;
    connect(this, &Scanlauf::fertig, &warten, [&](int e) {
        ergebnis = e;
        warten.quit();
    });
    m_faden = std::thread([this] {
        bool erste = true;
        int ergebnis = Seitenquelle::Dateifehler;
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
        } catch (const std::exception &e) {
            qWarning("scan failed: %s", e.what());
        }
        QMetaObject::invokeMethod(this, [this, ergebnis] { Q_EMIT fertig(ergebnis); }, Qt::QueuedConnection);
    });
    warten.exec(QEventLoop::ExcludeUserInputEvents);
    m_faden.join();
    return ergebnis;
}

} // namespace archiv::imaging
