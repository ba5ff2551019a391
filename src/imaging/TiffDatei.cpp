#include "imaging/TiffDatei.h"

#include <QFile>
#include <QSaveFile>

#include <tiffio.h>

#include <cstdarg>
#include <cstring>
#include <memory>

namespace archiv::imaging {

namespace {

// A side longer than this is no scanned page but a broken or hostile header.
constexpr uint32_t MaxKante = 100000;

// libtiff reads and writes through these callbacks on a byte array, so files
// and server streams take the same path.
struct Puffer
{
    QByteArray *daten;
    qint64 pos = 0;
    QString fehler;
};

tmsize_t lesenCb(thandle_t h, void *ziel, tmsize_t n)
{
    auto *p = static_cast<Puffer *>(h);
    const qint64 verfuegbar = qMax<qint64>(0, p->daten->size() - p->pos);
    const qint64 k = qMin<qint64>(n, verfuegbar);
    if (k > 0)
        std::memcpy(ziel, p->daten->constData() + p->pos, size_t(k));
    p->pos += k;
    return tmsize_t(k);
}

tmsize_t schreibenCb(thandle_t h, void *quelle, tmsize_t n)
{
    auto *p = static_cast<Puffer *>(h);
    const qint64 ende = p->pos + n;
    if (ende > p->daten->size())
        p->daten->resize(qsizetype(ende));
    std::memcpy(p->daten->data() + p->pos, quelle, size_t(n));
    p->pos = ende;
    return n;
}

toff_t suchenCb(thandle_t h, toff_t off, int woher)
{
    auto *p = static_cast<Puffer *>(h);
    qint64 neu = qint64(off);
    if (woher == SEEK_CUR)
        neu = p->pos + qint64(off);
    else if (woher == SEEK_END)
        neu = p->daten->size() + qint64(off);
    if (neu < 0)
        return toff_t(-1);
    p->pos = neu;
    return toff_t(neu);
}

int schliessenCb(thandle_t)
{
    return 0;
}
toff_t groesseCb(thandle_t h)
{
    return toff_t(static_cast<Puffer *>(h)->daten->size());
}
// Reading maps the whole byte array: libtiff then reads strips and tiles in
// place, and uncompressed tiles (refused on the unmapped path with "Invalid
// tile byte count") are read as they are.
int abbildenCb(thandle_t h, void **basis, toff_t *groesse)
{
    auto *p = static_cast<Puffer *>(h);
    *basis = const_cast<char *>(p->daten->constData());
    *groesse = toff_t(p->daten->size());
    return 1;
}
void freigebenCb(thandle_t, void *, toff_t)
{
}

int fehlerCb(TIFF *, void *user, const char *modul, const char *format, va_list args)
{
    auto *p = static_cast<Puffer *>(user);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    if (p->fehler.isEmpty())
        p->fehler = QString::fromLocal8Bit(text);
    Q_UNUSED(modul);
    return 1;
}

int warnungCb(TIFF *, void *, const char *, const char *, va_list)
{
    return 1; // unknown tags and the like are no reason to refuse a page
}

struct TiffZu
{
    void operator()(TIFF *t) const { TIFFClose(t); }
};
using TiffZeiger = std::unique_ptr<TIFF, TiffZu>;

TiffZeiger oeffnen(Puffer &p, const char *modus, const QString &name)
{
    TIFFOpenOptions *opt = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opt, fehlerCb, &p);
    TIFFOpenOptionsSetWarningHandlerExtR(opt, warnungCb, &p);
    // A hostile header must not make us allocate gigabytes.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opt, 512 * 1024 * 1024);
    TIFF *t = TIFFClientOpenExt(name.toLocal8Bit().constData(), modus, &p, lesenCb, schreibenCb, suchenCb, schliessenCb, groesseCb,
                                abbildenCb, freigebenCb, opt);
    TIFFOpenOptionsFree(opt);
    if (!t)
        throw BildFehler(QStringLiteral("%1: keine lesbare TIFF-Datei (%2)")
                             .arg(name, p.fehler.isEmpty() ? QStringLiteral("unbekannter Aufbau") : p.fehler)
                             .toStdString());
    return TiffZeiger(t);
}

[[noreturn]] void fehlschlag(const QString &name, const Puffer &p, const QString &was)
{
    throw BildFehler(
        QStringLiteral("%1: %2%3").arg(name, was, p.fehler.isEmpty() ? QString() : QStringLiteral(" (") + p.fehler + u')').toStdString());
}

// The tags of one page of our files: one strip of CCITT G4, MinIsWhite.
void g4Felder(TIFF *t, uint32_t breite, uint32_t hoehe, int dpiX, int dpiY, int nummer, int gesamt)
{
    TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, breite);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, hoehe);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, hoehe);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, float(dpiX));
    TIFFSetField(t, TIFFTAG_YRESOLUTION, float(dpiY));
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_PAGENUMBER, uint16_t(nummer), uint16_t(gesamt));
    TIFFSetField(t, TIFFTAG_T6OPTIONS, 0);
}

