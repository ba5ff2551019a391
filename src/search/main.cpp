#include "app/Anmeldung.h"
#include "app/EinstServ.h"
#include "app/MeldungsFenster.h"
#include "common/Kennungen.h"
#include "common/Programmzustand.h"
#include "common/Zugangsschluessel.h"
#include "imaging/PdfRaster.h"
#include "scan/Scandatabase.h"
#include "search/Archiv.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

using namespace archiv;

namespace {

const QCommandLineOption
    zugang(QStringLiteral("zugang"),
           QStringLiteral("Speichert den Zugangsschlüssel dieses Arbeitsplatzes (die Zeile von \"archivd client add\") "
                          "in den Einstellungen."),
           QStringLiteral("schlüssel"));

void optionenAnlegen(QCommandLineParser &optionen, const QCommandLineOption &scanstation)
{
    optionen.setApplicationDescription(QStringLiteral("Das Archiv: Belege suchen, ansehen, bearbeiten und scannen."));
    optionen.addHelpOption();
    optionen.addOption(scanstation);
    optionen.addOption(zugang);
}

} // namespace

int main(int argc, char *argv[])
{
    // Drawing an untrusted PDF: this program started again by itself, with
    // nothing but the drawing.
    if (argc == 2 && qstrcmp(argv[1], imaging::pdfraster::Schalter) == 0)
        return imaging::pdfraster::modus();
    const QCommandLineOption scanstation(
        QStringLiteral("scanstation"),
        QStringLiteral("Startet als Scanstation: das Fenster der Scandokumente mit Stapelscan, Belegsuche und Übernahme ins Archiv."));
    // The help is there without a display.
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "--help" || a == "-?" || a == "--help-all") {
            QCoreApplication hilfe(argc, argv);
            QCommandLineParser optionen;
            optionenAnlegen(optionen, scanstation);
            optionen.process(hilfe);
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Archiv"));
    QApplication::setOrganizationName(QStringLiteral("Archiv"));
    QCommandLineParser optionen;
    optionenAnlegen(optionen, scanstation);
    optionen.process(app);

    app::meldungsFensterEinrichten();
    imaging::pdfraster::setzeProgramm(QCoreApplication::applicationFilePath());
    if (optionen.isSet(zugang)) {
        if (!common::Zugangsschluessel::lesen(optionen.value(zugang))) {
            QTextStream(stderr) << "archiv: --zugang erwartet die ganze Zeile, die \"archivd client add\" ausgegeben hat\n";
            return 2;
        }
        app::zugangSpeichern(optionen.value(zugang));
    }
    app::anmeldungFuerSchreibenEinrichten();
    if (optionen.isSet(scanstation)) {
        global::Startmodus = common::modus::Scandatabase;
        scan::Scandatabase fenster;
        fenster.show();
        if (!fenster.laden())
            return 0; // no archive server: the program ends without a message
        QObject::connect(&fenster, &QDialog::finished, &app, &QCoreApplication::quit);
        return app.exec();
    }
    search::Archiv archiv;
    if (!archiv.laden())
        return 0; // no archive server: the program ends without a message
    archiv.show();
    return app.exec();
}
