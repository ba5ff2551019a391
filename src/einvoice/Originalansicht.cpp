#include "einvoice/Originalansicht.h"

#include "common/Kennungen.h"
#include "einvoice/Ansicht.h"
#include "imaging/Bilddatei.h"
#include "imaging/PdfRaster.h"
#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"

#include <QBuffer>
#include <QImageReader>

namespace archiv::einvoice {

namespace {

// A photo larger than this is shown and printed scaled down; its file stays
// as it came.
constexpr int MaxKante = 6000;
constexpr int DruckDpi = 300;

[[noreturn]] void fehler(const Original &o, const QString &was)
{
    throw imaging::BildFehler(QStringLiteral("%1: %2").arg(o.name, was).toStdString());
}

struct Gelesen
{
    QImage bild;
    bool verkleinert = false;
};

Gelesen bildLesen(const Original &o, int maxKante)
{
    QBuffer puffer;
    puffer.setData(o.inhalt);
    puffer.open(QIODevice::ReadOnly);
    QImageReader leser(&puffer);
    leser.setAutoTransform(true);
    const QSize groesse = leser.size();
    if (!groesse.isValid() || groesse.isEmpty())
        fehler(o, QStringLiteral("kein lesbares Bild"));
    const bool verkleinert = qMax(groesse.width(), groesse.height()) > maxKante;
    if (verkleinert)
        leser.setScaledSize(groesse.scaled(maxKante, maxKante, Qt::KeepAspectRatio));
    const QImage bild = leser.read();
    if (bild.isNull())
        fehler(o, QStringLiteral("kein lesbares Bild (%1)").arg(leser.errorString()));
    return {bild, verkleinert};
}

int bildDpi(const QImage &bild)
{
    const int dpi = qRound(bild.dotsPerMeterX() * 0.0254);
    return dpi >= 50 && dpi <= 1200 ? dpi : 150;
}

QList<QImage> rechnungsbilder(const Original &o, int dpi)
{
    return alsBilder(o.lesung ? *o.lesung : Leseergebnis{}, dpi);
}

} // namespace

QString Original::bericht() const
{
    return lesung ? einvoice::bericht(*lesung) : QString();
}

Original original(QString name, QString doktyp, QByteArray inhalt)
{
    Original o{std::move(name), std::move(doktyp), std::move(inhalt), std::nullopt};
    if (o.doktyp == common::doktyp::Xml || o.doktyp == common::doktyp::Pdf) {
        Leseergebnis e = lesen(o.inhalt);
        // A plain PDF is just a PDF: nothing to report about it.
        if (e.art != Art::Pdf || !e.befunde.isEmpty())
            o.lesung = std::move(e);
        if (o.lesung && o.lesung->art == Art::Pdf && o.lesung->befunde.isEmpty())
            o.lesung.reset();
    }
    return o;
}

Bildschirmseiten bildschirmseiten(const Original &o, int dpi)
{
    Bildschirmseiten b;
    if (o.doktyp == common::doktyp::Pdf) {
        for (imaging::pdfraster::Farbseite &f : imaging::pdfraster::farbigRastern(o.inhalt, o.name, dpi)) {
            b.seiten.append(std::move(f.bilevel));
            b.farbe.append(std::move(f.bild));
        }
    } else if (o.doktyp == common::doktyp::Xml) {
        for (const QImage &bild : rechnungsbilder(o, dpi)) {
            imaging::pdfraster::Farbseite f = imaging::pdfraster::farbseite(bild, dpi);
            b.seiten.append(std::move(f.bilevel));
            b.farbe.append(std::move(f.bild));
        }
    } else if (o.doktyp == common::doktyp::Png || o.doktyp == common::doktyp::Jpg) {
        const Gelesen g = bildLesen(o, MaxKante);
        const int aufloesung = bildDpi(g.bild);
        b.seiten.append(imaging::TiffDatei::kodieren(imaging::Seite(g.bild, aufloesung, aufloesung)));
        // The file itself is the colour picture, unless it had to be scaled
        // (or is turned by its EXIF orientation).
        if (!g.verkleinert && g.bild.size() == QImage::fromData(o.inhalt).size())
            b.farbe.append(o.inhalt);
        else
            b.farbe.append(imaging::pdfraster::farbseite(g.bild, aufloesung).bild);
    } else {
        b.seiten = imaging::Bilddatei::lesen(o.inhalt, o.name.isEmpty() ? QStringLiteral("original.tif") : o.name);
    }
    if (b.seiten.isEmpty())
        fehler(o, QStringLiteral("keine Seite"));
    return b;
}

imaging::Seitenliste druckseiten(const Original &o)
{
    imaging::Seitenliste liste;
    if (o.doktyp == common::doktyp::Pdf) {
        for (const imaging::KodierteSeite &s : imaging::pdfraster::rastern(o.inhalt, o.name, {}))
            liste.einfuegen(liste.anzahl(), s);
    } else if (o.doktyp == common::doktyp::Xml) {
        for (const QImage &bild : rechnungsbilder(o, DruckDpi))
            liste.anhaengen(imaging::Seite(bild, DruckDpi, DruckDpi));
    } else {
        for (const imaging::KodierteSeite &s : bildschirmseiten(o, DruckDpi).seiten)
            liste.einfuegen(liste.anzahl(), s);
    }
    return liste;
}

QByteArray alsPdfDatei(const Original &o)
{
    if (o.doktyp == common::doktyp::Pdf)
        return o.inhalt;
    if (o.doktyp == common::doktyp::Xml)
        return alsPdfDaten(o.lesung ? *o.lesung : Leseergebnis{});
    const imaging::Seitenliste seiten = druckseiten(o);
    return imaging::Bilddatei::kodieren(seiten.alle(), imaging::Pdf);
}

} // namespace archiv::einvoice