int dpiAus(float wert, uint16_t einheit)
{
    if (wert <= 0)
        return 0;
    return int(einheit == RESUNIT_CENTIMETER ? wert * 2.54f + 0.5f : wert + 0.5f);
}

// The fields of the current directory that both readers need.
struct Seitenkopf
{
    uint32_t breite = 0, hoehe = 0;
    uint16_t bps = 1, spp = 1, photometrisch = PHOTOMETRIC_MINISWHITE, einheit = RESUNIT_INCH;
    bool hatPhotometrie = false;
    float xres = 0, yres = 0;
};

Seitenkopf kopfLesen(TIFF *t)
{
    Seitenkopf k;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &k.breite);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &k.hoehe);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &k.bps);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &k.spp);
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &k.einheit);
    k.hatPhotometrie = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &k.photometrisch);
    if (!k.hatPhotometrie)
        k.photometrisch = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(t, TIFFTAG_XRESOLUTION, &k.xres);
    TIFFGetField(t, TIFFTAG_YRESOLUTION, &k.yres);
    return k;
}

Seite seiteLesen(TIFF *t, Puffer &p, const QString &name, int nummer)
{
    const Seitenkopf k = kopfLesen(t);
    const uint32_t breite = k.breite, hoehe = k.hoehe;
    const uint16_t bps = k.bps, spp = k.spp, photometrisch = k.photometrisch, einheit = k.einheit;
    const float xres = k.xres, yres = k.yres;
    if (breite == 0 || hoehe == 0 || breite > MaxKante || hoehe > MaxKante)
        fehlschlag(name, p, QStringLiteral("Seite %1 hat keine gültige Größe").arg(nummer + 1));
    const int dpiX = dpiAus(xres, einheit);
    const int dpiY = dpiAus(yres, einheit);

    if (bps == 1 && spp == 1 && (photometrisch == PHOTOMETRIC_MINISWHITE || photometrisch == PHOTOMETRIC_MINISBLACK)) {
        QImage bild(int(breite), int(hoehe), QImage::Format_Mono);
        if (bild.isNull())
            fehlschlag(name, p, QStringLiteral("Seite %1 ist zu groß").arg(nummer + 1));
        bild.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        const bool umkehren = photometrisch == PHOTOMETRIC_MINISBLACK;
        const tmsize_t zeilenBytes = TIFFScanlineSize(t);
        if (TIFFIsTiled(t)) {
            QImage rgba(int(breite), int(hoehe), QImage::Format_RGBA8888);
            if (!TIFFReadRGBAImageOriented(t, breite, hoehe, reinterpret_cast<uint32_t *>(rgba.bits()), ORIENTATION_TOPLEFT, 0))
                fehlschlag(name, p, QStringLiteral("Seite %1 lässt sich nicht lesen").arg(nummer + 1));
            return Seite::ausBilevel(Seite::bilevel(rgba), dpiX, dpiY);
        }
        // Whole strips in one call: far cheaper than a call per row.
        const tmsize_t stripGroesse = TIFFStripSize(t);
        uint32_t zeilenProStrip = hoehe;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &zeilenProStrip);
        zeilenProStrip = qMax<uint32_t>(1, qMin(zeilenProStrip, hoehe));
        // One buffer per thread, reused: a fresh megabyte per page costs
        // more in page faults than the decoding itself.
        static thread_local QByteArray puffer;
        if (puffer.size() < stripGroesse)
            puffer.resize(qsizetype(stripGroesse));
        const tstrile_t strips = TIFFNumberOfStrips(t);
        for (tstrile_t strip = 0; strip < strips; ++strip) {
            const uint32_t y0 = strip * zeilenProStrip;
            if (y0 >= hoehe)
                break;
            const uint32_t zeilen = qMin(zeilenProStrip, hoehe - y0);
            if (TIFFReadEncodedStrip(t, strip, puffer.data(), tmsize_t(zeilen) * zeilenBytes) < 0)
                fehlschlag(name, p, QStringLiteral("Seite %1, Streifen %2 ist beschädigt").arg(nummer + 1).arg(strip + 1));
            for (uint32_t z = 0; z < zeilen; ++z) {
                uchar *zeile = bild.scanLine(int(y0 + z));
                std::memcpy(zeile, puffer.constData() + qsizetype(z) * zeilenBytes, size_t(zeilenBytes));
                if (umkehren)
                    for (tmsize_t i = 0; i < zeilenBytes; ++i)
                        zeile[i] = uchar(~zeile[i]);
            }
        }
        return Seite::ausBilevel(std::move(bild), dpiX, dpiY);
    }
    QImage rgba(int(breite), int(hoehe), QImage::Format_RGBA8888);
    if (rgba.isNull())
        fehlschlag(name, p, QStringLiteral("Seite %1 ist zu groß").arg(nummer + 1));
    if (!TIFFReadRGBAImageOriented(t, breite, hoehe, reinterpret_cast<uint32_t *>(rgba.bits()), ORIENTATION_TOPLEFT, 0))
        fehlschlag(name, p, QStringLiteral("Seite %1 lässt sich nicht lesen").arg(nummer + 1));
    // Made bilevel here, without keeping the 32-bit picture beside it: a
    // long grey or colour file read whole would otherwise hold all of them.
    return Seite::ausBilevel(Seite::bilevel(rgba), dpiX, dpiY);
}

} // namespace

