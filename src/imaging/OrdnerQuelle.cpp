#include "imaging/OrdnerQuelle.h"

#include "imaging/Bilddatei.h"
#include "imaging/TiffDatei.h"

#include <QDir>
#include <QFileInfo>

namespace archiv::imaging {

int OrdnerQuelle::erfassen(const Scaneinstellungen &, const ProSeite &proSeite)
{
    m_fehler.clear();
    QDir ordner(m_pfad);
    if (!ordner.exists()) {
        m_fehler = QStringLiteral("%1: Ordner gibt es nicht").arg(m_pfad);
        return NichtBereit;
    }
    const QStringList dateien = ordner.entryList({"*.tif", "*.tiff", "*.pdf", "*.png", "*.TIF", "*.TIFF", "*.PDF", "*.PNG"},
                                                 QDir::Files | QDir::Readable, QDir::Name);
    if (!ordner.mkpath(QStringLiteral("uebernommen"))) {
        m_fehler = QStringLiteral("%1: Unterordner \"uebernommen\" lässt sich nicht anlegen").arg(m_pfad);
        return Dateifehler;
    }
    for (const QString &name : dateien) {
        QList<KodierteSeite> seiten;
        try {
            seiten = Bilddatei::lesen(ordner.filePath(name));
        } catch (const BildFehler &e) {
            // The file stays where it is for someone to look at.
            m_fehler = QString::fromUtf8(e.what());
            return Dateifehler;
        }
        for (const KodierteSeite &s : seiten)
            proSeite(TiffDatei::dekodieren(s));
        QString ziel = ordner.filePath(QStringLiteral("uebernommen/") + name);
        for (int n = 2; QFileInfo::exists(ziel); ++n)
            ziel = ordner.filePath(QStringLiteral("uebernommen/%1-%2.%3").arg(QFileInfo(name).completeBaseName()).arg(n).arg(QFileInfo(name).suffix()));
        if (!QFile::rename(ordner.filePath(name), ziel)) {
            m_fehler = QStringLiteral("%1 lässt sich nicht nach \"uebernommen\" verschieben").arg(name);
            return Dateifehler;
        }
    }
    return Ok;
}

} // namespace archiv::imaging
