#include "imaging/PdfRaster.h"

#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"

#include <poppler-qt6.h>

#include <QBuffer>
#include <QDataStream>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace archiv::imaging::pdfraster {

namespace {

// A drawn page is held as 32-bit pixels while it is drawn: beyond this many
// pixels the page is drawn at a lower resolution, and a page that would need
// less than MinDpi for that is refused.
constexpr double MaxPixel = 60e6;
constexpr double MaxKante = 20000;
constexpr double ZielDpi = 300;
constexpr double MinDpi = 50;

constexpr quint32 Kennung = 0x41524331; // "ARC1": bilevel pages at ZielDpi
constexpr quint32 FarbKennung = 0x41524332; // "ARC2": colour pictures at a given resolution
// A request larger than this is no document the archive keeps.
constexpr qint64 MaxAnfrage = 512LL * 1024 * 1024;
enum Art : quint8 { SeiteArt = 1, FehlerArt = 2, EndeArt = 3, FarbArt = 4 };

[[noreturn]] void fehler(const QString &name, const QString &was)
{
    throw BildFehler(QStringLiteral("%1: %2").arg(name, was).toStdString());
}

QMutex programmMutex;
QString gesetztesProgramm;
bool gesetzt = false;
std::chrono::milliseconds gesetzteFrist = Frist;
qint64 gesetzterSpeicher = MaxSpeicher;

bool abbrechen(const QVariant &frist)
{
    return QDateTime::currentMSecsSinceEpoch() > frist.toLongLong();
}

std::unique_ptr<Poppler::Document> dokument(const QByteArray &daten, const QString &name)
{
    std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(daten);
    if (!doc || doc->isLocked() || doc->numPages() <= 0)
        fehler(name, QStringLiteral("keine lesbare PDF-Datei"));
    return doc;
}

// The page numbers to draw: those listed, else erste.. (anzahl, -1 = all).
QList<int> auswahl(const Poppler::Document &doc, const QList<int> &seiten, int erste, int anzahl)
{
    if (!seiten.isEmpty())
        return seiten;
    QList<int> alle;
    for (int i = erste; i < doc.numPages() && (anzahl < 0 || alle.size() < anzahl); ++i)
        alle << i;
    return alle;
}

} // namespace

Farbseite farbseite(const QImage &bild, int dpi)
{
    Farbseite f;
    QBuffer puffer(&f.bild);
    puffer.open(QIODevice::WriteOnly);
    // PNG keeps the text of a page sharp; a high quality value writes it
    // quickly, with little compression.
    bild.convertToFormat(QImage::Format_RGB888).save(&puffer, "PNG", 90);
    f.bilevel = TiffDatei::kodieren(Seite(bild, dpi, dpi));
    return f;
}

