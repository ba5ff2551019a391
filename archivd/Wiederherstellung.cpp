#include "Wiederherstellung.h"

#include "Fehler.h"
#include "Konsole.h"
#include "Sicherung.h"
#include "Verwaltung.h"
#include "Zugang.h"
#include "common/Original.h"
#include "model/Modell.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <map>

namespace archiv::archivd {

namespace {

constexpr const char *ExportFormat = "archivd-stammdaten";

// Everything but the Belege and what belongs to them.
bool gehoertZuStammdaten(const Klasse &k)
{
    static const QStringList belegseitig{QLatin1String(BelegKlasse), QStringLiteral("AR.Dokuments"), QStringLiteral("AR.Extind"),
                                         QStringLiteral("AR.Scandat"), QStringLiteral("AR.Sicherung")};
    return k.besitzer.isEmpty() && !belegseitig.contains(k.name);
}

// A volume's CSV file as rows of named fields; an empty list when the file
// is not there (volumes written before it existed).
QList<QHash<QString, QString>> csvDatei(const QString &pfad)
{
    QFile f(pfad);
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly))
        throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(pfad, f.errorString()));
    const QList<QStringList> saetze = csvLesen(QString::fromUtf8(f.readAll()));
    QList<QHash<QString, QString>> zeilen;
    if (saetze.isEmpty())
        return zeilen;
    const QStringList kopf = saetze.first();
    for (qsizetype i = 1; i < saetze.size(); ++i) {
        QHash<QString, QString> z;
        for (qsizetype j = 0; j < kopf.size(); ++j)
            z.insert(kopf.at(j).trimmed(), saetze.at(i).value(j));
        zeilen << z;
    }
    return zeilen;
}

struct Dokument
{
    int nr = 0;
    QString doktyp, doktext, daterst, dateiname, bericht, datei, sha256;
};

struct Gesichert
{
    QString band; // the volume's folder
    QHash<QString, QString> kopf;
    QList<Dokument> dokumente;
    QList<protokoll::Indexwert> werte;
    bool beschaedigt = false;
};

// Volumes in the order they were written: NAME-YYYYMMDD-HHMMSS-N.
QStringList geordnet(QStringList baende)
{
    static const QRegularExpression form(QStringLiteral("(\\d{8}-\\d{6})-(\\d+)$"));
    const auto schluessel = [](const QString &band) {
        const QRegularExpressionMatch m = form.match(QFileInfo(QDir::cleanPath(band)).fileName());
        return m.hasMatch() ? std::pair{m.captured(1), m.captured(2).toInt()} : std::pair{QString(), 0};
    };
    std::stable_sort(baende.begin(), baende.end(), [&](const QString &a, const QString &b) { return schluessel(a) < schluessel(b); });
    return baende;
}

// The Belege of a volume, by their id in the archive they came from.
void bandLesen(const QString &band, const QSet<QString> &maengel, std::map<qint64, Gesichert> &belege)
{
    const QDir dir(band);
    QHash<qint64, QList<Dokument>> dokumente;
    for (const auto &z : csvDatei(dir.filePath(QStringLiteral("dokumente.csv"))))
        dokumente[z.value(QStringLiteral("beleg")).toLongLong()].append({z.value(QStringLiteral("nr")).toInt(), z.value(QStringLiteral("doktyp")),
                                                                         z.value(QStringLiteral("doktext")), z.value(QStringLiteral("daterst")),
                                                                         z.value(QStringLiteral("dateiname")), z.value(QStringLiteral("bericht")),
                                                                         z.value(QStringLiteral("datei")), z.value(QStringLiteral("sha256"))});
    QHash<qint64, QList<protokoll::Indexwert>> werte;
    for (const auto &z : csvDatei(dir.filePath(QStringLiteral("indexwerte.csv"))))
        werte[z.value(QStringLiteral("beleg")).toLongLong()].append(
            {z.value(QStringLiteral("firma")), z.value(QStringLiteral("eigenschaft")), z.value(QStringLiteral("wert"))});
    const QList<QHash<QString, QString>> kopf = csvDatei(dir.filePath(QStringLiteral("belege.csv")));
    if (kopf.isEmpty() && !QFile::exists(dir.filePath(QStringLiteral("belege.csv"))))
        throw AnfrageFehler::ungueltig(QStringLiteral("%1: belege.csv fehlt, das ist kein Sicherungsband").arg(band));
    for (const auto &z : kopf) {
        const qint64 id = z.value(QStringLiteral("id")).toLongLong();
        Gesichert g{band, z, dokumente.value(id), werte.value(id), false};
        // A volume from before dokumente.csv: the documents from the file list.
        if (g.dokumente.isEmpty())
            for (const QString &pfad : z.value(QStringLiteral("dateien")).split(u' ', Qt::SkipEmptyParts)) {
                const QFileInfo info(pfad);
                g.dokumente.append({info.baseName().toInt(), info.suffix() == QLatin1String("tif") ? QStringLiteral("tif") : info.suffix(), {}, {}, {}, {},
                                    pfad, {}});
            }
        for (const Dokument &d : std::as_const(g.dokumente))
            g.beschaedigt = g.beschaedigt || (!d.datei.isEmpty() && maengel.contains(d.datei));
        belege[id] = std::move(g); // a later volume's state replaces an earlier one's
    }
}

