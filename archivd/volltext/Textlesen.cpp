#include "volltext/Textlesen.h"

#include "common/Kennungen.h"
#include "einvoice/Rechnungsleser.h"

#include <leptonica/allheaders.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include <sys/resource.h>
#include <unistd.h>

namespace archiv::archivd::volltext {

namespace {

[[noreturn]] void fehler(const QString &was)
{
    throw std::runtime_error(was.toStdString());
}

// Pages larger than this are read at a lower resolution (a poster is no
// reason to run out of memory).
constexpr double MaxPixel = 60e6;
constexpr int PdfDpi = 300;

struct PixLoeschen
{
    void operator()(Pix *p) const { pixDestroy(&p); }
};
using PixZeiger = std::unique_ptr<Pix, PixLoeschen>;

// One Tesseract for the process: loading the language data is the slow part.
bool ocrGestartet = false;

tesseract::TessBaseAPI &ocrApi()
{
    static tesseract::TessBaseAPI api;
    return api;
}

tesseract::TessBaseAPI &ocr()
{
    tesseract::TessBaseAPI &api = ocrApi();
    static const bool bereit = [&api] {
        ocrGestartet = true;
        if (api.Init(nullptr, "deu+eng") != 0 && api.Init(nullptr, "eng") != 0)
            return false;
        api.SetPageSegMode(tesseract::PSM_AUTO);
        return true;
    }();
    if (!bereit)
        fehler(QStringLiteral("Tesseract lässt sich nicht starten (Sprachdaten deu und eng fehlen?)"));
    return api;
}

Seitentext erkennen(Pix *pix, int seite)
{
    if (pixGetWidth(pix) * double(pixGetHeight(pix)) > MaxPixel)
        fehler(QStringLiteral("Seite %1 ist zu groß zum Lesen").arg(seite));
    tesseract::TessBaseAPI &api = ocr();
    api.SetImage(pix);
    if (pixGetXRes(pix) < 70)
        api.SetSourceResolution(300);
    tesseract::ETEXT_DESC monitor;
    monitor.set_deadline_msecs(int(std::chrono::milliseconds(SeitenFrist).count()));
    if (api.Recognize(&monitor) != 0)
        fehler(QStringLiteral("Seite %1 ließ sich nicht lesen (Zeit überschritten?)").arg(seite));
    Seitentext t;
    t.seite = seite;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (it) {
        do {
            std::unique_ptr<char[]> wort(it->GetUTF8Text(tesseract::RIL_WORD));
            if (!wort || it->Confidence(tesseract::RIL_WORD) < 30)
                continue;
            int l = 0, o = 0, r = 0, u = 0;
            it->BoundingBox(tesseract::RIL_WORD, &l, &o, &r, &u);
            const QString text = QString::fromUtf8(wort.get()).trimmed();
            if (text.isEmpty())
                continue;
            t.woerter.append({text, QRect(l, o, r - l, u - o)});
            if (!t.text.isEmpty())
                t.text += it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) ? u'\n' : u' ';
            t.text += text;
        } while (it->Next(tesseract::RIL_WORD));
    }
    api.Clear();
    return t;
}

void tiffLesen(const QByteArray &inhalt, const Ablage &ablage)
{
    size_t versatz = 0;
    for (int seite = 1;; ++seite) {
        PixZeiger pix(pixReadMemFromMultipageTiff(reinterpret_cast<const l_uint8 *>(inhalt.constData()), size_t(inhalt.size()), &versatz));
        if (!pix) {
            if (seite == 1)
                fehler(QStringLiteral("keine lesbare TIFF-Datei"));
            break;
        }
        ablage(erkennen(pix.get(), seite));
        if (versatz == 0)
            break;
    }
}

void bildLesen(const QByteArray &inhalt, const Ablage &ablage)
{
    PixZeiger pix(pixReadMem(reinterpret_cast<const l_uint8 *>(inhalt.constData()), size_t(inhalt.size())));
    if (!pix)
        fehler(QStringLiteral("kein lesbares Bild"));
    ablage(erkennen(pix.get(), 1));
}

// A PDF page's text layer, and OCR where a page has none (a scanned PDF).
void pdfLesen(const QByteArray &inhalt, const Ablage &ablage)
{
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_raw_data(inhalt.constData(), int(inhalt.size())));
    if (!doc || doc->is_locked())
        fehler(QStringLiteral("keine lesbare PDF-Datei"));
    for (int i = 0; i < doc->pages(); ++i) {
        std::unique_ptr<poppler::page> p(doc->create_page(i));
        if (!p)
            continue;
        const double skala = PdfDpi / 72.0;
        Seitentext t;
        t.seite = i + 1;
        for (const poppler::text_box &b : p->text_list()) {
            const std::vector<char> utf8 = b.text().to_utf8();
            const QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).trimmed();
            if (text.isEmpty())
                continue;
            const poppler::rectf r = b.bbox();
            t.woerter.append({text, QRect(qRound(r.x() * skala), qRound(r.y() * skala), qRound(r.width() * skala), qRound(r.height() * skala))});
            if (!t.text.isEmpty())
                t.text += b.has_space_after() ? u' ' : u' ';
            t.text += text;
        }
        if (t.woerter.isEmpty()) {
            const poppler::rectf groesse = p->page_rect();
            const double zoll = groesse.width() * groesse.height() / (72.0 * 72.0);
            const double dpi = std::min(double(PdfDpi), std::sqrt(MaxPixel / std::max(zoll, 0.01)));
            poppler::page_renderer maler;
            maler.set_image_format(poppler::image::format_gray8);
            const poppler::image bild = maler.render_page(p.get(), dpi, dpi);
            if (!bild.is_valid())
                fehler(QStringLiteral("Seite %1 lässt sich nicht darstellen").arg(i + 1));
            PixZeiger pix(pixCreate(bild.width(), bild.height(), 8));
            for (int y = 0; y < bild.height(); ++y) {
                const unsigned char *zeile = reinterpret_cast<const unsigned char *>(bild.const_data()) + size_t(y) * size_t(bild.bytes_per_row());
                l_uint32 *ziel = pixGetData(pix.get()) + size_t(y) * size_t(pixGetWpl(pix.get()));
                for (int x = 0; x < bild.width(); ++x)
                    SET_DATA_BYTE(ziel, x, zeile[x]);
            }
            pixSetResolution(pix.get(), int(dpi), int(dpi));
            t = erkennen(pix.get(), i + 1);
            // Boxes at the 300 dpi of the text layer's pages.
            if (dpi < PdfDpi)
                for (Wort &w : t.woerter)
                    w.box = QRect(qRound(w.box.x() * PdfDpi / dpi), qRound(w.box.y() * PdfDpi / dpi), qRound(w.box.width() * PdfDpi / dpi),
                                  qRound(w.box.height() * PdfDpi / dpi));
        }
        ablage(t);
    }
}

