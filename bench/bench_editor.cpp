// The editor with realistic documents (A4 300 dpi text pages in G4): a
// stored Beleg opened until its first page is painted (20 and 200 pages),
// paging with the arrow key, the thumbnail strip of 50 pages, and the
// resident memory with the 200-page document open.
#include "BenchHilfen.h"
#include "BenchServer.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Seitenansicht.h"
#include "imaging/TiffDatei.h"
#include "server/Verbindung.h"
#include "support/Belegbau.h"
#include "support/Testumgebung.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

using namespace archiv;

namespace {

QTextStream aus(stdout);

double residentMb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &z : f.readAll().split('\n'))
        if (z.startsWith("VmRSS:"))
            return z.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

QByteArray dokument(int seiten)
{
    QList<imaging::Seite> liste;
    for (int i = 0; i < seiten; ++i)
        liste << bench::textseite(i % 25);
    return imaging::TiffDatei::schreibenG4(liste);
}

// From the call of the loader to the first page painted.
double oeffnen(const QString &id, std::unique_ptr<editor::Bild> *fenster = nullptr)
{
    global::Modus = QStringLiteral("click");
    auto b = std::make_unique<editor::Bild>(QStringLiteral("1"));
    b->laden();
    b->show();
    QCoreApplication::processEvents();
    QElapsedTimer uhr;
    uhr.start();
    b->belegLaden(id, true);
    b->ansicht()->viewport()->repaint();
    const double ms = uhr.nsecsElapsed() / 1e6;
    if (fenster)
        *fenster = std::move(b);
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    test::einstellungenAbschirmen();
    const auto server = bench::demoServer(40);
    if (!server)
        return 1;
    global::Archivverbindung = std::make_shared<server::Verbindung>();
    if (!global::Archivverbindung->Connect(server->verbindungstext()))
        return 1;
    test::Belegbau bau(*global::Archivverbindung);
    const QString zwanzig = bau.anlegen(QStringLiteral("ER"), QStringLiteral("B-20"), {{"tif", "20 Seiten", dokument(20)}});
    const QString fuenfzig = bau.anlegen(QStringLiteral("ER"), QStringLiteral("B-50"), {{"tif", "50 Seiten", dokument(50)}});
    const QString zweihundert = bau.anlegen(QStringLiteral("ER"), QStringLiteral("B-200"), {{"tif", "200 Seiten", dokument(200)}});
    aus << "documents stored; window 960 x 760 px, fit to height" << Qt::endl;

    QList<double> z20, z200;
    for (int i = 0; i < 10; ++i)
        z20 << oeffnen(zwanzig);
    aus << "open 20-page Beleg to the first page: median " << bench::median(z20) << " ms" << Qt::endl;

    const double vorher = residentMb();
    std::unique_ptr<editor::Bild> offen;
    double nachEinem = 0;
    for (int i = 0; i < 5; ++i) {
        z200 << oeffnen(zweihundert, &offen);
        if (i == 0)
            nachEinem = residentMb();
    }
    aus << "open 200-page Beleg to the first page: median " << bench::median(z200) << " ms" << Qt::endl;

    QList<double> blaettern;
    for (int s = 1; s < 60; ++s) {
        QElapsedTimer uhr;
        uhr.start();
        offen->taste(39);
        offen->ansicht()->viewport()->repaint();
        blaettern << uhr.nsecsElapsed() / 1e6;
    }
    aus << "arrow key to the next page, painted: median " << bench::median(blaettern) << " ms, worst "
        << *std::max_element(blaettern.begin(), blaettern.end()) << " ms over " << blaettern.size() << " pages" << Qt::endl;
    aus << "resident memory: " << nachEinem << " MB with the 200-page document opened once, " << residentMb()
        << " MB after five openings and paging (" << vorher << " MB before)" << Qt::endl;
    offen.reset();

    QList<double> leiste;
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<editor::Bild> b;
        oeffnen(fuenfzig, &b);
        QElapsedTimer uhr;
        uhr.start();
        b->tabGewechselt(QStringLiteral("vorschau"));
        QCoreApplication::processEvents();
        leiste << uhr.nsecsElapsed() / 1e6;
    }
    aus << "thumbnail strip of 50 pages: median " << bench::median(leiste) << " ms" << Qt::endl;

    std::unique_ptr<editor::Bild> b;
    oeffnen(fuenfzig, &b);
    b->tabGewechselt(QStringLiteral("vorschau"));
    QList<double> verschieben;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer uhr;
        uhr.start();
        b->seiteVerschieben(0, 30);
        QCoreApplication::processEvents();
        verschieben << uhr.nsecsElapsed() / 1e6;
    }
    aus << "moving a page in the 50-page strip (list and strip rebuilt): median " << bench::median(verschieben) << " ms" << Qt::endl;
    return 0;
}