qint64 stammdatenEinlesen(ObjektSpeicher &objekte, const QByteArray &json)
{
    QJsonParseError fehler;
    const QJsonObject wurzel = QJsonDocument::fromJson(json, &fehler).object();
    if (fehler.error != QJsonParseError::NoError || wurzel.value(QStringLiteral("format")).toString() != QLatin1String(ExportFormat))
        throw AnfrageFehler::ungueltig(QStringLiteral("Die Stammdaten sind kein Export von \"archivd export\""));
    qint64 n = 0;
    for (const QJsonValue &kv : wurzel.value(QStringLiteral("klassen")).toArray()) {
        const QJsonObject ko = kv.toObject();
        const Klasse *k = Modell::instanz().klasse(ko.value(QStringLiteral("klasse")).toString());
        if (!k || !gehoertZuStammdaten(*k))
            throw AnfrageFehler::ungueltig(QStringLiteral("Stammdaten: unbekannte Klasse \"%1\"").arg(ko.value(QStringLiteral("klasse")).toString().left(60)));
        for (const QJsonValue &ov : ko.value(QStringLiteral("objekte")).toArray()) {
            const QJsonObject o = ov.toObject();
            protokoll::SpeicherAnfrage a;
            const QJsonObject props = o.value(QStringLiteral("props")).toObject();
            for (auto it = props.constBegin(); it != props.constEnd(); ++it)
                a.props.insert(it.key(), it.value().toString());
            const QJsonObject refs = o.value(QStringLiteral("refs")).toObject();
            for (auto it = refs.constBegin(); it != refs.constEnd(); ++it)
                a.refs.insert(it.key(), it.value().toString());
            objekte.speichernVermerkt(*k, QString(), a);
            ++n;
        }
    }
    return n;
}

QByteArray dateiLesen(const QString &pfad)
{
    QFile f(pfad);
    if (!f.open(QIODevice::ReadOnly))
        throw AnfrageFehler::speicher(QStringLiteral("%1: %2").arg(pfad, f.errorString()));
    return f.readAll();
}