// The e-invoice's words a bookkeeper searches for, one page.
void rechnungLesen(const QByteArray &inhalt, const Ablage &ablage)
{
    const einvoice::Leseergebnis e = einvoice::lesen(inhalt);
    if (!e.rechnung)
        return;
    const einvoice::Rechnung &r = *e.rechnung;
    QStringList teile{r.nummer, r.datum, r.verkaeufer.name, r.verkaeufer.anschrift.strasse, r.verkaeufer.anschrift.plz,
                      r.verkaeufer.anschrift.ort, r.verkaeufer.ustId, r.verkaeufer.steuernummer, r.kaeufer.name,
                      r.kaeufer.anschrift.strasse, r.kaeufer.anschrift.ort, r.kaeuferReferenz, r.bestellung, r.lieferschein,
                      r.vorherigeRechnung, r.iban, r.summeBrutto, r.summeNetto, r.zahlbetrag};
    for (const einvoice::Position &p : r.positionen)
        teile << p.id << p.name << p.notiz << p.betrag;
    teile << r.notizen << r.anhaenge;
    teile.removeAll(QString());
    Seitentext t;
    t.seite = 1;
    t.text = teile.join(u'\n');
    ablage(t);
}

} // namespace

void hierLesen(const QString &doktyp, const QByteArray &inhalt, const Ablage &ablage)
{
    if (doktyp == common::doktyp::Pdf)
        pdfLesen(inhalt, ablage);
    else if (doktyp == common::doktyp::Xml)
        rechnungLesen(inhalt, ablage);
    else if (doktyp == common::doktyp::Png || doktyp == common::doktyp::Jpg)
        bildLesen(inhalt, ablage);
    else
        tiffLesen(inhalt, ablage);
}

