#include "Posteingang.h"

#include "common/Faltung.h"
#include "common/Kennungen.h"
#include "Fehler.h"
#include "Zugang.h"
#include "common/Original.h"
#include "einvoice/Rechnungsleser.h"
#include "model/Modell.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QSaveFile>
#include <QTime>

namespace archiv::archivd::posteingang {

namespace {

QList<Lieferant> lieferanten(const QList<SqlZeile> &zeilen)
{
    QList<Lieferant> l;
    for (const SqlZeile &z : zeilen)
        l.append({z.at(0).toLongLong(), z.at(1).toString()});
    return l;
}

// Suppliers whose VAT ID or tax number (column spalte) is kennung, written
// as the master data has it or in any other spelling of the same ID.
QList<Lieferant> nachKennung(Datenbank &db, qint64 firma, const QString &spalte, const QString &kennung)
{
    const QString normal = kennungNormal(kennung);
    if (normal.size() < 4)
        return {};
    QList<Lieferant> l =
        lieferanten(db.abfragen(QStringLiteral("SELECT lnr, name FROM ar_lief WHERE firma = ? AND %1 = ? ORDER BY lnr").arg(spalte), {firma, normal}));
    if (!l.isEmpty())
        return l;
    for (const SqlZeile &z : db.abfragen(
             QStringLiteral("SELECT lnr, name, %1 FROM ar_lief WHERE firma = ? AND %1 IS NOT NULL AND %1 <> '' ORDER BY lnr").arg(spalte),
             {firma}))
        if (kennungNormal(z.at(2).toString()) == normal)
            l.append({z.at(0).toLongLong(), z.at(1).toString()});
    return l;
}

bool belegDa(Datenbank &db, qint64 firma, const QString &belart, int eigenschaft, const QString &nummer)
{
    if (nummer.trimmed().isEmpty())
        return false;
    return db.wert(QStringLiteral("SELECT count(*) FROM ar_dokumente d JOIN ar_belart b ON b.id = d.idbelart "
                                  "WHERE d.firma = ? AND d.belnr = ? AND b.belart = (SELECT zielbelart FROM ar_belartindex "
                                  "WHERE firma = ? AND belart = ? AND eigenschaft = ? ORDER BY id LIMIT 1)"),
                   {firma, nummer.trimmed(), firma, belart, eigenschaft})
               .toLongLong() > 0;
}

} // namespace

QString kennungNormal(const QString &kennung)
{
    QString n;
    for (const QChar c : kennung)
        if (c.isLetterOrNumber())
            n += c.toUpper();
    return n;
}

Zuordnung zuordnen(Datenbank &db, qint64 firma, const einvoice::Rechnung &r)
{
    Zuordnung z;
    const auto typMit = [&](QLatin1String kennung) {
        return db.wert(QStringLiteral("SELECT belart FROM ar_belart WHERE firma = ? AND erechnung = ? ORDER BY belart LIMIT 1"),
                       {firma, QString(kennung)})
            .toString();
    };
    if (r.typ == QLatin1String("381"))
        z.belart = typMit(common::erechnung::Gutschriften);
    if (z.belart.isEmpty())
        z.belart = typMit(common::erechnung::Rechnungen);
    if (z.belart.isEmpty() &&
        db.wert(QStringLiteral("SELECT count(*) FROM ar_belart WHERE firma = ? AND belart = 'ER'"), {firma}).toLongLong() > 0)
        z.belart = QStringLiteral("ER");

    z.lieferanten = nachKennung(db, firma, QStringLiteral("ustid"), r.verkaeufer.ustId);
    if (z.lieferanten.isEmpty())
        z.lieferanten = nachKennung(db, firma, QStringLiteral("steuernr"), r.verkaeufer.steuernummer);
    if (z.lieferanten.isEmpty() && !r.verkaeufer.name.trimmed().isEmpty() && !r.verkaeufer.anschrift.plz.trimmed().isEmpty()) {
        const QString name = common::gefaltet(r.verkaeufer.name.simplified());
        for (const SqlZeile &l : db.abfragen(QStringLiteral("SELECT lnr, name FROM ar_lief WHERE firma = ? AND plz = ? ORDER BY lnr"),
                                             {firma, r.verkaeufer.anschrift.plz.trimmed()}))
            if (common::gefaltet(l.at(1).toString().simplified()) == name)
                z.lieferanten.append({l.at(0).toLongLong(), l.at(1).toString()});
    }

    if (z.lieferanten.size() == 1 && !r.nummer.trimmed().isEmpty()) {
        const QList<SqlZeile> v = db.abfragen(
            QStringLiteral("SELECT d.id, b.belart, d.belnr, d.datum FROM ar_extind x "
                           "JOIN ar_extind y ON y.iddokumente = x.iddokumente AND y.eigenschaft = ? AND y.wert = ? "
                           "JOIN ar_dokumente d ON d.id = x.iddokumente JOIN ar_belart b ON b.id = d.idbelart "
                           "WHERE x.firma = ? AND x.eigenschaft = ? AND x.wert = ? ORDER BY d.id LIMIT 1"),
            {common::eigenschaft::Lieferant, QString::number(z.lieferanten.first().nummer), firma, common::eigenschaft::Rechnungsnummer,
             r.nummer.trimmed()});
        if (!v.isEmpty())
            z.vorhanden = Vorhanden{v.first().at(0).toLongLong(), v.first().at(1).toString(), v.first().at(2).toString(),
                                    v.first().at(3).toString()};
    }
    if (!z.belart.isEmpty()) {
        z.bestellungDa = belegDa(db, firma, z.belart, common::eigenschaft::Bestellung, r.bestellung);
        z.lieferscheinDa = belegDa(db, firma, z.belart, common::eigenschaft::Lieferschein, r.lieferschein);
    }
    return z;
}

namespace {

const Klasse &klasse(const char *name)
{
    return *Modell::instanz().klasse(QLatin1String(name));
}

QString datumText(const QString &iso)
{
    const QDate d = QDate::fromString(iso.left(10), Qt::ISODate);
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : iso;
}

// The next number of a type's label counter, in the same versioned save of
// the type that label printing makes (so a run printed meanwhile is never
// numbered twice, and the run is on record for the completeness test).
qint64 nummerReservieren(ObjektSpeicher &objekte, Datenbank &db, qint64 firma, const QString &belart)
{
    const QString id = QString::number(firma) + QStringLiteral("||") + belart;
    const QList<SqlZeile> z = db.abfragen(QStringLiteral("SELECT version, lastbelnrbarc FROM ar_belart WHERE firma = ? AND belart = ?"), {firma, belart});
    if (z.isEmpty())
        throw AnfrageFehler::unbekannt(QStringLiteral("unknown_id"), QStringLiteral("Die Belegart %1 gibt es nicht").arg(belart));
    const qint64 nummer = z.first().at(1).toLongLong() + 1;
    protokoll::SpeicherAnfrage a;
    a.version = z.first().at(0).toLongLong();
    a.props = {{QStringLiteral("lastbelnrbarc"), QString::number(nummer)}};
    objekte.speichernVermerkt(klasse("AR.Belart"), id, a);
    return nummer;
}

QString indexBetrag(const QString &betrag)
{
    return einvoice::indexBetrag(betrag);
}

} // namespace

Aufnahme aufnehmen(Datenbank &db, qint64 firma, const QString &name, const QByteArray &inhalt)
{
    if (inhalt.size() > common::original::HoechstGroesse)
        return {Aufnahme::Art::Abgelehnt, QStringLiteral("Die Datei ist größer als %1 MiB.").arg(common::original::HoechstGroesse / (1024 * 1024))};
    if (inhalt.isEmpty())
        return {Aufnahme::Art::Abgelehnt, QStringLiteral("Die Datei ist leer.")};
    const QString doktyp = common::original::artAusInhalt(inhalt.left(4096));
    if (doktyp.isEmpty())
        return {Aufnahme::Art::Abgelehnt, QStringLiteral("Die Datei ist weder PDF noch XML, TIFF, PNG oder JPEG.")};
    std::optional<einvoice::Leseergebnis> lesung;
    if (doktyp == common::doktyp::Xml || doktyp == common::doktyp::Pdf)
        lesung = einvoice::lesen(inhalt);
    const QString bericht = lesung && (lesung->art != einvoice::Art::Pdf || !lesung->befunde.isEmpty()) ? lesung->befunde.join(u'\n') : QString();

    // Written under the server's name, as the intake.
    Anfragekontext kontext;
    kontext.arbeitsplatz = QStringLiteral("archivd@") + QHostInfo::localHostName();
    kontext.benutzer = QStringLiteral("Posteingang");
    Anfragekontext::setzen(kontext);

    ObjektSpeicher objekte(db);
    if (lesung && lesung->rechnung) {
        const einvoice::Rechnung &r = *lesung->rechnung;
        Zuordnung z = zuordnen(db, firma, r);
        if (z.vorhanden)
            return {Aufnahme::Art::Abgelehnt, QStringLiteral("Rechnung bereits archiviert als %1 %2 vom %3")
                                                  .arg(z.vorhanden->belart, z.vorhanden->belnr, datumText(z.vorhanden->datum))};
        if (!z.belart.isEmpty() && z.lieferanten.size() == 1) {
            // A label run printed at the same moment wins; this one takes the next number.
            for (int versuch = 1;; ++versuch) {
                try {
                    Transaktion t(db);
                    const QString blob = BlobSpeicher(db).ablegenInTransaktion(inhalt);
                    const qint64 nummer = nummerReservieren(objekte, db, firma, z.belart);
                    protokoll::SpeicherAnfrage element;
                    element.props = {{QStringLiteral("daterst"), QDate::currentDate().toString(Qt::ISODate)},
                                     {QStringLiteral("doktyp"), doktyp},
                                     {QStringLiteral("dateiname"), name},
                                     {QStringLiteral("doktext"), name},
                                     {QStringLiteral("bericht"), bericht}};
                    element.streams = {{QStringLiteral("dok"), blob}};
                    protokoll::SpeicherAnfrage beleg;
                    const QDate datum = QDate::fromString(r.datum, Qt::ISODate);
                    beleg.props = {{QStringLiteral("Firma"), QString::number(firma)},
                                   {QStringLiteral("Belnr"), QString::number(nummer)},
                                   {QStringLiteral("Datum"), (datum.isValid() ? datum : QDate::currentDate()).toString(Qt::ISODate)},
                                   {QStringLiteral("zeit"), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))},
                                   {QStringLiteral("privatjn"), QStringLiteral("N")},
                                   {QStringLiteral("Text"), (z.lieferanten.first().name + u' ' + r.nummer).left(200)}};
                    beleg.refs = {{QStringLiteral("IdBelart"), QString::number(firma) + QStringLiteral("||") + z.belart}};
                    beleg.collections = {{QStringLiteral("Doks"), {element}}};
                    const QString f = QString::number(firma);
                    const QList<std::pair<int, QString>> werte{
                        {common::eigenschaft::Lieferant, QString::number(z.lieferanten.first().nummer)},
                        {common::eigenschaft::Rechnungsnummer, r.nummer},
                        {common::eigenschaft::Bruttobetrag, indexBetrag(r.summeBrutto)},
                        {common::eigenschaft::Nettobetrag, indexBetrag(r.summeNetto)},
                        {common::eigenschaft::Steuerbetrag, indexBetrag(r.summeSteuer)},
                        {common::eigenschaft::Waehrung, r.waehrung},
                        {common::eigenschaft::Faelligkeit, einvoice::indexDatum(r.faellig)},
                        {common::eigenschaft::Kaeuferreferenz, r.kaeuferReferenz},
                        {common::eigenschaft::Bestellung, z.bestellungDa ? r.bestellung : QString()},
                        {common::eigenschaft::Lieferschein, z.lieferscheinDa ? r.lieferschein : QString()}};
                    // Only the properties the type has.
                    for (const auto &[code, wert] : werte)
                        if (!wert.trimmed().isEmpty() &&
                            db.wert(QStringLiteral("SELECT count(*) FROM ar_belartindex WHERE firma = ? AND belart = ? AND eigenschaft = ?"),
                                    {firma, z.belart, code})
                                    .toLongLong() > 0)
                            beleg.index.append({f, QString::number(code), wert.left(1000)});
                    objekte.speichernVermerkt(klasse("AR.Dokumente"), QString(), beleg);
                    t.bestaetigen();
                    return {Aufnahme::Art::Beleg, z.belart + u' ' + QString::number(nummer)};
                } catch (const AnfrageFehler &e) {
                    if (e.status() != 409 || versuch == 5)
                        throw;
                }
            }
        }
    }

    // The same bytes once only: a file looked at again after a stop between
    // its commit and its move, or sent twice, would be assigned twice.
    const QString gleich = BlobSpeicher::blobId(inhalt);
    if (const QVariant scan = db.wert(QStringLiteral("SELECT id FROM ar_scandat WHERE dok_blob = ? ORDER BY id LIMIT 1"), {gleich}); scan.isValid())
        return {Aufnahme::Art::Abgelehnt, QStringLiteral("Die Datei liegt schon im Scanspeicher (Datensatz %1, gleicher Inhalt).").arg(scan.toString())};
    for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT b.belart, d.belnr, d.datum FROM ar_dokuments e JOIN ar_dokumente d ON d.id = e.parent_id "
                                                        "JOIN ar_belart b ON b.id = d.idbelart WHERE e.dok_blob = ? ORDER BY d.id LIMIT 1"),
                                         {gleich}))
        return {Aufnahme::Art::Abgelehnt, QStringLiteral("Die Datei ist schon archiviert als %1 %2 vom %3 (gleicher Inhalt).")
                                              .arg(z.at(0).toString(), z.at(1).toString(), datumText(z.at(2).toString()))};

    // For a person to assign: a digital record of the scan store.
    Transaktion t(db);
    const QString blob = BlobSpeicher(db).ablegenInTransaktion(inhalt);
    protokoll::SpeicherAnfrage scan;
    scan.props = {{QStringLiteral("seite"), QStringLiteral("1")},
                  {QStringLiteral("dateiname"), name},
                  {QStringLiteral("doktyp"), doktyp},
                  {QStringLiteral("Datum"), QDate::currentDate().toString(Qt::ISODate)}};
    scan.streams = {{QStringLiteral("dok"), blob}};
    const protokoll::SpeicherAntwort antwort = objekte.speichernVermerkt(klasse("AR.Scandat"), QString(), scan);
    t.bestaetigen();
    return {Aufnahme::Art::Scanspeicher, antwort.id};
}

