// Imaging speed beside the platform's own tools on the same machine and
// files: libtiff decode loop, tiffcp, tiff2pdf, zbarimg.
#include "BenchHilfen.h"
#include "imaging/Barcode.h"
#include "imaging/Bilddatei.h"
#include "imaging/PdfDatei.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/Seitenliste.h"
#include "imaging/TiffDatei.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <tiffio.h>

using namespace archiv::imaging;

namespace {

QTextStream aus(stdout);

double sekunden(QElapsedTimer &uhr)
{
    return uhr.nsecsElapsed() / 1e9;
}

double werkzeug(const QString &programm, const QStringList &args)
{
    if (QStandardPaths::findExecutable(programm).isEmpty())
        return -1;
    QProcess p;
    QElapsedTimer uhr;
    uhr.start();
    p.start(programm, args);
    p.waitForFinished(-1);
    return p.exitCode() == 0 ? sekunden(uhr) : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    dir.setAutoRemove(!qEnvironmentVariableIsSet("BENCH_BEHALTEN"));
    const int n = 200;
    QList<Seite> seiten;
    for (int i = 0; i < 20; ++i)
        seiten << archiv::bench::textseite(i);
    QList<Seite> alle;
    for (int i = 0; i < n; ++i)
        alle << seiten.at(i % 20);

    // Encoding 200 pages to G4, beside tiffcp from an uncompressed file.
    QElapsedTimer uhr;
    uhr.start();
    const QByteArray g4 = TiffDatei::schreibenG4(alle);
    const double unsEnc = sekunden(uhr);
    const QString tifPfad = dir.filePath("doc.tif");
    QFile(tifPfad).open(QIODevice::WriteOnly) && QFile(tifPfad).size() == 0;
    {
        QFile f(tifPfad);
        f.open(QIODevice::WriteOnly);
        f.write(g4);
    }
    const QString roh = dir.filePath("roh.tif");
    werkzeug("tiffcp", {"-c", "none", tifPfad, roh});
    const double tiffcp = werkzeug("tiffcp", {"-c", "g4", "-r", "3508", roh, dir.filePath("cp.tif")});
    aus << "encode 200 pages to G4: " << n / unsEnc << " pages/s; tiffcp -c g4 -r 3508: " << (tiffcp > 0 ? n / tiffcp : 0) << " pages/s ("
        << g4.size() / n / 1024 << " KiB a page)" << Qt::endl;

    // Decoding all pages one after the other as the viewer does (each page
    // released after use), beside a plain libtiff loop.
    uhr.restart();
    int gelesenAnzahl = 0;
    {
        Seitenliste blaettern;
        blaettern.laden(tifPfad);
        for (int i = 0; i < blaettern.anzahl(); ++i)
            gelesenAnzahl += blaettern.seite(i).breite() > 0;
    }
    const double unsDec = sekunden(uhr);
    uhr.restart();
    const QList<Seite> gelesen = TiffDatei::lesen(tifPfad);
    const double alleBehalten = sekunden(uhr);
    uhr.restart();
    {
        TIFF *t = TIFFOpen(tifPfad.toLocal8Bit().constData(), "r");
        QByteArray puffer;
        do {
            const tmsize_t groesse = TIFFStripSize(t);
            puffer.resize(groesse);
            TIFFReadEncodedStrip(t, 0, puffer.data(), groesse);
        } while (TIFFReadDirectory(t));
        TIFFClose(t);
    }
    const double plain = sekunden(uhr);
    aus << "decode 200-page G4 TIFF page by page: " << gelesenAnzahl / unsDec << " pages/s; plain libtiff loop: " << n / plain << " pages/s ("
        << 100.0 * plain / unsDec << " %); all 200 decoded and kept at once: " << gelesen.size() / alleBehalten << " pages/s" << Qt::endl;

    // Opening into a page list (kept encoded) and showing the first page.
    uhr.restart();
    Seitenliste liste;
    liste.laden(tifPfad);
    const Seite erste = liste.seite(0);
    const double oeffnen = sekunden(uhr);
    uhr.restart();
    for (int i = 1; i <= 20; ++i)
        liste.seite(i);
    aus << "page list: open 200 pages to first page " << oeffnen * 1000 << " ms; next page " << sekunden(uhr) * 1000 / 20 << " ms"
        << Qt::endl;

    // A 500-page document held in a page list: resident memory.
    {
        auto rss = [] {
            QFile status(QStringLiteral("/proc/self/status"));
            status.open(QIODevice::ReadOnly);
            for (const QByteArray &zeile : status.readAll().split('\n'))
                if (zeile.startsWith("VmRSS:"))
                    return zeile.mid(6).trimmed();
            return QByteArray("?");
        };
        const QByteArray vorher = rss();
        Seitenliste lang;
        for (int i = 0; i < 500; ++i)
            lang.einfuegen(i, TiffDatei::kodieren(seiten.at(i % 20)));
        for (int i = 0; i < 500; i += 50)
            lang.seite(i);
        aus << "500-page list: resident " << rss() << " (before " << vorher << ")" << Qt::endl;
    }

    // TIFF to PDF export, beside tiff2pdf.
    uhr.restart();
    const QString pdfPfad = dir.filePath("doc.pdf");
    const QList<KodierteSeite> roheSeiten = Bilddatei::lesen(tifPfad);
    const double pdfLesen = sekunden(uhr);
    Bilddatei::schreiben(pdfPfad, roheSeiten, Pdf);
    const double unsPdf = sekunden(uhr);
    aus << "  (of which reading the TIFF " << pdfLesen * 1000 << " ms)" << Qt::endl;
    const double t2p = werkzeug("tiff2pdf", {"-o", dir.filePath("t2p.pdf"), tifPfad});
    aus << "TIFF to PDF, 200 pages: " << unsPdf * 1000 << " ms, " << QFileInfo(pdfPfad).size() / 1024 << " KiB; tiff2pdf: " << t2p * 1000
        << " ms, " << QFileInfo(dir.filePath("t2p.pdf")).size() / 1024 << " KiB" << Qt::endl;

    // Reading the PDF back.
    uhr.restart();
    const QList<KodierteSeite> ausPdf = Bilddatei::lesen(pdfPfad);
    QList<Seite> pdfSeiten;
    for (const KodierteSeite &k : ausPdf)
        pdfSeiten << TiffDatei::dekodieren(k);
    const double unsPdfLesen = sekunden(uhr);
    bool gleich = pdfSeiten.size() == n;
    for (int i = 0; gleich && i < n; ++i)
        gleich = pdfSeiten.at(i) == alle.at(i);
    const double pdftoppm = werkzeug("pdftoppm", {"-r", "300", "-mono", "-f", "1", "-l", "5", pdfPfad, dir.filePath("ppm")});
    aus << "read back our 200-page PDF (decoded): " << n / unsPdfLesen << " pages/s, pixel-identical: " << (gleich ? "yes" : "NO")
        << "; pdftoppm -r 300 -mono: " << (pdftoppm > 0 ? 5 / pdftoppm : 0) << " pages/s" << Qt::endl;

    // EAN-13 on an A4 300 dpi page at each rotation, beside zbarimg.
    Seite etikett = archiv::bench::textseite(99);
    const QImage code = ean13Bild(QStringLiteral("220010047117"), 340, 90);
    for (int y = 0; y < code.height(); ++y)
        for (int x = 0; x < code.width(); ++x)
            etikett.bild().setPixel(1900 + x, 120 + y, code.pixelIndex(x, y));
    for (int grad : {0, 90, 180, 270}) {
        const Seite s = gedreht(etikett, grad);
        QList<double> zeiten;
        QStringList gefunden;
        for (int i = 0; i < 15; ++i) {
            uhr.restart();
            gefunden = BarcodeLeser::lesen(s);
            zeiten << sekunden(uhr) * 1000;
        }
        std::sort(zeiten.begin(), zeiten.end());
        const QString png = dir.filePath(QStringLiteral("seite%1.png").arg(grad));
        s.bild().save(png);
        QProcess z;
        z.start("zbarimg", {"-q", "--raw", "-Sdisable", "-Sean13.enable", png});
        uhr.restart();
        z.waitForFinished(-1);
        const double zbar = sekunden(uhr) * 1000;
        aus << "EAN-13 on A4 300 dpi, turned " << grad << ": median " << zeiten.at(zeiten.size() / 2) << " ms, found " << gefunden.join(',')
            << "; zbarimg (whole process) " << zbar << " ms, found " << z.readAllStandardOutput().trimmed() << Qt::endl;
    }

    // The same page as a scanner delivers it in grey (pale print on light
    // paper): made bilevel with the page's own threshold, and the label read
    // from the grey at each rotation.
    for (int grad : {0, 90, 180, 270}) {
        const QImage mono = gedreht(etikett, grad).bild();
        QImage grau(mono.size(), QImage::Format_Grayscale8);
        for (int y = 0; y < mono.height(); ++y) {
            const uchar *ein = mono.constScanLine(y);
            uchar *zl = grau.scanLine(y);
            for (int x = 0; x < mono.width(); ++x)
                zl[x] = (ein[x >> 3] & (0x80 >> (x & 7))) ? 90 : 225;
        }
        QList<double> schwelle, lesen;
        QStringList gefunden;
        for (int i = 0; i < 15; ++i) {
            uhr.restart();
            const QImage b = Seite::bilevel(grau);
            schwelle << sekunden(uhr) * 1000;
            const Seite s(grau, 300);
            uhr.restart();
            gefunden = BarcodeLeser::lesen(s);
            lesen << sekunden(uhr) * 1000;
        }
        aus << "grey A4 300 dpi, turned " << grad << ": bilevel (Otsu) median " << archiv::bench::median(schwelle)
            << " ms; EAN-13 from the grey median " << archiv::bench::median(lesen) << " ms, found " << gefunden.join(',') << Qt::endl;
    }
    return 0;
}
