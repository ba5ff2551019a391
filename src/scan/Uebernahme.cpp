#include "scan/Uebernahme.h"

#include "common/Kennungen.h"
#include "common/TempVerzeichnis.h"
#include "einvoice/Originalansicht.h"
#include "imaging/Bilddatei.h"
#include "imaging/Seitenliste.h"
#include "scan/Scanspeicher.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

#include <QDate>
#include <QScopeGuard>

namespace archiv::scan {

namespace {

QByteArray inhalt(server::Objekt &o)
{
    server::Datenstrom dok = o.strom(QStringLiteral("dok"));
    return dok.groesse() > 0 ? dok.Read(dok.groesse()) : QByteArray();
}

// "Seite 3" or "Seiten 1 bis 3", for a report.
QString seitenText(const QList<Scanseite> &seiten)
{
    if (seiten.size() == 1)
        return QStringLiteral("Seite %1").arg(seiten.first().seite);
    QStringList nummern;
    for (const Scanseite &s : seiten)
        nummern << QString::number(s.seite);
    return QStringLiteral("Seiten ") + nummern.join(QStringLiteral(", "));
}

// The pages of one Beleg into its newest document, in one save: when they
// start with page 1 they replace that document, else they are appended to
// it (a Beleg without documents gets one). The records leave the store in
// the same save (when loeschen). Nothing is written unless every page could
// be read: a document is never replaced by part of its pages.
void belegFuellen(server::Verbindung &v, const QString &belegId, const QList<Scanseite> &seiten, bool loeschen)
{
    server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), belegId);
    if (beleg.istLeer())
        throw server::ServerFehler(404, QStringLiteral("not_found"), QStringLiteral("Den Beleg %1 gibt es nicht (mehr)").arg(belegId));
    server::Sammlung doks = beleg.sammlung(QStringLiteral("Doks"));

    // Scanned pages join the TIFF document; a digital record (a received
    // file) becomes a document element of its own, stored as it came.
    QList<std::pair<Scanseite, server::Objekt>> gescannt;
    QList<server::Objekt> digital;
    QStringList ids;
    for (const Scanseite &s : seiten) {
        server::Objekt scan = v.OpenId(QStringLiteral("AR.Scandat"), s.id);
        if (scan.istLeer())
            throw server::ServerFehler(404, QStringLiteral("not_found"), QStringLiteral("Scan %1 gibt es nicht mehr").arg(s.id));
        if (scan.get(QStringLiteral("doktyp")).isEmpty())
            gescannt.append({s, scan});
        else
            digital.append(scan);
        ids << s.id;
    }

    if (!gescannt.isEmpty()) {
        if (doks.Count() == 0)
            doks.Insert(v.New(QStringLiteral("AR.Dokuments")));
        server::Objekt element = doks.getat(doks.Count());
        // A received original is never the document scanned pages go into.
        if (!element.get(QStringLiteral("dateiname")).isEmpty() ||
            (element.get(QStringLiteral("doktyp")) != QLatin1String(common::doktyp::Tif) && !element.get(QStringLiteral("doktyp")).isEmpty() &&
             element.get(QStringLiteral("doktyp")) != QLatin1String(common::doktyp::Pdf))) {
            doks.Insert(v.New(QStringLiteral("AR.Dokuments")));
            element = doks.getat(doks.Count());
        }
        imaging::Seitenliste datei;
        if (gescannt.first().first.seite > 1) {
            const QByteArray bisher = inhalt(element);
            if (!bisher.isEmpty())
                datei.laden(bisher, QStringLiteral("archiv.tif"));
        }
        for (auto &[s, scan] : gescannt) {
            imaging::Seitenliste neu;
            try {
                neu.laden(inhalt(scan), QStringLiteral("archiv1.tif"), 0, 1);
            } catch (const imaging::BildFehler &e) {
                throw imaging::BildFehler(QStringLiteral("Seite %1 lässt sich nicht lesen: %2").arg(s.seite).arg(QString::fromUtf8(e.what())).toStdString());
            }
            datei.einfuegen(datei.anzahl(), neu.kodiert(0));
        }
        const common::Arbeitsdatei tif(QStringLiteral("archiv"), QStringLiteral("tif"));
        datei.speichern(tif.pfad(), imaging::MehrseitigesTiff);
        element.strom(QStringLiteral("dok")).FileRead(tif.pfad());
        element.set(QStringLiteral("doktyp"), QStringLiteral("tif"));
        element.set(QStringLiteral("daterst"), QDate::currentDate().toString(Qt::ISODate));
    }
    for (server::Objekt &scan : digital) {
        server::Objekt element = v.New(QStringLiteral("AR.Dokuments"));
        const QString name = scan.get(QStringLiteral("dateiname"));
        const einvoice::Original o = einvoice::original(name, scan.get(QStringLiteral("doktyp")), inhalt(scan));
        element.set(QStringLiteral("daterst"), QDate::currentDate().toString(Qt::ISODate));
        element.set(QStringLiteral("doktyp"), o.doktyp);
        element.set(QStringLiteral("dateiname"), name);
        element.set(QStringLiteral("doktext"), name);
        element.set(QStringLiteral("bericht"), o.bericht());
        element.strom(QStringLiteral("dok")).Write(o.inhalt);
        doks.Insert(element);
    }
    if (loeschen)
        beleg.scansEntnehmen(ids);
    if (beleg.SYS_Save() != 1)
        throw beleg.letzterFehlerAlsAusnahme();
}