QByteArray TiffDatei::schreibenG4(const QList<Seite> &seiten)
{
    QByteArray daten;
    Puffer p{&daten, 0, {}};
    {
        TiffZeiger t = oeffnen(p, "w", QStringLiteral("TIFF"));
        QByteArray gepackt;
        for (int i = 0; i < seiten.size(); ++i) {
            const Seite &s = seiten.at(i);
            const QImage &bild = s.bild();
            const uint32_t breite = uint32_t(bild.width());
            const uint32_t hoehe = uint32_t(bild.height());
            g4Felder(t.get(), breite, hoehe, s.dpiX(), s.dpiY(), i, int(seiten.size()));
            const int zeilenBytes = int((breite + 7) / 8);
            gepackt.resize(qsizetype(zeilenBytes) * hoehe);
            for (uint32_t y = 0; y < hoehe; ++y)
                std::memcpy(gepackt.data() + qsizetype(y) * zeilenBytes, bild.constScanLine(int(y)), size_t(zeilenBytes));
            if (TIFFWriteEncodedStrip(t.get(), 0, gepackt.data(), tmsize_t(gepackt.size())) < 0 || !TIFFWriteDirectory(t.get()))
                fehlschlag(QStringLiteral("TIFF"), p, QStringLiteral("Seite %1 lässt sich nicht schreiben").arg(i + 1));
        }
    }
    return daten;
}

void TiffDatei::schreibenG4(const QString &pfad, const QList<Seite> &seiten)
{
    const QByteArray daten = schreibenG4(seiten);
    QSaveFile datei(pfad);
    if (!datei.open(QIODevice::WriteOnly) || datei.write(daten) != daten.size() || !datei.commit())
        throw BildFehler(QStringLiteral("%1: lässt sich nicht schreiben (%2)").arg(pfad, datei.errorString()).toStdString());
}

namespace {

// Runs lese(t, p, nummer) for the pages erste .. erste + anzahl - 1 (all
// with anzahl -1). libtiff reports some errors it recovers from (a tag with
// an impossible value, say) and goes on: a page that decodes is kept. What
// does fail is a page that cannot be decoded (lese throws) and a next page
// whose directory cannot be read: a file that breaks off after some pages
// is an error, not a shorter document.
template<typename T, typename F>
QList<T> seitenweise(const QByteArray &daten, const QString &name, int erste, int anzahl, F lese)
{
    QByteArray kopie = daten;
    Puffer p{&kopie, 0, {}};
    TiffZeiger t = oeffnen(p, "r", name);
    QList<T> seiten;
    int nummer = 0;
    bool weiter = true;
    while (weiter) {
        if (nummer >= erste && (anzahl < 0 || seiten.size() < anzahl))
            seiten.append(lese(t.get(), p, nummer));
        ++nummer;
        p.fehler.clear();
        weiter = (anzahl < 0 || seiten.size() < anzahl) && TIFFReadDirectory(t.get());
        if (!weiter && !p.fehler.isEmpty())
            fehlschlag(name, p, QStringLiteral("nach Seite %1 beschädigt").arg(nummer));
    }
    return seiten;
}

} // namespace

QList<Seite> TiffDatei::lesen(const QByteArray &daten, const QString &name, int erste, int anzahl)
{
    return seitenweise<Seite>(daten, name, erste, anzahl, [&](TIFF *t, Puffer &p, int nummer) { return seiteLesen(t, p, name, nummer); });
}

QList<Seite> TiffDatei::lesen(const QString &pfad, int erste, int anzahl)
{
    QFile datei(pfad);
    if (!datei.open(QIODevice::ReadOnly))
        throw BildFehler(QStringLiteral("%1: lässt sich nicht öffnen (%2)").arg(pfad, datei.errorString()).toStdString());
    return lesen(datei.readAll(), pfad, erste, anzahl);
}

