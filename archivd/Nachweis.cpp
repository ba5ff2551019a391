#include "Nachweis.h"

#include "Konsole.h"
#include "storage/Datenbank.h"
#include "storage/Pruefkette.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

namespace archiv::archivd {

int verify(const QStringList &args)
{
    QCommandLineParser p;
    p.addOption({QStringLiteral("anker"), QStringLiteral("Nur das Ende der Protokollkette als eine Zeile ausgeben (Nummer:Prüfsumme), um sie "
                                                         "außerhalb des Archivs aufzubewahren.")});
    p.addOption({QStringLiteral("seit"), QStringLiteral("Außerdem beweisen, dass die Kette bis zu diesem Anker unverändert ist."),
                 QStringLiteral("anker")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Prüft, dass nichts geändert wurde: die Kette des Protokolls vom ersten bis zum letzten Eintrag, "
                                        "jede gespeicherte Datei gegen ihre Prüfsumme, jeden Beleg (Kopf, Dokumente, Indexwerte) gegen den "
                                        "Stand seines letzten Protokolleintrags, und dass es nichts ohne den Eintrag gibt, der es anlegte. "
                                        "Rückgabe 0 nur, wenn alles stimmt.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    std::optional<pruefkette::Glied> seit;
    if (p.isSet(QStringLiteral("seit"))) {
        seit = pruefkette::ankerLesen(p.value(QStringLiteral("seit")));
        if (!seit) {
            err() << "archivd verify: --seit erwartet einen Anker wie ihn \"archivd verify --anker\" ausgibt (Nummer:Prüfsumme)" << Qt::endl;
            return 2;
        }
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    if (p.isSet(QStringLiteral("anker"))) {
        aus() << pruefkette::ankerText(pruefkette::kopf(*db)) << Qt::endl;
        return 0;
    }
    QElapsedTimer uhr;
    uhr.start();
    pruefkette::Pruefung ergebnis;
    {
        Fortschrittszeile zeile;
        ergebnis = pruefkette::pruefen(*db, seit, [&zeile](const QString &text) { zeile.zeigen(text); });
    }
    for (const pruefkette::Befund &b : std::as_const(ergebnis.befunde))
        aus() << b.was << ": " << b.text << Qt::endl;
    if (ergebnis.weitere > 0)
        aus() << "… und " << ergebnis.weitere << " weitere Befunde" << Qt::endl;
    aus() << "archivd verify: " << ergebnis.eintraege << " Protokolleinträge, " << ergebnis.dateien << " Dateien, " << ergebnis.belege
          << " Belege in " << QString::number(uhr.elapsed() / 1000.0, 'f', 1) << " s: "
          << (ergebnis.inOrdnung() ? QStringLiteral("alles unverändert")
                                   : QStringLiteral("%1 Befunde").arg(ergebnis.befunde.size() + ergebnis.weitere));
    if (ergebnis.anker && ergebnis.inOrdnung())
        aus() << ", Anker " << ergebnis.anker->nr << " bestätigt";
    aus() << Qt::endl;
    return ergebnis.inOrdnung() ? 0 : 1;
}

int anker(const QStringList &args)
{
    QCommandLineParser p;
    p.addOption({QStringLiteral("datei"), QStringLiteral("Datei, an die der Anker angehängt wird (eine Zeile: Zeit, Archiv, Anker)."),
                 QStringLiteral("datei")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Hängt das Ende der Protokollkette mit Datum an eine Datei außerhalb des Archivs an (für einen "
                                        "Zeitplan: cron oder ein systemd-Timer). Mit \"archivd verify --seit ANKER\" lässt sich später "
                                        "beweisen, dass das Protokoll bis dahin unverändert ist.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    if (!p.isSet(QStringLiteral("datei"))) {
        err() << "archivd anker: --datei fehlt" << Qt::endl;
        return 2;
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    const QString zeile = QStringLiteral("%1 %2 %3\n")
                              .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), db->beschreibung().simplified().replace(u' ', u'_'),
                                   pruefkette::ankerText(pruefkette::kopf(*db)));
    QFile f(p.value(QStringLiteral("datei")));
    if (!f.open(QIODevice::Append | QIODevice::Text) || f.write(zeile.toUtf8()) < 0 || !f.flush()) {
        err() << "archivd anker: " << f.fileName() << ": " << f.errorString() << Qt::endl;
        return 1;
    }
    aus() << zeile << Qt::flush;
    return 0;
}

} // namespace archiv::archivd
