#include "Befehle.h"
#include "Fehler.h"
#include "demo/DemoArchiv.h"
#include "storage/Datenbank.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <exception>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Füllt ein leeres Archiv mit Demodaten (archivd demo)."));
    p.addHelpOption();
    p.addOption({QStringLiteral("db"), QStringLiteral("SQLite-Datei oder postgresql://-Adresse (Standard: archiv.sqlite)."),
                 QStringLiteral("ort"), QStringLiteral("archiv.sqlite")});
    p.addOption({QStringLiteral("belege"), QStringLiteral("Anzahl der Belege (Standard: 3000; über 5000 teilen sich Belege Dokumente)."),
                 QStringLiteral("anzahl"), QStringLiteral("3000")});
    p.addOption({QStringLiteral("seed"), QStringLiteral("Startwert des Zufalls (Standard: 1972)."), QStringLiteral("zahl"),
                 QStringLiteral("1972")});
    p.addOption({QStringLiteral("volltext"),
                 QStringLiteral("Jedem Dokument erzeugten deutschen Seitentext in den Volltextindex schreiben (für Messungen der "
                                "Volltextsuche, ohne OCR).")});
    p.process(app);
    QTextStream err(stderr);
    QTextStream aus(stdout);
    bool ok = false;
    archiv::archivd::DemoOptionen opt;
    opt.belege = p.value(QStringLiteral("belege")).toInt(&ok);
    if (!ok || opt.belege < 0) {
        err << "archivd demo: --belege erwartet eine Zahl" << Qt::endl;
        return 2;
    }
    opt.seed = p.value(QStringLiteral("seed")).toUInt();
    opt.volltext = p.isSet(QStringLiteral("volltext"));
    try {
        QElapsedTimer uhr;
        uhr.start();
        auto db = archiv::archivd::Datenbank::oeffnen(p.value(QStringLiteral("db")));
        db->migrieren();
        archiv::archivd::DemoArchiv(*db, opt).erzeugen();
        aus << "archivd demo: fertig in " << uhr.elapsed() / 1000.0 << " s (" << db->beschreibung() << ")" << Qt::endl;
        if (!archiv::archivd::zertifikatSicherstellen(p.value(QStringLiteral("db"))))
            return 1;
    } catch (const archiv::archivd::AnfrageFehler &e) {
        err << "archivd demo: " << e.meldung() << Qt::endl;
        return 1;
    } catch (const std::exception &e) {
        err << "archivd demo: " << e.what() << Qt::endl;
        return 1;
    }
    return 0;
}
