#include "editor/Scanlauf.h"

#include "imaging/Barcode.h"
#include "imaging/Seitenbearbeitung.h"

#include <QMetaObject>
#include <QPointer>

namespace archiv::editor {

Scanlauf::Scanlauf(std::unique_ptr<imaging::Seitenquelle> quelle, imaging::Scaneinstellungen einstellungen, bool barcodesLesen, bool drehen,
                   QObject *parent)
    : QObject(parent), m_quelle(std::move(quelle)), m_einstellungen(std::move(einstellungen)), m_barcodesLesen(barcodesLesen), m_drehen(drehen)
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
        int ergebnis = imaging::Seitenquelle::Dateifehler;
        QString fehler;
        try {
            ergebnis = m_quelle->erfassen(m_einstellungen, [this, &erste](const imaging::Seite &s) {
                QStringList barcodes;
                if (erste && m_barcodesLesen)
                    barcodes = imaging::BarcodeLeser::lesen(s);
                erste = false;
                const imaging::Seite seite = m_drehen ? imaging::gedreht(s, 180) : s;
                QMetaObject::invokeMethod(this, [this, seite, barcodes] { Q_EMIT this->seite(seite, barcodes); }, Qt::QueuedConnection);
            });
            fehler = m_quelle->letzterFehler();
        } catch (const std::exception &e) {
            fehler = QString::fromUtf8(e.what());
        }
        QMetaObject::invokeMethod(this, [this, ergebnis, fehler] { Q_EMIT fertig(ergebnis, fehler); }, Qt::QueuedConnection);
    });
}

} // namespace archiv::editor
