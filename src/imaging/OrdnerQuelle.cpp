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
    // Like a feeder without paper: nothing to take.
    if (dateien.isEmpty()) {
        m_fehler = QStringLiteral("%1: keine Vorlagen").arg(m_pfad);
        return KeineVorlagen;
    }
    if (!ordner.mkpath(QStringLiteral("uebernommen"))) {
        m_fehler = QStringLiteral("%1: Unterordner \"uebernommen\" lässt sich nicht anlegen").arg(m_pfad);
        return Dateifehler;
    }
    for (const QString &name : dateien) {
        // A picture file arrives as it is (grey, colour), as a scanner would
        // deliver it; TIFF and PDF pages as their files hold them, decoded
        // one at a time.
        const QString pfad = ordner.filePath(name);
        QImage bild;
        QList<KodierteSeite> seiten;
        try {
            if (!name.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) || !bild.load(pfad))
                seiten = Bilddatei::lesen(pfad);
        } catch (const BildFehler &e) {
            // The file stays where it is for someone to look at.
            m_fehler = QString::fromUtf8(e.what());
            return Dateifehler;
        }
        if (!bild.isNull())
            proSeite(Seite(bild, bild.dotsPerMeterX() > 0 ? int(bild.dotsPerMeterX() * 0.0254 + 0.5) : 300));
        for (const KodierteSeite &s : seiten)
            proSeite(TiffDatei::dekodieren(s));
        QString ziel = ordner.filePath(QStringLiteral("uebernommen/") + name);
        for (int n = 2; QFileInfo::exists(ziel); ++n)
            ziel = ordner.filePath(
                QStringLiteral("uebernommen/%1-%2.%3").arg(QFileInfo(name).completeBaseName()).arg(n).arg(QFileInfo(name).suffix()));
        if (!QFile::rename(ordner.filePath(name), ziel)) {
            m_fehler = QStringLiteral("%1 lässt sich nicht nach \"uebernommen\" verschieben").arg(name);
            return Dateifehler;
        }
    }
    return Ok;
}

} // namespace archiv::imaging
