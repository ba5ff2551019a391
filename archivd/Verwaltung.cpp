#include "Verwaltung.h"
#include "Zugang.h"

#include "Fehler.h"
#include "Konsole.h"
#include "Sicherung.h"
#include "common/Dateiname.h"
#include "model/Modell.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "storage/Verwaltungsspeicher.h"

#include <QCommandLineParser>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

namespace archiv::archivd {

QList<QStringList> csvLesen(const QString &text)
{
    const qsizetype zeilenende = text.indexOf(u'\n');
    const QString kopf = text.left(zeilenende < 0 ? text.size() : zeilenende);
    const QChar trenner = kopf.count(u';') >= kopf.count(u',') && kopf.contains(u';') ? u';' : u',';
    QList<QStringList> saetze;
    QStringList satz;
    QString feld;
    bool inAnfuehrung = false;
    bool feldBegonnen = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inAnfuehrung) {
            if (c == u'"') {
                if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                    feld += u'"';
                    ++i;
                } else {
                    inAnfuehrung = false;
                }
            } else {
                feld += c;
            }
        } else if (c == u'"' && feld.isEmpty()) {
            inAnfuehrung = true;
            feldBegonnen = true;
        } else if (c == trenner) {
            satz << feld;
            feld.clear();
            feldBegonnen = true;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            if (feldBegonnen || !feld.isEmpty() || !satz.isEmpty()) {
                satz << feld;
                saetze << satz;
            }
            satz.clear();
            feld.clear();
            feldBegonnen = false;
        } else {
            feld += c;
            feldBegonnen = true;
        }
    }
    if (inAnfuehrung)
        throw AnfrageFehler::ungueltig(QStringLiteral("CSV: ein Feld in Anführungszeichen ist nicht geschlossen"));
    if (feldBegonnen || !feld.isEmpty() || !satz.isEmpty()) {
        satz << feld;
        saetze << satz;
    }
    return saetze;
}

int importieren(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("klasse"), QStringLiteral("Klasse, z. B. AR.Kund"));
    p.addPositionalArgument(QStringLiteral("datei"), QStringLiteral("CSV-Datei (UTF-8); die erste Zeile nennt die Eigenschaften"));
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Übernimmt Stammdaten aus einer CSV-Datei: vorhandene Schlüssel werden "
                                        "aktualisiert, neue angelegt; eine fehlerhafte Zeile bricht ab, ohne etwas zu schreiben.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 2) {
        err() << "archivd import: erwartet KLASSE DATEI" << Qt::endl;
        return 2;
    }
    const Klasse *k = Modell::instanz().klasse(pos.at(0));
    if (!k || !k->besitzer.isEmpty()) {
        err() << "archivd import: Klasse \"" << pos.at(0) << "\" gibt es nicht" << Qt::endl;
        return 2;
    }
    QFile datei(pos.at(1));
    if (!datei.open(QIODevice::ReadOnly)) {
        err() << "archivd import: " << pos.at(1) << ": " << datei.errorString() << Qt::endl;
        return 1;
    }
    const QList<QStringList> saetze = csvLesen(QString::fromUtf8(datei.readAll()));
    if (saetze.isEmpty()) {
        err() << "archivd import: " << pos.at(1) << " ist leer" << Qt::endl;
        return 1;
    }
    auto db = Datenbank::oeffnen(p.value(QStringLiteral("db")));
    db->migrieren();
    ObjektSpeicher objekte(*db);
    const QStringList kopf = saetze.first();
    int neu = 0, geaendert = 0;
    Anfragekontext::fuerBefehl();
    Transaktion t(*db);
    for (int zeile = 1; zeile < saetze.size(); ++zeile) {
        const QStringList &s = saetze.at(zeile);
        if (s.size() != kopf.size())
            throw AnfrageFehler::ungueltig(
                QStringLiteral("Zeile %1: %2 Felder, die Kopfzeile hat %3").arg(zeile + 1).arg(s.size()).arg(kopf.size()));
        protokoll::SpeicherAnfrage a;
        for (int i = 0; i < kopf.size(); ++i)
            a.props.insert(kopf.at(i).trimmed(), s.at(i));
        QString id;
        if (k->hatSchluessel()) {
            QStringList teile;
            for (const QString &schluessel : k->schluessel)
                for (auto it = a.props.cbegin(); it != a.props.cend(); ++it)
                    if (it.key().compare(schluessel, Qt::CaseInsensitive) == 0)
                        teile << it.value().trimmed();
            if (teile.size() == k->schluessel.size() && objekte.zeile(*k, teile.join(QStringLiteral("||")))) {
                id = teile.join(QStringLiteral("||"));
                a.version = objekte.laden(*k, id).version;
            }
        }
        try {
            // Each row on the audit trail, as a save over the wire is.
            objekte.speichernVermerkt(*k, id, a);
        } catch (const AnfrageFehler &f) {
            throw AnfrageFehler::ungueltig(QStringLiteral("Zeile %1: %2").arg(zeile + 1).arg(f.meldung()));
        }
        ++(id.isEmpty() ? neu : geaendert);
    }
    objekte.vermerken(*k, QFileInfo(pos.at(1)).fileName(), QStringLiteral("import: %1 neu, %2 aktualisiert").arg(neu).arg(geaendert), 0, 0,
                      {});
    t.bestaetigen();
    aus() << "archivd import: " << k->name << ": " << neu << " neu, " << geaendert << " aktualisiert" << Qt::endl;
    return 0;
}

