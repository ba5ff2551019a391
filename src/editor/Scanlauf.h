#pragma once

#include "imaging/Seite.h"
#include "imaging/Seitenquelle.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <thread>

namespace archiv::editor {

// One acquisition from a page source on a thread of its own, so that the
// window repaints while pages arrive. Each page comes to the window's
// thread as seite(); the barcodes of the first page are read on the worker
// when asked for; fertig() comes last with the source's result.
class Scanlauf : public QObject
{
    Q_OBJECT
public:
    Scanlauf(std::unique_ptr<imaging::Seitenquelle> quelle, imaging::Scaneinstellungen einstellungen, bool barcodesLesen, bool drehen,
             QObject *parent = nullptr);
    ~Scanlauf() override;

    void starten();

Q_SIGNALS:
    // barcodes: the texts found on the first page (when asked for), in order.
    void seite(const archiv::imaging::Seite &seite, const QStringList &barcodes);
    void fertig(int ergebnis, const QString &fehler);

private:
    std::unique_ptr<imaging::Seitenquelle> m_quelle;
    imaging::Scaneinstellungen m_einstellungen;
    bool m_barcodesLesen;
    bool m_drehen;
    std::thread m_faden;
};

} // namespace archiv::editor