int TiffDatei::seitenzahl(const QByteArray &daten, const QString &name)
{
    QByteArray kopie = daten;
    Puffer p{&kopie, 0, {}};
    TiffZeiger t = oeffnen(p, "r", name);
    return int(TIFFNumberOfDirectories(t.get()));
}

} // namespace archiv::imaging

namespace archiv::imaging {

bool TiffDatei::istTiff(const QByteArray &kopf)
{
    return kopf.startsWith(QByteArray("II*\0", 4)) || kopf.startsWith(QByteArray("MM\0*", 4)) || kopf.startsWith(QByteArray("II+\0", 4)) ||
        kopf.startsWith(QByteArray("MM\0+", 4));
}

QByteArray TiffDatei::schreibenKodiert(const QList<KodierteSeite> &seiten)
{
    QByteArray daten;
    Puffer p{&daten, 0, {}};
    {
        TiffZeiger t = oeffnen(p, "w", QStringLiteral("TIFF"));
        for (int i = 0; i < seiten.size(); ++i) {
            const KodierteSeite &s = seiten.at(i);
            g4Felder(t.get(), uint32_t(s.breite), uint32_t(s.hoehe), s.dpiX, s.dpiY, i, int(seiten.size()));
            QByteArray roh = s.g4;
            if (TIFFWriteRawStrip(t.get(), 0, roh.data(), tmsize_t(roh.size())) < 0 || !TIFFWriteDirectory(t.get()))
                fehlschlag(QStringLiteral("TIFF"), p, QStringLiteral("Seite %1 lässt sich nicht schreiben").arg(i + 1));
        }
    }
    return daten;
}

KodierteSeite TiffDatei::kodieren(const Seite &seite)
{
    const QByteArray tiff = schreibenG4({seite});
    QByteArray kopie = tiff;
    Puffer p{&kopie, 0, {}};
    TiffZeiger t = oeffnen(p, "r", QStringLiteral("TIFF"));
    const tmsize_t groesse = tmsize_t(TIFFGetStrileByteCount(t.get(), 0));
    KodierteSeite k{QByteArray(qsizetype(groesse), Qt::Uninitialized), seite.breite(), seite.hoehe(), seite.dpiX(), seite.dpiY(), {}};
    if (TIFFReadRawStrip(t.get(), 0, k.g4.data(), groesse) != groesse)
        fehlschlag(QStringLiteral("TIFF"), p, QStringLiteral("G4-Daten lassen sich nicht lesen"));
    return k;
}

Seite TiffDatei::dekodieren(const KodierteSeite &seite)
{
    const QList<Seite> s = lesen(schreibenKodiert({seite}), QStringLiteral("Seite"));
    if (s.size() != 1)
        throw BildFehler("Seite: G4-Daten sind beschädigt");
    return s.first();
}

QList<KodierteSeite> TiffDatei::lesenKodiert(const QByteArray &daten, const QString &name, int erste, int anzahl)
{
    return seitenweise<KodierteSeite>(daten, name, erste, anzahl, [&](TIFF *t, Puffer &p, int nummer) -> KodierteSeite {
        const Seitenkopf kopf = kopfLesen(t);
        const uint32_t breite = kopf.breite, hoehe = kopf.hoehe;
        const uint16_t photometrisch = kopf.photometrisch, einheit = kopf.einheit;
        const bool hatPhotometrie = kopf.hatPhotometrie;
        const float xres = kopf.xres, yres = kopf.yres;
        uint16_t kompression = 0, fuellung = FILLORDER_MSB2LSB;
        uint32_t t6 = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &kompression);
        TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fuellung);
        TIFFGetField(t, TIFFTAG_T6OPTIONS, &t6);
        const bool direkt = kompression == COMPRESSION_CCITTFAX4 && fuellung == FILLORDER_MSB2LSB && !TIFFIsTiled(t) &&
            TIFFNumberOfStrips(t) == 1 && (!hatPhotometrie || photometrisch == PHOTOMETRIC_MINISWHITE) && t6 == 0 && breite > 0 &&
            hoehe > 0 && breite <= MaxKante && hoehe <= MaxKante;
        if (direkt) {
            const tmsize_t groesse = tmsize_t(TIFFGetStrileByteCount(t, 0));
            KodierteSeite k{QByteArray(qsizetype(groesse), Qt::Uninitialized), int(breite), int(hoehe), dpiAus(xres, einheit),
                            dpiAus(yres, einheit), {}};
            if (groesse <= 0 || TIFFReadRawStrip(t, 0, k.g4.data(), groesse) != groesse)
                fehlschlag(name, p, QStringLiteral("Seite %1 ist beschädigt").arg(nummer + 1));
            if (k.dpiX <= 0)
                k.dpiX = 300;
            if (k.dpiY <= 0)
                k.dpiY = k.dpiX;
            return k;
        }
        return kodieren(seiteLesen(t, p, name, nummer));
    });
}

} // namespace archiv::imaging