namespace {

struct Gezeichnet
{
    QImage bild;
    int dpi = 0;
};

Gezeichnet zeichnen(Poppler::Document &doc, int nummer, const QString &name, double zielDpi)
{
    std::unique_ptr<Poppler::Page> seite(doc.page(nummer));
    if (!seite)
        fehler(name, QStringLiteral("Seite %1 fehlt").arg(nummer + 1));
    const QSizeF punkte = seite->pageSizeF();
    if (punkte.width() <= 0 || punkte.height() <= 0)
        fehler(name, QStringLiteral("Seite %1 hat keine gültige Größe").arg(nummer + 1));
    const double zoll = punkte.width() * punkte.height() / (72.0 * 72.0);
    // Whole dots per inch, rounded down: the file records the resolution
    // as a whole number and the page stays within the bound.
    const double dpi = std::floor(
        std::min({zielDpi, std::sqrt(MaxPixel / zoll), MaxKante * 72.0 / punkte.width(), MaxKante * 72.0 / punkte.height()}));
    if (dpi < MinDpi)
        fehler(name,
               QStringLiteral("Seite %1 ist zu groß zum Darstellen (%2 × %3 cm)")
                   .arg(nummer + 1)
                   .arg(qRound(punkte.width() / 72.0 * 2.54))
                   .arg(qRound(punkte.height() / 72.0 * 2.54)));
    const qint64 frist = QDateTime::currentMSecsSinceEpoch() + std::chrono::milliseconds(Frist).count();
    const QImage bild = seite->renderToImage(dpi, dpi, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr, nullptr, abbrechen, QVariant(frist));
    if (QDateTime::currentMSecsSinceEpoch() > frist)
        fehler(name, QStringLiteral("Seite %1 braucht zu lange zum Darstellen").arg(nummer + 1));
    if (bild.isNull())
        fehler(name, QStringLiteral("Seite %1 lässt sich nicht darstellen").arg(nummer + 1));
    // Refused memory does not always fail the drawing: Poppler then hands
    // back a picture of the wrong size.
    const QSize erwartet(qRound(punkte.width() * dpi / 72.0), qRound(punkte.height() * dpi / 72.0));
    if (qAbs(bild.width() - erwartet.width()) > 2 || qAbs(bild.height() - erwartet.height()) > 2)
        fehler(name, QStringLiteral("Seite %1 braucht zu viel Speicher zum Darstellen").arg(nummer + 1));
    return {bild, int(dpi)};
}

KodierteSeite seiteZeichnen(Poppler::Document &doc, int nummer, const QString &name)
{
    const Gezeichnet g = zeichnen(doc, nummer, name, ZielDpi);
    return TiffDatei::kodieren(Seite(g.bild, g.dpi, g.dpi));
}

Farbseite farbseiteZeichnen(Poppler::Document &doc, int nummer, const QString &name, int dpi)
{
    const Gezeichnet g = zeichnen(doc, nummer, name, qBound(MinDpi, double(dpi), ZielDpi));
    return farbseite(g.bild, g.dpi);
}

QList<KodierteSeite> hierZeichnen(const QByteArray &daten, const QString &name, const QList<int> &seiten, int erste, int anzahl)
{
    std::unique_ptr<Poppler::Document> doc = dokument(daten, name);
    QList<KodierteSeite> ergebnis;
    for (int nummer : auswahl(*doc, seiten, erste, anzahl))
        ergebnis.append(seiteZeichnen(*doc, nummer, name));
    return ergebnis;
}

// farbDpi 0: bilevel pages at ZielDpi; else colour pictures (with their
// bilevel form) at that resolution.
QList<Farbseite> imKindZeichnen(const QString &programm, const QByteArray &daten, const QString &name, const QList<int> &seiten,
                                int erste, int anzahl, int farbDpi)
{
    std::chrono::milliseconds zeit;
    qint64 speicher;
    {
        QMutexLocker sperre(&programmMutex);
        zeit = gesetzteFrist;
        speicher = gesetzterSpeicher;
    }
    QProcess kind;
    kind.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kind.start(programm, {QLatin1String(Schalter)});
    if (!kind.waitForStarted(10000))
        fehler(name, QStringLiteral("der Darsteller für PDF-Seiten startet nicht (%1)").arg(kind.errorString()));
    {
        QDataStream aus(&kind);
        aus.setVersion(QDataStream::Qt_6_4);
        aus << (farbDpi > 0 ? FarbKennung : Kennung) << qint64(speicher) << name << seiten << qint32(erste) << qint32(anzahl);
        if (farbDpi > 0)
            aus << qint32(farbDpi);
        aus << daten;
    }
    kind.closeWriteChannel();

    QDataStream ein(&kind);
    ein.setVersion(QDataStream::Qt_6_4);
    QList<Farbseite> ergebnis;
    QDeadlineTimer frist(zeit);
    const auto beenden = [&kind] {
        kind.kill();
        kind.waitForFinished(5000);
    };
    for (;;) {
        ein.startTransaction();
        quint8 art = 0;
        ein >> art;
        if (art == SeiteArt || art == FarbArt) {
            qint32 breite = 0, hoehe = 0, dpiX = 0, dpiY = 0;
            QByteArray g4, bild;
            ein >> breite >> hoehe >> dpiX >> dpiY >> g4;
            if (art == FarbArt)
                ein >> bild;
            if (ein.commitTransaction()) {
                ergebnis.append(Farbseite{bild, KodierteSeite{g4, breite, hoehe, dpiX, dpiY, {}}});
                frist.setRemainingTime(zeit); // each page has the time
                continue;
            }
        } else if (art == FehlerArt) {
            QString meldung;
            ein >> meldung;
            if (ein.commitTransaction()) {
                beenden();
                throw BildFehler(meldung.toStdString());
            }
        } else if (art == EndeArt && ein.commitTransaction()) {
            kind.waitForFinished(5000);
            return ergebnis;
        } else if (art != 0) {
            beenden();
            fehler(name, QStringLiteral("unverständliche Antwort des Darstellers"));
        } else {
            ein.rollbackTransaction();
        }
        // Everything it wrote is read once it ended: an answer cut short
        // means it was stopped by its memory limit, or crashed.
        if (kind.state() == QProcess::NotRunning)
            fehler(name, QStringLiteral("Seite %1 braucht zu viel Speicher zum Darstellen").arg(ergebnis.size() + 1));
        if (!kind.waitForReadyRead(int(qMax<qint64>(1, frist.remainingTime()))) && frist.hasExpired()) {
            beenden();
            fehler(name, QStringLiteral("Seite %1 braucht zu lange zum Darstellen").arg(ergebnis.size() + 1));
        }
    }
}

QList<Farbseite> farbigHierZeichnen(const QByteArray &daten, const QString &name, int dpi)
{
    std::unique_ptr<Poppler::Document> doc = dokument(daten, name);
    QList<Farbseite> ergebnis;
    for (int nummer = 0; nummer < doc->numPages(); ++nummer)
        ergebnis.append(farbseiteZeichnen(*doc, nummer, name, dpi));
    return ergebnis;
}

} // namespace