void nummerUebernehmen(server::Verbindung &v, const QString &nummer, bool loeschen, Uebernahmebericht &bericht)
{
    QList<Scanseite> seiten;
    try {
        seiten = scansNehmen(v, nummer);
    } catch (const std::exception &e) {
        bericht.fehler << QStringLiteral("Belegnummer %1: %2").arg(nummer, QString::fromUtf8(e.what()));
        return;
    }
    // What is not filed goes back to the store, however this ends.
    QStringList zurueck;
    const auto freigeben = qScopeGuard([&] { scansFreigeben(v, zurueck); });
    QList<QString> belege;
    QHash<QString, QList<Scanseite>> nachBeleg;
    for (const Scanseite &s : std::as_const(seiten)) {
        if (s.beleg.toLongLong() <= 0) {
            ++bericht.ohneBeleg;
            zurueck << s.id;
            continue;
        }
        if (!nachBeleg.contains(s.beleg))
            belege << s.beleg;
        nachBeleg[s.beleg] << s;
    }
    for (const QString &beleg : std::as_const(belege)) {
        const QList<Scanseite> &gruppe = nachBeleg[beleg];
        try {
            belegFuellen(v, beleg, gruppe, loeschen);
            bericht.uebernommen += int(gruppe.size());
            if (!loeschen)
                for (const Scanseite &s : gruppe)
                    zurueck << s.id;
        } catch (const std::exception &e) {
            bericht.fehler << QStringLiteral("Belegnummer %1, %2: %3").arg(nummer, seitenText(gruppe), QString::fromUtf8(e.what()));
            bericht.fehlgeschlagen += int(gruppe.size());
            for (const Scanseite &s : gruppe)
                zurueck << s.id;
        }
    }
}

} // namespace

Uebernahmebericht ScanBelegUebernahme(server::Verbindung &v, const QString &belegnummer, bool loeschen)
{
    Uebernahmebericht bericht;
    QStringList nummern;
    if (belegnummer.isEmpty()) {
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        rs.Execute(QStringList{QString()});
        while (rs.Next()) {
            const QString nummer = rs.GetData(3);
            // Pages without a Belegnummer belong to no Beleg yet.
            if (nummer.isEmpty()) {
                ++bericht.ohneBeleg;
                continue;
            }
            if (nummern.isEmpty() || nummern.last() != nummer)
                nummern << nummer;
        }
        rs.Close();
        nummern.removeDuplicates();
    } else {
        nummern << belegnummer;
    }
    for (const QString &nummer : std::as_const(nummern))
        nummerUebernehmen(v, nummer, loeschen, bericht);
    if (bericht.ohneBeleg > 0) {
        try {
            bericht.ohneBelegGruende = ohneBelegListe(v, belegnummer);
        } catch (const std::exception &) {
            // The report then names the numbers without the reasons.
        }
    }
    return bericht;
}

