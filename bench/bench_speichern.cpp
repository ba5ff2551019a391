// Taking documents in and out: a Beleg with 20 and 200 A4 300 dpi pages
// saved from the editor end to end (page file, upload, one save with the
// server's fsync), the export of 200 pages as PDF beside tiff2pdf, and the
// rate at which archivd backup writes a volume.
#include "BenchHilfen.h"
#include "BenchServer.h"
#include "common/Programmzustand.h"
#include "editor/Bild.h"
#include "editor/Seitenansicht.h"
#include "imaging/Bilddatei.h"
#include "imaging/Bilddatei.h"
#include "imaging/TiffDatei.h"
#include "search/Ausgabe.h"
#include "server/Verbindung.h"
#include "support/Belegbau.h"
#include "support/Testumgebung.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

using namespace archiv;

namespace {

QTextStream aus(stdout);

QByteArray dokument(int seiten)
{
    QList<imaging::Seite> liste;
    for (int i = 0; i < seiten; ++i)
        liste << bench::textseite(i % 25);
    return imaging::TiffDatei::schreibenG4(liste);
}

// Opens the Beleg in edit mode and saves it n times (the current document
// rewritten from the page view); the times of the saves.
QList<double> speichern(const QString &id, int n)
{
    global::Modus = QStringLiteral("bearbeiten");
    editor::Bild b(QStringLiteral("1"));
    b.laden();
    b.show();
    b.belegLaden(id, true);
    QList<double> zeiten;
    for (int i = 0; i < n; ++i) {
        QElapsedTimer uhr;
        uhr.start();
        if (!b.speichernMit({false, QStringLiteral("Lauf %1").arg(i), false}))
            aus << "save failed" << Qt::endl;
        zeiten << uhr.nsecsElapsed() / 1e6;
    }
    return zeiten;
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
    global::Anmeldung = QStringLiteral("MA01");
    test::Belegbau bau(*global::Archivverbindung);
    const QByteArray zwanzigSeiten = dokument(20);
    const QByteArray zweihundertSeiten = dokument(200);
    const QString zwanzig = bau.anlegen(QStringLiteral("ER"), QStringLiteral("S-20"), {{"tif", "20 Seiten", zwanzigSeiten}});
    const QString zweihundert = bau.anlegen(QStringLiteral("ER"), QStringLiteral("S-200"), {{"tif", "200 Seiten", zweihundertSeiten}});
    aus << "documents: 20 pages " << zwanzigSeiten.size() / 1024 << " KB, 200 pages " << zweihundertSeiten.size() / 1024 << " KB" << Qt::endl;

    aus << "save 20-page Beleg from the editor: median " << bench::median(speichern(zwanzig, 10)) << " ms" << Qt::endl;
    aus << "save 200-page Beleg from the editor: median " << bench::median(speichern(zweihundert, 5)) << " ms" << Qt::endl;

    // Export of 200 pages as PDF, and tiff2pdf on the same file.
    QTemporaryDir dir;
    const QString tif = dir.filePath(QStringLiteral("d.tif"));
    {
        QFile f(tif);
        f.open(QIODevice::WriteOnly);
        f.write(zweihundertSeiten);
    }
    const search::ausgabe::Dokument d{QStringLiteral("ER"), QStringLiteral("S-200"), QStringLiteral("tif"), zweihundertSeiten};
    QList<double> export200, tiff2pdf;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer uhr;
        uhr.start();
        search::ausgabe::exportieren(d, QStringLiteral("pdf"), dir.filePath(QStringLiteral("e.pdf")));
        export200 << uhr.nsecsElapsed() / 1e6;
        uhr.restart();
        QProcess::execute(QStringLiteral("tiff2pdf"), {QStringLiteral("-o"), dir.filePath(QStringLiteral("t.pdf")), tif});
        tiff2pdf << uhr.nsecsElapsed() / 1e6;
    }
    {
        QList<double> lesen, kodieren;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer uhr;
            uhr.start();
            const auto seiten = imaging::Bilddatei::lesen(zweihundertSeiten, QStringLiteral("d.tif"));
            lesen << uhr.nsecsElapsed() / 1e6;
            uhr.restart();
            imaging::Bilddatei::kodieren(seiten, imaging::Pdf);
            kodieren << uhr.nsecsElapsed() / 1e6;
        }
        aus << "  of which reading the TIFF: " << bench::median(lesen) << " ms, writing the PDF: " << bench::median(kodieren) << " ms"
            << Qt::endl;
    }
    aus << "export 200 pages as PDF: median " << bench::median(export200) << " ms; tiff2pdf: median " << bench::median(tiff2pdf) << " ms"
        << Qt::endl;

    // A volume of 150 Belege with 20 pages each.
    for (int i = 0; i < 150; ++i)
        bau.anlegen(QStringLiteral("LS"), QStringLiteral("SV-%1").arg(i), {{"tif", "", zwanzigSeiten}});
    server->stoppen();
    QString ausgabe;
    QElapsedTimer uhr;
    uhr.start();
    test::ArchivServer::archivd({"backup", "--ziel", dir.filePath(QStringLiteral("baender")), "--db", server->dbPfad()}, &ausgabe);
    const double s = uhr.nsecsElapsed() / 1e9;
    aus << ausgabe.trimmed() << Qt::endl;
    qint64 bytes = 0;
    for (const QString &zeile : ausgabe.split(u'\n'))
        if (zeile.contains(QLatin1String(" MB in ")))
            bytes = qint64(zeile.section(QLatin1String(", "), 1, 1).section(u' ', 0, 0).toDouble() * 1e6);
    aus << "backup: " << bytes / 1e6 / s << " MB/s of documents (" << s << " s including start-up)" << Qt::endl;

    // The same volumes restored into an empty archive, manifests checked first.
    const QString stammdaten = dir.filePath(QStringLiteral("stammdaten.json"));
    test::ArchivServer::archivd({"export", "--ziel", stammdaten, "--db", server->dbPfad()}, &ausgabe);
    QStringList baender;
    for (const QString &b : QDir(dir.filePath(QStringLiteral("baender"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        baender << QDir(dir.filePath(QStringLiteral("baender"))).filePath(b);
    uhr.restart();
    test::ArchivServer::archivd(QStringList{"restore", "--ziel", dir.filePath(QStringLiteral("wieder.sqlite")), "--stammdaten", stammdaten} + baender,
                                &ausgabe, 600000);
    const double r = uhr.nsecsElapsed() / 1e9;
    aus << ausgabe.section(u'\n', 0, 0).trimmed() << Qt::endl;
    aus << "restore: " << bytes / 1e6 / r << " MB/s of documents (" << r << " s including start-up and the manifest check)" << Qt::endl;
    return 0;
}
