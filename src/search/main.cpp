#include "app/Anmeldung.h"
#include "app/EinstServ.h"
#include "app/MeldungsFenster.h"
#include "app/Sprache.h"
#include "common/Kennungen.h"
#include "common/Programmzustand.h"
#include "common/Zugangsdatei.h"
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
    zugangsdatei(QStringLiteral("zugangsdatei"),
                 QStringLiteral("Übernimmt Adresse, Port und Zugangsschlüssel des Archivservers aus der Zugangsdatei, die "
                                "\"archivd client add\" geschrieben hat (\"-\": von der Standardeingabe), in die Einstellungen."),
                 QStringLiteral("datei"));
const QCommandLineOption
    zugang(QStringLiteral("zugang"),
           QStringLiteral("Speichert den Zugangsschlüssel dieses Arbeitsplatzes (die Zeile von \"archivd client add\") "
                          "in den Einstellungen; \"-\" liest ihn von der Standardeingabe. Auf der Befehlszeile ist er für "
                          "jeden Benutzer des Rechners sichtbar: besser --zugangsdatei."),
           QStringLiteral("schlüssel"));

// --zugangsdatei and --zugang: what they name stored in the settings; false,
// after saying why, when it is no enrolment file or no key.
bool zugangAusBefehlszeile(const QCommandLineParser &optionen)
{
    QTextStream fehler(stderr);
    if (optionen.isSet(zugangsdatei)) {
        const QString pfad = optionen.value(zugangsdatei);
        QString grund;
        const auto datei = pfad == QLatin1String("-") ? common::Zugangsdatei::ausText(QTextStream(stdin).readAll().toUtf8(), &grund)
                                                      : common::Zugangsdatei::lesen(pfad, &grund);
        if (!datei) {
            fehler << "archiv: " << grund << "\n";
            return false;
        }
        app::zugangsdateiSpeichern(*datei);
    }
    if (optionen.isSet(zugang)) {
        QString schluessel = optionen.value(zugang);
        if (schluessel == QLatin1String("-"))
            schluessel = QTextStream(stdin).readLine();
        else
            fehler << "archiv: Warnung: ein Zugangsschlüssel auf der Befehlszeile ist für jeden Benutzer dieses Rechners sichtbar; "
                      "besser --zugangsdatei DATEI oder --zugang - (Standardeingabe)\n";
        if (!common::Zugangsschluessel::lesen(schluessel)) {
            fehler << "archiv: --zugang erwartet die ganze Zeile, die \"archivd client add\" ausgegeben hat\n";
            return false;
        }
        app::zugangSpeichern(schluessel);
    }
    return true;
}

void optionenAnlegen(QCommandLineParser &optionen, const QCommandLineOption &scanstation)
{
    optionen.setApplicationDescription(QStringLiteral("Das Archiv: Belege suchen, ansehen, bearbeiten und scannen."));
    optionen.addHelpOption();
    optionen.addOption(scanstation);
    optionen.addOption(zugangsdatei);
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

    if (!app::deutschEinrichten())
        QTextStream(stderr) << "archiv: die deutsche Übersetzung von Qt (Paket qt6-translations-l10n) fehlt; die Dialoge von Qt bleiben englisch\n";
    app::meldungsFensterEinrichten();
    imaging::pdfraster::setzeProgramm(QCoreApplication::applicationFilePath());
    if (!zugangAusBefehlszeile(optionen))
        return 2;
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