QList<OhneBeleg> ohneBelegListe(server::Verbindung &v, const QString &nur)
{
    QList<OhneBeleg> liste;
    const server::MethodenErgebnis e = v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("OhneBeleg"));
    for (int i = 1; i <= e.Count(); ++i) {
        const QStringList teile = e.element(i).split(u'|');
        if (teile.size() != 3 || (!nur.isEmpty() && teile.at(0) != nur))
            continue;
        liste.append({teile.at(0), teile.at(1).toInt(), teile.at(2)});
    }
    return liste;
}

Belegsuchbericht belegsuche(server::Verbindung &v)
{
    Belegsuchbericht b;
    b.zugeordnet = v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")}).wert().toInt();
    b.ohne = ohneBelegListe(v);
    return b;
}

namespace {

QString seitenAnzahl(int n)
{
    return n == 1 ? QStringLiteral("1 Seite") : QStringLiteral("%1 Seiten").arg(n);
}

// "ER 11005": the type code apart from the number, as on the label.
QString belegText(const QString &nummer)
{
    return nummer.size() > 2 ? nummer.left(2) + u' ' + nummer.mid(2) : nummer;
}

// One line per Belegnummer (the first few) saying why its pages have no Beleg.
QStringList gruende(const QList<OhneBeleg> &ohne)
{
    constexpr int Zeilen = 10;
    QStringList z;
    for (const OhneBeleg &o : ohne) {
        if (z.size() == Zeilen) {
            z << QStringLiteral("…");
            break;
        }
        const QString anzahl = seitenAnzahl(o.seiten);
        if (o.grund == common::scanzuordnung::OhneNummer)
            z << QStringLiteral("%1 ohne Belegnummer").arg(anzahl);
        else if (o.grund == common::scanzuordnung::BelegFehlt)
            z << QStringLiteral("%1: Beleg %2 gibt es noch nicht (%3)").arg(o.nummer, belegText(o.nummer), anzahl);
        else if (o.grund == common::scanzuordnung::Mehrdeutig)
            z << QStringLiteral("%1: Beleg %2 gibt es in mehreren Firmen (%3)").arg(o.nummer, belegText(o.nummer), anzahl);
        else
            z << QStringLiteral("%1: noch nicht zugeordnet, bitte Belegsuche (%2)").arg(o.nummer, anzahl);
    }
    return z;
}

int summe(const QList<OhneBeleg> &ohne)
{
    int n = 0;
    for (const OhneBeleg &o : ohne)
        n += o.seiten;
    return n;
}

} // namespace

QString berichtText(const Belegsuchbericht &bericht)
{
    QString t = QStringLiteral("Belegsuche: %1 einem Beleg zugeordnet.").arg(seitenAnzahl(bericht.zugeordnet));
    if (!bericht.ohne.isEmpty())
        t += QStringLiteral("\n%1 ohne Beleg:\n").arg(seitenAnzahl(summe(bericht.ohne))) + gruende(bericht.ohne).join(u'\n');
    return t;
}

QString berichtText(const Uebernahmebericht &bericht)
{
    if (bericht.uebernommen == 0 && bericht.ohneBeleg == 0 && bericht.fehlgeschlagen == 0 && bericht.fehler.isEmpty())
        return QStringLiteral("Im Scanspeicher sind keine Seiten zu übernehmen.");
    QStringList absaetze;
    if (bericht.fehlgeschlagen > 0 || !bericht.fehler.isEmpty())
        absaetze << QStringLiteral("%1 konnten nicht übernommen werden; sie bleiben im Scanspeicher:\n")
                        .arg(seitenAnzahl(bericht.fehlgeschlagen)) +
                bericht.fehler.mid(0, 10).join(u'\n');
    absaetze << QStringLiteral("%1 in ihre Belege übernommen.").arg(seitenAnzahl(bericht.uebernommen));
    if (bericht.ohneBeleg > 0) {
        QString t = QStringLiteral("%1 ohne Beleg bleiben im Scanspeicher").arg(seitenAnzahl(bericht.ohneBeleg));
        const QStringList z = gruende(bericht.ohneBelegGruende);
        absaetze << (z.isEmpty() ? t + u'.' : t + QStringLiteral(":\n") + z.join(u'\n'));
    }
    return absaetze.join(QStringLiteral("\n\n"));
}

} // namespace archiv::scan