void setzeGrenzen(std::chrono::milliseconds frist, qint64 speicher)
{
    QMutexLocker sperre(&programmMutex);
    gesetzteFrist = frist.count() > 0 ? frist : std::chrono::milliseconds(Frist);
    gesetzterSpeicher = speicher > 0 ? qMin(speicher, MaxSpeicher) : MaxSpeicher;
}

void setzeProgramm(const QString &programm)
{
    QMutexLocker sperre(&programmMutex);
    gesetztesProgramm = programm;
    gesetzt = true;
}

QString programm()
{
    QMutexLocker sperre(&programmMutex);
    return gesetzt ? gesetztesProgramm : qEnvironmentVariable("ARCHIV_RENDER");
}

QList<KodierteSeite> rastern(const QByteArray &daten, const QString &name, const QList<int> &seiten, int erste, int anzahl)
{
    const QString p = programm();
    if (p.isEmpty())
        return hierZeichnen(daten, name, seiten, erste, anzahl);
    QList<KodierteSeite> ergebnis;
    for (Farbseite &f : imKindZeichnen(p, daten, name, seiten, erste, anzahl, 0))
        ergebnis.append(std::move(f.bilevel));
    return ergebnis;
}

QList<Farbseite> farbigRastern(const QByteArray &daten, const QString &name, int dpi)
{
    const QString p = programm();
    if (p.isEmpty())
        return farbigHierZeichnen(daten, name, dpi);
    return imKindZeichnen(p, daten, name, {}, 0, -1, dpi);
}

int modus()
{
    // The whole request first: a pipe delivers it in pieces.
    QByteArray roh;
    for (;;) {
        char puffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, puffer, sizeof puffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (roh.size() + n > MaxAnfrage)
            return 2;
        roh.append(puffer, n);
    }
    QFile aus;
    if (!aus.open(stdout, QIODevice::WriteOnly))
        return 2;
    QDataStream anfrage(roh);
    anfrage.setVersion(QDataStream::Qt_6_4);
    quint32 kennung = 0;
    qint64 speicher = MaxSpeicher;
    QString name;
    QList<int> seiten;
    qint32 erste = 0, anzahl = -1;
    QByteArray daten;
    qint32 farbDpi = 0;
    anfrage >> kennung >> speicher >> name >> seiten >> erste >> anzahl;
    if (kennung == FarbKennung)
        anfrage >> farbDpi;
    anfrage >> daten;
    roh.clear();
    roh.squeeze();
    // The bound on memory comes before the file is looked at: whatever the
    // drawing asks for beyond it is refused, and the process ends.
    const rlim_t grenzwert = rlim_t(std::clamp<qint64>(speicher, 64LL * 1024 * 1024, MaxSpeicher));
    const rlimit grenze{grenzwert, grenzwert};
    setrlimit(RLIMIT_AS, &grenze);
    if (anfrage.status() != QDataStream::Ok || (kennung != Kennung && kennung != FarbKennung)) {
        std::fprintf(stderr, "archiv %s: unreadable request (%d %x)\n", Schalter, int(anfrage.status()), kennung);
        return 2;
    }
    QDataStream antwort(&aus);
    antwort.setVersion(QDataStream::Qt_6_4);
    try {
        std::unique_ptr<Poppler::Document> doc = dokument(daten, name);
        daten.clear();
        for (int nummer : auswahl(*doc, seiten, erste, anzahl)) {
            if (kennung == FarbKennung) {
                const Farbseite f = farbseiteZeichnen(*doc, nummer, name, farbDpi);
                const KodierteSeite &s = f.bilevel;
                antwort << quint8(FarbArt) << qint32(s.breite) << qint32(s.hoehe) << qint32(s.dpiX) << qint32(s.dpiY) << s.g4 << f.bild;
                aus.flush();
                continue;
            }
            const KodierteSeite s = seiteZeichnen(*doc, nummer, name);
            antwort << quint8(SeiteArt) << qint32(s.breite) << qint32(s.hoehe) << qint32(s.dpiX) << qint32(s.dpiY) << s.g4;
            aus.flush();
        }
        antwort << quint8(EndeArt);
    } catch (const std::bad_alloc &) {
        antwort << quint8(FehlerArt) << QStringLiteral("%1: zu wenig Speicher zum Darstellen").arg(name);
    } catch (const std::exception &e) {
        antwort << quint8(FehlerArt) << QString::fromUtf8(e.what());
    }
    aus.flush();
    return 0;
}

} // namespace archiv::imaging::pdfraster