Eingangsordner::Eingangsordner(Datenbank &db, QString ordner, qint64 firma) : m_db(db), m_ordner(std::move(ordner)), m_firma(firma) { }

namespace {

bool wirdGeschrieben(const QString &name)
{
    return name.startsWith(u'.') || name.endsWith(QLatin1String(".part")) || name.endsWith(QLatin1String(".tmp")) || name.endsWith(u'~');
}

// A name in folder that is not taken yet: "Rechnung.pdf", "Rechnung (2).pdf", ...
QString freierName(const QDir &ordner, const QString &name)
{
    if (!ordner.exists(name))
        return name;
    const QFileInfo i(name);
    const QString endung = i.suffix().isEmpty() ? QString() : u'.' + i.suffix();
    const QString stamm = i.suffix().isEmpty() ? name : name.left(name.size() - endung.size());
    for (int n = 2;; ++n) {
        const QString neu = QStringLiteral("%1 (%2)%3").arg(stamm).arg(n).arg(endung);
        if (!ordner.exists(neu))
            return neu;
    }
}

} // namespace

void Eingangsordner::verschieben(const QString &pfad, const QString &unterordner, const QString &grund)
{
    QDir ziel(QDir(m_ordner).filePath(unterordner));
    if (!ziel.exists() && !QDir().mkpath(ziel.path()))
        throw AnfrageFehler(500, QStringLiteral("intake"), QStringLiteral("Der Ordner %1 lässt sich nicht anlegen").arg(ziel.path()));
    const QString name = freierName(ziel, QFileInfo(pfad).fileName());
    if (!grund.isEmpty()) {
        QSaveFile text(ziel.filePath(name + QStringLiteral(".txt")));
        if (text.open(QIODevice::WriteOnly)) {
            text.write((QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + QStringLiteral(": ") + grund + u'\n').toUtf8());
            text.commit();
        }
    }
    if (!QFile::rename(pfad, ziel.filePath(name)))
        throw AnfrageFehler(500, QStringLiteral("intake"), QStringLiteral("%1 lässt sich nicht nach %2 verschieben").arg(pfad, ziel.path()));
}