// One Beleg into the new archive, with its trail's first entry.
qint64 belegSchreiben(Datenbank &db, ObjektSpeicher &objekte, qint64 altId, const Gesichert &g)
{
    const Klasse &k = *Modell::instanz().klasse(QLatin1String(BelegKlasse));
    const QString firma = g.kopf.value(QStringLiteral("firma"));
    protokoll::SpeicherAnfrage a;
    a.props = {{QStringLiteral("Firma"), firma},
               {QStringLiteral("Belnr"), g.kopf.value(QStringLiteral("belnr"))},
               {QStringLiteral("Datum"), g.kopf.value(QStringLiteral("datum"))},
               {QStringLiteral("zeit"), g.kopf.value(QStringLiteral("zeit"))},
               {QStringLiteral("privatjn"), g.kopf.value(QStringLiteral("privatjn"))},
               {QStringLiteral("Text"), g.kopf.value(QStringLiteral("text"))},
               {QStringLiteral("storno"), g.kopf.value(QStringLiteral("storno"))}};
    const QString typ = firma + QStringLiteral("||") + g.kopf.value(QStringLiteral("belart"));
    if (!objekte.zeile(*Modell::instanz().klasse(QStringLiteral("AR.Belart")), typ))
        throw AnfrageFehler::ungueltig(QStringLiteral("Beleg %1 (%2 %3): die Belegart %2 der Firma %4 gibt es im neuen Archiv nicht; "
                                                      "die Stammdaten eines Exports mit --stammdaten angeben")
                                           .arg(altId)
                                           .arg(g.kopf.value(QStringLiteral("belart")), g.kopf.value(QStringLiteral("belnr")), firma));
    a.refs = {{QStringLiteral("IdBelart"), typ}};
    QList<Dokument> dokumente = g.dokumente;
    std::sort(dokumente.begin(), dokumente.end(), [](const Dokument &x, const Dokument &y) { return x.nr < y.nr; });
    BlobSpeicher blobs(db);
    qint64 bytes = 0;
    for (const Dokument &d : std::as_const(dokumente)) {
        protokoll::SpeicherAnfrage e;
        e.props = {{QStringLiteral("daterst"), d.daterst}, {QStringLiteral("doktext"), d.doktext}, {QStringLiteral("doktyp"), d.doktyp}};
        if (!d.dateiname.isEmpty())
            e.props.insert(QStringLiteral("dateiname"), d.dateiname);
        if (!d.bericht.isEmpty())
            e.props.insert(QStringLiteral("bericht"), d.bericht);
        // An element without file was written to the volume as an empty one.
        if (!d.datei.isEmpty()) {
            const QByteArray inhalt = dateiLesen(QDir(g.band).filePath(d.datei));
            if (!inhalt.isEmpty() || !d.sha256.isEmpty()) {
                const QString blob = blobs.ablegenInTransaktion(inhalt);
                if (!d.sha256.isEmpty() && blob != d.sha256)
                    throw AnfrageFehler::speicher(QStringLiteral("%1: %2 hat sich seit der Prüfung geändert").arg(g.band, d.datei));
                e.streams.insert(QStringLiteral("dok"), blob);
                bytes += inhalt.size();
            }
        }
        a.collections[QStringLiteral("Doks")].append(e);
    }
    a.index = g.werte;
    const QString id = objekte.speichernInTransaktion(k, QString(), a).id;
    objekte.gespeichertVermerken(k, id, a,
                                 QStringLiteral("wiederhergestellt aus %1 (dort Beleg %2)").arg(QFileInfo(QDir::cleanPath(g.band)).fileName()).arg(altId));
    return bytes;
}

} // namespace