static int dvdFesthalten(QCommandLineParser &p)
{
    const QStringList pos = p.positionalArguments();
    if (pos.size() != 1 || pos.first().trimmed().isEmpty()) {
        err() << "archivd backup: erwartet --ziel ORDNER, --verify BAND oder die Kennung einer DVD" << Qt::endl;
        return 2;
    }
    QString datum = QDate::currentDate().toString(Qt::ISODate);
    if (p.isSet(QStringLiteral("datum"))) {
        datum = p.value(QStringLiteral("datum"));
        if (!QDate::fromString(datum, QStringLiteral("yyyy-MM-dd")).isValid()) {
            err() << "archivd backup: \"" << datum << "\" ist kein Datum (YYYY-MM-DD)" << Qt::endl;
            return 2;
        }
    }
    auto db = Datenbank::oeffnen(p.value(QStringLiteral("db")));
    db->migrieren();
    Transaktion t(*db);
    const qint64 n = Verwaltungsspeicher(*db).sicherungVermerken(pos.first().trimmed(), datum);
    Anfragekontext::fuerBefehl();
    ObjektSpeicher(*db).vermerken(*Modell::instanz().klasse(QStringLiteral("AR.Sicherung")), pos.first().trimmed(),
                                  QStringLiteral("backup: %1 Belege").arg(n), 0, 0, {});
    t.bestaetigen();
    aus() << "archivd backup: " << n << " Belege auf " << pos.first().trimmed() << " festgehalten" << Qt::endl;
    return 0;
}

static int baenderSchreiben(QCommandLineParser &p)
{
    Sicherungsauftrag auftrag;
    auftrag.ziel = p.value(QStringLiteral("ziel"));
    auftrag.name = common::dateiname(p.value(QStringLiteral("name")));
    bool ok = false;
    auftrag.bandGroesse = p.value(QStringLiteral("band-groesse")).toLongLong(&ok);
    if (!ok || auftrag.bandGroesse < 1) {
        err() << "archivd backup: --band-groesse erwartet eine Zahl von Bytes" << Qt::endl;
        return 2;
    }
    auto db = Datenbank::oeffnen(p.value(QStringLiteral("db")));
    db->migrieren();
    Sicherungsbericht b;
    {
        Fortschrittszeile fortschritt;
        b = sichern(*db, auftrag, [&fortschritt](const QString &zeile) { fortschritt.zeigen(zeile); });
    }
    for (const QString &f : b.fehler)
        err() << "archivd backup: " << f << " (bleibt für die nächste Sicherung vorgemerkt)" << Qt::endl;
    aus() << "archivd backup: " << b.belege << " Belege, " << QString::number(double(b.bytes) / 1e6, 'f', 1) << " MB in " << b.baende.size()
          << (b.baende.size() == 1 ? " Band" : " Bänden") << (b.baende.isEmpty() ? QString() : ": " + b.baende.join(u' ')) << Qt::endl;
    return b.fehler.isEmpty() ? 0 : 1;
}

static int bandPruefen(const QString &band)
{
    const Pruefbericht b = pruefen(band);
    if (!b.fehler.isEmpty()) {
        err() << "archivd backup: " << b.fehler << Qt::endl;
        return 1;
    }
    for (const QString &d : b.fehlend)
        err() << "archivd backup: fehlt: " << d << Qt::endl;
    for (const QString &d : b.beschaedigt)
        err() << "archivd backup: beschädigt: " << d << Qt::endl;
    aus() << "archivd backup: " << band << ": " << b.dateien << " Dateien, "
          << (b.inOrdnung() ? QStringLiteral("in Ordnung")
                            : QStringLiteral("%1 fehlen, %2 beschädigt").arg(b.fehlend.size()).arg(b.beschaedigt.size()))
          << Qt::endl;
    return b.inOrdnung() ? 0 : 1;
}

int sicherungErfassen(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("dvd"),
                            QStringLiteral("nur festhalten: Kennung einer anders geschriebenen DVD, z. B. DVD-2026-12"),
                            QStringLiteral("[dvd]"));
    p.addOption({QStringLiteral("ziel"), QStringLiteral("Ordner, in den die Sicherungsbände geschrieben werden."), QStringLiteral("ordner")});
    p.addOption({QStringLiteral("band-groesse"), QStringLiteral("Bytes an Dokumenten je Band (Standard: 4700000000, eine DVD)."),
                 QStringLiteral("bytes"), QStringLiteral("4700000000")});
    p.addOption({QStringLiteral("name"), QStringLiteral("Anfang der Bandnamen (Standard: ARCHIV)."), QStringLiteral("name"),
                 QStringLiteral("ARCHIV")});
    p.addOption({QStringLiteral("verify"), QStringLiteral("Einen geschriebenen Band gegen sein Manifest prüfen."), QStringLiteral("band")});
    p.addOption(
        {QStringLiteral("datum"), QStringLiteral("nur festhalten: Tag der Sicherung (Standard: heute)."), QStringLiteral("YYYY-MM-DD")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Schreibt alle noch nicht gesicherten und alle seit ihrer letzten Sicherung geänderten Belege in "
                                        "Sicherungsbände (--ziel), prüft einen Band (--verify) oder hält nur fest, dass sie auf einer "
                                        "anders geschriebenen DVD sind.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    if (p.isSet(QStringLiteral("verify")))
        return bandPruefen(p.value(QStringLiteral("verify")));
    if (p.isSet(QStringLiteral("ziel")))
        return baenderSchreiben(p);
    return dvdFesthalten(p);
}

} // namespace archiv::archivd
