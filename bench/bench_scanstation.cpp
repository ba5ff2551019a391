// The scan station: a stack of 200 A4 300 dpi pages, each with the label of
// its Beleg, scanned from a folder source with the barcode read on every
// page into the scan store; then the Beleg search and the transfer of the
// 200 pages into their 50 Belege. Pages per second for both.
#include "BenchHilfen.h"
#include "BenchServer.h"
#include "app/Einstellungen.h"
#include "common/Etikett.h"
#include "common/Programmzustand.h"
#include "imaging/TiffDatei.h"
#include "scan/Scandatabase.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "support/Belegbau.h"
#include "support/DialogFahrer.h"
#include "support/MeldungsRecorder.h"
#include "support/Testumgebung.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

using namespace archiv;

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream aus(stdout);
    test::einstellungenAbschirmen();
    const auto server = bench::demoServer(40);
    if (!server)
        return 1;
    server::Verbindung v;
    if (!v.Connect(server->verbindungstext()))
        return 1;

    v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
    // 50 Belege and a label run for them; four pages a Beleg, each labelled.
    constexpr int Belege = 50, SeitenJeBeleg = 4;
    server::Objekt typ = v.OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||ER"));
    const qint64 erste = typ.get(QStringLiteral("lastbelnrbarc")).toLongLong() + 1;
    typ.set(QStringLiteral("lastbelnrbarc"), QString::number(erste + Belege - 1));
    if (typ.SYS_Save() != 1)
        return 1;
    test::Belegbau bau(v);
    QList<imaging::Seite> stapel;
    for (int b = 0; b < Belege; ++b) {
        bau.anlegen(QStringLiteral("ER"), QString::number(erste + b), {});
        for (int s = 0; s < SeitenJeBeleg; ++s)
            stapel << test::Belegbau::beklebt(bench::textseite(b * SeitenJeBeleg + s), {common::etikett::code(erste + b)});
    }
    QTemporaryDir ordner;
    imaging::TiffDatei::schreibenG4(QDir(ordner.path()).filePath(QStringLiteral("stapel.tif")), stapel);
    app::setzeEinstellung(QStringLiteral("Scanner"), QStringLiteral("Quelle"), QStringLiteral("Ordner: ") + ordner.path());
    app::setzeEinstellung(QStringLiteral("Allgemein"), QStringLiteral("Barcode"), QStringLiteral("1"));
    app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arip"), QStringLiteral("127.0.0.1"));
    app::setzeEinstellung(QStringLiteral("Server"), QStringLiteral("arport"), QString::number(server->port()));

    test::MeldungsRecorder meldungen;
    meldungen.antworte(common::Antwort::Nein); // "Weiter Scannen"
    scan::Scandatabase fenster;
    fenster.show();
    if (!fenster.laden())
        return 1;
    test::DialogFahrer fahrer;
    fahrer.bei(QStringLiteral("scanvorgabe"), [](QDialog *d) { test::DialogFahrer::klicken(d, QStringLiteral("BUOk")); });
    QElapsedTimer uhr;
    uhr.start();
    fenster.scannen();
    const double scanMs = uhr.nsecsElapsed() / 1e6;
    int mitBeleg = 0;
    for (int i = 0; i < fenster.liste()->topLevelItemCount(); ++i)
        mitBeleg += fenster.liste()->topLevelItem(i)->text(0).isEmpty() ? 0 : 1;
    aus << "batch scan of " << stapel.size() << " A4 300 dpi pages, barcode read on each, into the scan store: " << scanMs << " ms, "
        << stapel.size() * 1000.0 / scanMs << " pages/s (" << mitBeleg << " with their Beleg's key)" << Qt::endl;

    uhr.restart();
    fenster.belegsuche();
    const double sucheMs = uhr.nsecsElapsed() / 1e6;
    uhr.restart();
    fenster.uebernahmealle();
    const double uebernahmeMs = uhr.nsecsElapsed() / 1e6;
    aus << "Belegsuche: " << sucheMs << " ms; transfer of " << mitBeleg << " pages into " << Belege << " Belege: " << uebernahmeMs << " ms, "
        << mitBeleg * 1000.0 / uebernahmeMs << " pages/s (" << fenster.liste()->topLevelItemCount() << " left in the store, "
        << meldungen.texte().join(QStringLiteral("; ")) << ")" << Qt::endl;
    return 0;
}