Eingangsordner::Stand Eingangsordner::durchgang()
{
    Stand stand;
    QSet<QString> da;
    const QFileInfoList dateien = QDir(m_ordner).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : dateien) {
        const QString pfad = info.absoluteFilePath();
        da.insert(pfad);
        if (wirdGeschrieben(info.fileName())) {
            ++stand.wartend;
            continue;
        }
        Gesehen &g = m_gesehen[pfad];
        const qint64 zeit = info.lastModified().toMSecsSinceEpoch();
        // Written completely: as large and as old as at the last look.
        if (g.groesse != info.size() || g.zeit != zeit) {
            g.groesse = info.size();
            g.zeit = zeit;
            ++stand.wartend;
            continue;
        }
        try {
            if (info.size() > common::original::HoechstGroesse) {
                verschieben(pfad, QStringLiteral("abgelehnt"),
                            QStringLiteral("Die Datei ist größer als %1 MiB.").arg(common::original::HoechstGroesse / (1024 * 1024)));
                ++stand.abgelehnt;
                continue;
            }
            QFile f(pfad);
            if (!f.open(QIODevice::ReadOnly)) {
                verschieben(pfad, QStringLiteral("abgelehnt"), QStringLiteral("Die Datei lässt sich nicht lesen: ") + f.errorString());
                ++stand.abgelehnt;
                continue;
            }
            const QByteArray inhalt = f.readAll();
            f.close();
            Datenbank::Ausleihe verbindung(m_db);
            const Aufnahme a = aufnehmen(m_db, m_firma, info.fileName(), inhalt);
            // Moved only once what it became is committed.
            if (a.art == Aufnahme::Art::Abgelehnt) {
                verschieben(pfad, QStringLiteral("abgelehnt"), a.text);
                ++stand.abgelehnt;
            } else {
                verschieben(pfad, QStringLiteral("archiviert"));
                ++(a.art == Aufnahme::Art::Beleg ? stand.belege : stand.scanspeicher);
            }
            m_gesehen.remove(pfad);
        } catch (const std::exception &e) {
            // The file stays for the next look; a database that is away for
            // a while is no reason to refuse it.
            ++stand.fehler;
            if (++g.fehlversuche == 1 || g.fehlversuche % 100 == 0)
                qWarning().noquote() << "archivd: Posteingang" << info.fileName() << ":" << e.what();
        }
    }
    // Files gone by other hands are forgotten.
    for (auto it = m_gesehen.begin(); it != m_gesehen.end();)
        it = da.contains(it.key()) ? std::next(it) : m_gesehen.erase(it);
    return stand;
}

} // namespace archiv::archivd::posteingang