QList<Seitentext> hierLesen(const QString &doktyp, const QByteArray &inhalt)
{
    QList<Seitentext> seiten;
    hierLesen(doktyp, inhalt, [&seiten](const Seitentext &t) { seiten.append(t); });
    return seiten;
}

QList<Seitentext> lesen(const QString &programm, const QString &doktyp, const QByteArray &inhalt)
{
    QProcess kind;
    kind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // One thread per reader: the server runs several readers, and Tesseract's
    // own threads would only wait for each other on a busy machine.
    QProcessEnvironment umgebung = QProcessEnvironment::systemEnvironment();
    umgebung.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    kind.setProcessEnvironment(umgebung);
    kind.start(programm, {QStringLiteral("volltext-lesen"), doktyp});
    if (!kind.waitForStarted(10000))
        fehler(QStringLiteral("der Leser startet nicht (%1)").arg(kind.errorString()));
    kind.write(inhalt);
    kind.closeWriteChannel();
    QList<Seitentext> seiten;
    QDeadlineTimer frist(SeitenFrist + std::chrono::seconds(10)); // the first page includes loading the languages
    QByteArray puffer;
    for (;;) {
        while (puffer.contains('\n')) {
            const qsizetype ende = puffer.indexOf('\n');
            const QJsonObject o = QJsonDocument::fromJson(puffer.left(ende)).object();
            puffer.remove(0, ende + 1);
            if (o.contains(QLatin1String("fehler"))) {
                kind.kill();
                kind.waitForFinished(5000);
                fehler(o.value(QLatin1String("fehler")).toString());
            }
            if (o.value(QLatin1String("ende")).toBool()) {
                kind.waitForFinished(5000);
                return seiten;
            }
            Seitentext t;
            t.seite = o.value(QLatin1String("seite")).toInt();
            t.text = o.value(QLatin1String("text")).toString();
            for (const QJsonValue &w : o.value(QLatin1String("woerter")).toArray()) {
                const QJsonArray a = w.toArray();
                t.woerter.append({a.at(4).toString(), QRect(a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt(), a.at(3).toInt())});
            }
            seiten.append(t);
            frist.setRemainingTime(SeitenFrist);
        }
        if (kind.state() == QProcess::NotRunning && kind.bytesAvailable() == 0)
            fehler(QStringLiteral("Seite %1 braucht zu viel Speicher zum Lesen").arg(seiten.size() + 1));
        if (!kind.waitForReadyRead(int(qMax<qint64>(1, frist.remainingTime()))) && frist.hasExpired()) {
            kind.kill();
            kind.waitForFinished(5000);
            fehler(QStringLiteral("Seite %1 braucht zu lange zum Lesen").arg(seiten.size() + 1));
        }
        puffer += kind.readAll();
    }
}

int lesemodus(const QString &doktyp)
{
    // Whatever the file asks for beyond the bound is refused.
    const rlimit grenze{rlim_t(MaxSpeicher), rlim_t(MaxSpeicher)};
    setrlimit(RLIMIT_AS, &grenze);
    // Reading is background work: searching and saving go first.
    setpriority(PRIO_PROCESS, 0, 10);
    QFile ein;
    QFile aus;
    if (!ein.open(stdin, QIODevice::ReadOnly) || !aus.open(stdout, QIODevice::WriteOnly))
        return 2;
    const QByteArray inhalt = ein.readAll();
    const auto schreiben = [&aus](const QJsonObject &o) {
        aus.write(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        aus.flush();
    };
    try {
        // Each page as soon as it is read: the reader's time is per page.
        hierLesen(doktyp, inhalt, [&schreiben](const Seitentext &t) {
            QJsonArray woerter;
            for (const Wort &w : t.woerter)
                woerter.append(QJsonArray{w.box.x(), w.box.y(), w.box.width(), w.box.height(), w.text});
            schreiben({{"seite", t.seite}, {"text", t.text}, {"woerter", woerter}});
        });
        schreiben({{"ende", true}});
        // The language data handed back before the process ends.
        if (ocrGestartet)
            ocrApi().End();
    } catch (const std::bad_alloc &) {
        schreiben({{"fehler", QStringLiteral("zu wenig Speicher zum Lesen")}});
    } catch (const std::exception &e) {
        schreiben({{"fehler", QString::fromUtf8(e.what())}});
    }
    return 0;
}

} // namespace archiv::archivd::volltext
