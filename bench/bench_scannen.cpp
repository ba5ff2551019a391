// Scanning 100 A4 300 dpi pages from a folder source into the editor, with
// the barcode of page 1 read and looked up: pages per second into the view,
// and a single page from the click to the view showing it.
#include "BenchHilfen.h"
#include "BenchServer.h"
#include "app/Einstellungen.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Seitenansicht.h"
#include "imaging/TiffDatei.h"
#include "server/Verbindung.h"
#include "support/Testumgebung.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

using namespace archiv;

namespace {

QTextStream aus(stdout);

double scannen(const QString &ordner, const QList<imaging::Seite> &seiten, int *angekommen)
{
    imaging::TiffDatei::schreibenG4(QDir(ordner).filePath(QStringLiteral("stapel.tif")), seiten);
    global::Modus = QStringLiteral("bearbeiten");
    editor::Bild b(QStringLiteral("1"));
    b.laden();
    b.show();
    QCoreApplication::processEvents();
    QElapsedTimer uhr;
    uhr.start();
    b.scannen();
    b.ansicht()->viewport()->repaint();
    *angekommen = global::SeitenAnz;
    return uhr.nsecsElapsed() / 1e6;
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
    QTemporaryDir ordner;
    app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("Ordner: ") + ordner.path());
    QList<imaging::Seite> hundert;
    for (int i = 0; i < 100; ++i)
        hundert << bench::textseite(i % 25);
    int n = 0;
    QList<double> zeiten;
    for (int lauf = 0; lauf < 3; ++lauf)
        zeiten << scannen(ordner.path(), hundert, &n);
    const double ms = bench::median(zeiten);
    aus << "scan 100 A4 300 dpi pages into the editor: median " << ms << " ms, " << n * 1000.0 / ms << " pages/s" << Qt::endl;
    QList<double> eine;
    for (int lauf = 0; lauf < 5; ++lauf)
        eine << scannen(ordner.path(), {hundert.first()}, &n);
    aus << "one page, from the click to the view showing it (barcode read, source opened): median " << bench::median(eine) << " ms"
        << Qt::endl;
    return 0;
}
