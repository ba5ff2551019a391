#include "imaging/Bilddatei.h"

#include "imaging/PdfDatei.h"
#include "imaging/TiffDatei.h"

#include <QFile>
#include <QSaveFile>

namespace archiv::imaging {

QList<KodierteSeite> Bilddatei::lesen(const QByteArray &daten, const QString &name, int erste, int anzahl)
{
    if (TiffDatei::istTiff(daten))
        return TiffDatei::lesenKodiert(daten, name, erste, anzahl);
    if (PdfDatei::istPdf(daten))
        return PdfDatei::lesen(daten, name, erste, anzahl);
    // Other pictures (a folder source delivers PNG too): one page.
    QImage bild;
    if (!bild.loadFromData(daten))
        throw BildFehler(QStringLiteral("%1: weder TIFF noch PDF noch ein lesbares Bild").arg(name).toStdString());
    const int dpi = bild.dotsPerMeterX() > 0 ? int(bild.dotsPerMeterX() * 0.0254 + 0.5) : 300;
    if (erste > 0 || anzahl == 0)
        return {};
    return {TiffDatei::kodieren(Seite(bild, dpi))};
}

QList<KodierteSeite> Bilddatei::lesen(const QString &pfad, int erste, int anzahl)
{
    QFile datei(pfad);
    if (!datei.open(QIODevice::ReadOnly))
        throw BildFehler(QStringLiteral("%1: lässt sich nicht öffnen (%2)").arg(pfad, datei.errorString()).toStdString());
    // Mapped, not copied: the pages take their own copies of what they need.
    if (datei.size() > 0) {
        if (uchar *abbild = datei.map(0, datei.size())) {
            const QByteArray daten = QByteArray::fromRawData(reinterpret_cast<const char *>(abbild), qsizetype(datei.size()));
            QList<KodierteSeite> seiten = lesen(daten, pfad, erste, anzahl);
            for (KodierteSeite &s : seiten)
                s.g4.detach();
            return seiten;
        }
    }
    return lesen(datei.readAll(), pfad, erste, anzahl);
}

QByteArray Bilddatei::kodieren(const QList<KodierteSeite> &seiten, int format)
{
    switch (format) {
    case MehrseitigesTiff:
    case EinseitigesTiff: return TiffDatei::schreibenKodiert(seiten);
    case Pdf: return PdfDatei::schreiben(seiten);
    default: throw BildFehler(QStringLiteral("Unbekanntes Dateiformat %1").arg(format).toStdString());
    }
}

void Bilddatei::schreiben(const QString &pfad, const QList<KodierteSeite> &seiten, int format)
{
    if (format == Pdf) {
        PdfDatei::schreiben(pfad, seiten);
        return;
    }
    const QByteArray daten = kodieren(seiten, format);
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly) || datei.write(daten) != daten.size() || !datei.commit())
        throw BildFehler(QStringLiteral("%1: lässt sich nicht schreiben (%2)").arg(pfad, datei.errorString()).toStdString());
}

void Bilddatei::seiteSpeichern(const QString &pfad, const Seite &seite, int format, int bitsProPixel, int qualitaet, int modus)
{
    Q_UNUSED(bitsProPixel);
    Q_UNUSED(qualitaet);
    QList<KodierteSeite> seiten;
    // A single-page TIFF never grows; appending starts it anew.
    if (modus != 0 && format != EinseitigesTiff && QFile::exists(pfad))
        seiten = lesen(pfad);
    seiten.append(TiffDatei::kodieren(seite));
    schreiben(pfad, seiten, format);
}

} // namespace archiv::imaging