QByteArray stammdatenExport(Datenbank &db)
{
    ObjektSpeicher objekte(db);
    QJsonArray klassen;
    for (const Klasse &k : Modell::instanz().klassen()) {
        if (!gehoertZuStammdaten(k))
            continue;
        QJsonArray liste;
        for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(k.tabelle))) {
            const protokoll::ObjektDaten o = objekte.laden(k, objekte.oeffentlicheId(k, z.at(0).toLongLong()));
            QJsonObject props;
            for (auto it = o.props.cbegin(); it != o.props.cend(); ++it) {
                const Mitglied *m = k.mitglied(it.key());
                if (m && !m->geschuetzt) // never a password
                    props.insert(it.key(), it.value());
            }
            QJsonObject refs;
            for (auto it = o.refs.cbegin(); it != o.refs.cend(); ++it)
                refs.insert(it.key(), it.value().id);
            liste.append(QJsonObject{{QStringLiteral("props"), props}, {QStringLiteral("refs"), refs}});
        }
        klassen.append(QJsonObject{{QStringLiteral("klasse"), k.name}, {QStringLiteral("objekte"), liste}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), QLatin1String(ExportFormat)},
                                     {QStringLiteral("version"), 1},
                                     {QStringLiteral("erstellt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                                     {QStringLiteral("klassen"), klassen}})
        .toJson(QJsonDocument::Indented);
}

Wiederherstellungsbericht wiederherstellen(Datenbank &ziel, const Wiederherstellungsauftrag &auftrag,
                                           const std::function<void(const QString &)> &fortschritt)
{
    Wiederherstellungsbericht bericht;
    // The volumes first: nothing is written when one is damaged, unless the
    // damaged Belege are to be left out.
    const QStringList baende = geordnet(auftrag.baende);
    QHash<QString, QSet<QString>> maengel;
    for (const QString &band : baende) {
        if (fortschritt)
            fortschritt(QStringLiteral("Prüfe %1").arg(band));
        const Pruefbericht p = pruefen(band);
        if (!p.fehler.isEmpty()) {
            bericht.maengel << QStringLiteral("%1: %2").arg(band, p.fehler);
            bericht.abgebrochen = true;
            continue;
        }
        for (const QString &d : p.fehlend)
            bericht.maengel << QStringLiteral("%1: fehlt: %2").arg(band, d);
        for (const QString &d : p.beschaedigt)
            bericht.maengel << QStringLiteral("%1: beschädigt: %2").arg(band, d);
        maengel[band] = QSet<QString>(p.fehlend.cbegin(), p.fehlend.cend()) + QSet<QString>(p.beschaedigt.cbegin(), p.beschaedigt.cend());
        for (const QString &liste : {QStringLiteral("belege.csv"), QStringLiteral("indexwerte.csv"), QStringLiteral("dokumente.csv")})
            if (maengel[band].contains(liste))
                bericht.abgebrochen = true; // the lists themselves: nothing of the volume can be trusted
    }
    if (bericht.abgebrochen || (!bericht.maengel.isEmpty() && !auftrag.teilweise)) {
        bericht.abgebrochen = true;
        return bericht;
    }
    std::map<qint64, Gesichert> belege;
    for (const QString &band : baende)
        bandLesen(band, maengel.value(band), belege);

    if (!ziel.istLeer())
        throw AnfrageFehler::ungueltig(QStringLiteral("Das Archiv %1 enthält schon Daten; wiederhergestellt wird in ein leeres").arg(ziel.beschreibung()));
    Anfragekontext::fuerBefehl();
    ObjektSpeicher objekte(ziel);
    if (!auftrag.stammdaten.isEmpty()) {
        Transaktion t(ziel);
        bericht.stammdaten = stammdatenEinlesen(objekte, auftrag.stammdaten);
        t.bestaetigen();
    }
    QElapsedTimer uhr;
    uhr.start();
    std::unique_ptr<Transaktion> t = std::make_unique<Transaktion>(ziel);
    qint64 inTransaktion = 0;
    for (const auto &[altId, g] : belege) {
        if (g.beschaedigt) {
            bericht.ausgelassen << QStringLiteral("Beleg %1 (%2 %3) aus %4: eine seiner Dateien fehlt oder ist beschädigt")
                                       .arg(altId)
                                       .arg(g.kopf.value(QStringLiteral("belart")), g.kopf.value(QStringLiteral("belnr")), g.band);
            continue;
        }
        const qint64 bytes = belegSchreiben(ziel, objekte, altId, g);
        bericht.bytes += bytes;
        bericht.dateien += g.dokumente.size();
        ++bericht.belege;
        // A transaction per some Belege or some MB: bounded memory, few commits.
        inTransaktion += bytes + 1;
        if (inTransaktion > 64 * 1024 * 1024 || bericht.belege % 500 == 0) {
            t->bestaetigen();
            t = std::make_unique<Transaktion>(ziel);
            inTransaktion = 0;
            if (fortschritt)
                fortschritt(QStringLiteral("%1 von %2 Belegen, %3 MB/s")
                                .arg(bericht.belege)
                                .arg(belege.size())
                                .arg(bericht.bytes / 1e6 / qMax<qint64>(1, uhr.elapsed()) * 1000, 0, 'f', 0));
        }
    }
    t->bestaetigen();
    return bericht;
}

int exportBefehl(const QStringList &args)
{
    QCommandLineParser p;
    p.addOption({QStringLiteral("ziel"), QStringLiteral("Datei, in die die Stammdaten geschrieben werden (JSON)."), QStringLiteral("datei")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Schreibt die Stammdaten des Archivs in eine Datei: Firmen, Belegarten, Indexdefinitionen, Kunden, "
                                        "Lieferanten, Artikel und die übrigen Listen, WWS-Benutzer ohne Passwörter. Arbeitsplätze und "
                                        "Belege stehen nicht darin. Zusammen mit den Sicherungsbänden für \"archivd restore\".")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    if (!p.isSet(QStringLiteral("ziel"))) {
        err() << "archivd export: --ziel fehlt" << Qt::endl;
        return 2;
    }
    auto db = archivOeffnen(p.value(QStringLiteral("db")));
    const QByteArray json = stammdatenExport(*db);
    QSaveFile f(p.value(QStringLiteral("ziel")));
    if (!f.open(QIODevice::WriteOnly) || f.write(json) != json.size() || !f.commit()) {
        err() << "archivd export: " << f.fileName() << ": " << f.errorString() << Qt::endl;
        return 1;
    }
    aus() << "archivd export: Stammdaten in " << f.fileName() << " (" << json.size() << " Bytes)" << Qt::endl;
    return 0;
}

int restoreBefehl(const QStringList &args)
{
    QCommandLineParser p;
    p.addPositionalArgument(QStringLiteral("band"), QStringLiteral("Ordner der Sicherungsbände (von archivd backup --ziel)."), QStringLiteral("BAND…"));
    p.addOption({QStringLiteral("ziel"), QStringLiteral("Das neue, leere Archiv: SQLite-Datei oder postgresql://-Adresse."), QStringLiteral("ort")});
    p.addOption({QStringLiteral("stammdaten"), QStringLiteral("Export von \"archivd export\", mit der Sicherung genommen."), QStringLiteral("datei")});
    p.addOption({QStringLiteral("teilweise"), QStringLiteral("Belege mit fehlenden oder beschädigten Dateien auslassen, statt abzubrechen.")});
    if (!befehlAuswerten(p, args,
                         QStringLiteral("Stellt ein Archiv aus Sicherungsbänden wieder her: prüft zuerst die Manifeste aller Bände, "
                                        "übernimmt die Stammdaten eines Exports und dann jeden Beleg mit Dokumenten und Indexwerten, "
                                        "jeden aus dem neuesten Band, der ihn enthält.")))
        return p.isSet(QStringLiteral("help")) ? 0 : 2;
    if (!p.isSet(QStringLiteral("ziel")) || p.positionalArguments().isEmpty()) {
        err() << "archivd restore: erwartet --ziel ORT und mindestens einen Band" << Qt::endl;
        return 2;
    }
    Wiederherstellungsauftrag auftrag;
    auftrag.baende = p.positionalArguments();
    auftrag.teilweise = p.isSet(QStringLiteral("teilweise"));
    if (p.isSet(QStringLiteral("stammdaten"))) {
        QFile f(p.value(QStringLiteral("stammdaten")));
        if (!f.open(QIODevice::ReadOnly)) {
            err() << "archivd restore: " << f.fileName() << ": " << f.errorString() << Qt::endl;
            return 1;
        }
        auftrag.stammdaten = f.readAll();
    }
    auto db = archivOeffnen(p.value(QStringLiteral("ziel")));
    QElapsedTimer uhr;
    uhr.start();
    Wiederherstellungsbericht b;
    {
        Fortschrittszeile zeile;
        b = wiederherstellen(*db, auftrag, [&zeile](const QString &text) { zeile.zeigen(text); });
    }
    for (const QString &m : std::as_const(b.maengel))
        err() << "archivd restore: " << m << Qt::endl;
    if (b.abgebrochen) {
        err() << "archivd restore: abgebrochen, nichts geschrieben" << (auftrag.teilweise ? "" : " (--teilweise lässt die betroffenen Belege aus)")
              << Qt::endl;
        return 1;
    }
    for (const QString &a : std::as_const(b.ausgelassen))
        err() << "archivd restore: ausgelassen: " << a << Qt::endl;
    const double sekunden = qMax<qint64>(1, uhr.elapsed()) / 1000.0;
    aus() << "archivd restore: " << b.stammdaten << " Stammdaten, " << b.belege << " Belege, " << b.dateien << " Dokumente, "
          << QString::number(b.bytes / 1e6, 'f', 1) << " MB in " << QString::number(sekunden, 'f', 1) << " s ("
          << QString::number(b.bytes / 1e6 / sekunden, 'f', 0) << " MB/s) nach " << db->beschreibung() << Qt::endl;
    aus() << "Danach: Passwörter der WWS-Benutzer setzen (archivd user passwd), Arbeitsplätze neu aufnehmen (archivd client add), "
             "den Volltext lesen lassen (archivd volltext neu)."
          << Qt::endl;
    return b.ausgelassen.isEmpty() ? 0 : 1;
}

} // namespace archiv::archivd
