#include "demo/DemoArchiv.h"

#include "Fehler.h"
#include "Passwort.h"
#include "common/Kennungen.h"
#include "demo/Seitenmaler.h"
#include "imaging/PdfDatei.h"
#include "imaging/TiffDatei.h"
#include "model/Modell.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"
#include "volltext/Volltext.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QTextStream>

#include <memory>

namespace archiv::archivd {

struct Belegtyp
{
    const char *code;
    const char *name;
    const char *vollst;
    const char *wws;
    const char *barcode;
    int nummernBasis;
    int gewicht;
    QList<int> eigenschaften;
};

namespace {

struct Eigenschaft
{
    int id;
    const char *name;
    const char *auswahl;
    const char *suche;
    const char *aendern;
    const char *anzeige;
    const char *neu;
    const char *ziel;
};

// clang-format off: tables, one row per line
const QList<Belegtyp> &typen()
{
    static const QList<Belegtyp> t{
        {"ER", "Eingangsrechnung", "J", "J", "J", 10000, 25, {2, 8, 9, 3, 17, 16, 22, 24, 5, 30, 31, 32, 33, 34, 35, 36}},
        {"AR", "Ausgangsrechnung", "J", "J", "J", 50000, 25, {1, 9, 3, 17, 16, 22, 18, 5}},
        {"LS", "Lieferschein", "N", "J", "J", 20000, 15, {1, 9, 10, 3, 23, 18}},
        {"BE", "Bestellung", "N", "J", "N", 30000, 8, {2, 3, 17, 26}},
        {"GU", "Gutschrift", "J", "J", "N", 60000, 4, {1, 10, 3, 16, 30, 31, 32, 33, 34, 35, 36}},
        {"RK", "Rechnungskorrektur", "N", "J", "J", 0, 3, {2, 10, 3, 5, 30, 31, 32, 33, 34, 35, 36}},
        {"KA", "Kassenbeleg", "J", "N", "N", 1, 12, {7, 3, 16, 22}},
        {"AN", "Angebot", "N", "N", "N", 40000, 4, {1, 3, 26, 18}},
        {"KO", "Korrespondenz", "N", "N", "N", 1, 3, {1, 2, 5, 11}},
        {"VE", "Vertrag", "N", "N", "N", 100, 1, {1, 2, 26, 11, 5}},
    };
    return t;
}

const QHash<int, Eigenschaft> &eigenschaften()
{
    static const QHash<int, Eigenschaft> e{
        {1, {1, "Kunde", "N", "J", "N", "J", "J", ""}},          {2, {2, "Lieferant", "N", "J", "N", "J", "J", ""}},
        {3, {3, "Mitarbeiter", "J", "N", "J", "J", "J", ""}},    {5, {5, "Bemerkung", "N", "N", "J", "J", "J", ""}},
        {7, {7, "Kasse", "J", "N", "N", "J", "J", ""}},          {8, {8, "Lieferschein", "N", "N", "J", "J", "J", "LS"}},
        {9, {9, "Bestellung", "N", "N", "J", "J", "J", "BE"}},   {10, {10, "Rechnung", "N", "N", "J", "J", "J", "ER"}},
        {11, {11, "Interne Nr.", "N", "N", "N", "N", "J", ""}},  {16, {16, "Profitcenter", "J", "N", "J", "J", "J", ""}},
        {17, {17, "Abteilung", "J", "N", "J", "J", "J", ""}},    {18, {18, "Artikel", "N", "J", "J", "J", "J", ""}},
        {22, {22, "Zahlungsart", "J", "N", "J", "J", "J", ""}},  {23, {23, "Lager", "J", "N", "J", "J", "J", ""}},
        {24, {24, "Kostenstelle", "J", "N", "J", "J", "J", ""}}, {26, {26, "Projekt", "J", "N", "J", "J", "J", ""}},
        {30, {30, "Rg.-Nr. Lieferant", "N", "N", "J", "J", "J", ""}}, {31, {31, "Bruttobetrag", "N", "N", "J", "J", "J", ""}},
        {32, {32, "Nettobetrag", "N", "N", "J", "J", "J", ""}},  {33, {33, "Umsatzsteuer", "N", "N", "J", "J", "J", ""}},
        {34, {34, "Währung", "N", "N", "J", "J", "J", ""}},      {35, {35, "Fällig am", "N", "N", "J", "J", "J", ""}},
        {36, {36, "Leitweg-ID", "N", "N", "J", "J", "J", ""}},
    };
    return e;
}
// clang-format on

const QStringList Nachnamen{"Müller",   "Schmidt", "Schneider", "Fischer", "Weber", "Meyer",    "Wagner",  "Becker",  "Schulz",
                            "Hoffmann", "Koch",    "Richter",   "Klein",   "Wolf",  "Schröder", "Neumann", "Schwarz", "Braun"};
const QStringList Firmenwoerter{"Handel",   "Baustoffe", "Elektro",  "Metallbau", "Holz",  "Papier",
                                "Logistik", "Feinkost",  "Werkzeug", "Textil",    "Agrar", "Technik"};
const QStringList Rechtsformen{"GmbH", "KG", "GmbH & Co. KG", "e.K.", "AG", "OHG"};
const QStringList Orte{"Hamburg", "Bremen", "Hannover", "Kiel", "Lübeck", "Oldenburg", "Osnabrück", "Münster", "Bielefeld"};
const QStringList Artikel{"Schraube M8", "Dübel 10mm", "Kabel NYM 3x1.5", "Spanplatte 19mm", "Kopierpapier A4", "Winkel verzinkt",
                          "Leim 750g",   "Steckdose",  "Rohr 22mm",       "Palette",         "Folie",           "Karton"};

} // namespace

DemoArchiv::DemoArchiv(Datenbank &db, DemoOptionen optionen)
    : m_db(db), m_objekte(db), m_blobs(db), m_verwaltung(db), m_opt(optionen), m_zufall(optionen.seed)
{
}

QString DemoArchiv::speichern(const QString &klasse, const QMap<QString, QString> &props, const QMap<QString, QString> &refs)
{
    protokoll::SpeicherAnfrage a;
    a.props = props;
    a.refs = refs;
    return m_objekte.speichernInTransaktion(*Modell::instanz().klasse(klasse), QString(), a).id;
}

void DemoArchiv::erzeugen()
{
    if (!m_db.istLeer())
        throw AnfrageFehler::ungueltig(
            QStringLiteral("Das Archiv %1 enthält schon Daten; die Demodaten brauchen ein leeres Archiv").arg(m_db.beschreibung()));
    {
        Transaktion t(m_db);
        // Ids beyond 16 bits from the start, so that no part of the system
        // can get away with a short integer.
        m_db.setzeNaechsteId(QStringLiteral("ar_dokumente"), 100001);
        m_db.setzeNaechsteId(QStringLiteral("ar_scandat"), 70001);
        firmen();
        for (int firma : {1, 7}) {
            stammdaten(firma);
            benutzer(firma);
        }
        t.bestaetigen();
    }
    belege();
    scans();
    if (m_opt.volltext)
        volltext();
    m_db.optimieren();
}

// Page text for every document element: the type and number as printed,
// the partner's name and town, a few article lines and common words, and
// now and then a rare word (one in about ten thousand Belege), folded as the
// index keeps text.
void DemoArchiv::volltext()
{
    QTextStream aus(stdout);
    static const QStringList Haeufig{"Rechnung", "Lieferung", "Menge", "Preis", "Betrag", "Zahlung", "Kunde", "Datum", "Summe", "Steuer",
                                     "Artikel", "Bestellung", "Versand", "Skonto", "netto", "brutto", "Position", "Seite"};
    static const QStringList Selten{"Rohrschelle", "Wasserwaage", "Kabeltrommel", "Winkelschleifer", "Zahnradpumpe", "Schweißgerät",
                                    "Drehmomentschlüssel", "Gliedermaßstab"};
    const bool pg = m_db.art() == Datenbank::Art::Postgres;
    const QString einfuegen = pg ? QStringLiteral("INSERT INTO ar_volltext (element, blob, text, tsv) VALUES (?, ?, ?, to_tsvector('german', ?))")
                                 : QStringLiteral("INSERT INTO ar_volltext (element, blob, text) VALUES (?, ?, ?)");
    qint64 letzte = 0, geschrieben = 0;
    for (;;) {
        Transaktion t(m_db);
        const QList<SqlZeile> zeilen = m_db.abfragen(
            QStringLiteral("SELECT e.id, e.dok_blob, b.bezeichnung, d.belnr, d.datum FROM ar_dokuments e JOIN ar_dokumente d ON d.id = e.parent_id "
                           "JOIN ar_belart b ON b.id = d.idbelart WHERE e.id > ? AND e.dok_blob IS NOT NULL ORDER BY e.id LIMIT 5000"),
            {letzte});
        if (zeilen.isEmpty())
            break;
        for (const SqlZeile &z : zeilen) {
            QStringList w{z.at(2).toString(), QStringLiteral("Nr."), z.at(3).toString(), z.at(4).toString().left(10),
                          Nachnamen.at(int(m_zufall.bounded(Nachnamen.size()))), Firmenwoerter.at(int(m_zufall.bounded(Firmenwoerter.size()))),
                          Orte.at(int(m_zufall.bounded(Orte.size())))};
            for (int i = 0; i < 12; ++i)
                w << Artikel.at(int(m_zufall.bounded(Artikel.size()))) << Haeufig.at(int(m_zufall.bounded(Haeufig.size())));
            if (m_zufall.bounded(10000) == 0)
                w << Selten.at(int(m_zufall.bounded(Selten.size())));
            const QString text = volltext::falten(w.join(u' '));
            QVariantList werte{z.at(0), z.at(1), text};
            if (pg)
                werte << text;
            m_db.ausfuehren(einfuegen, werte);
            m_db.ausfuehren(QStringLiteral("INSERT INTO ar_volltext_auftrag (element, blob, vorrang, zustand, versuche, seiten, angelegt) "
                                           "VALUES (?, ?, 0, 'fertig', 0, 1, ?)"),
                            {z.at(0), z.at(1), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)});
            ++geschrieben;
        }
        letzte = zeilen.last().at(0).toLongLong();
        t.bestaetigen();
        if (geschrieben % 100000 < 5000)
            aus << "archivd demo: Volltext für " << geschrieben << " Dokumente" << Qt::endl;
    }
    aus << "archivd demo: Volltext für " << geschrieben << " Dokumente" << Qt::endl;
}

void DemoArchiv::firmen()
{
    speichern(QStringLiteral("AR.Firma"), {{"Firma", "1"}, {"Name", "Tessam Handel GmbH"}});
    speichern(QStringLiteral("AR.Firma"), {{"Firma", "7"}, {"Name", "Tessam Filiale Nord"}});
}

void DemoArchiv::stammdaten(int firma)
{
    const QString f = QString::number(firma);
    for (const Belegtyp &t : typen()) {
        speichern(QStringLiteral("AR.Belart"),
                  {{"Firma", f},
                   {"Belart", t.code},
                   {"Bezeichnung", t.name},
                   {"Vollstaendig", t.vollst},
                   {"WWS", t.wws},
                   {"Barcode", t.barcode},
                   {"lastbelnrbarc", t.barcode[0] == 'J' ? QString::number(t.nummernBasis + 999) : QString()},
                   // E-invoices go to the incoming invoices, credit notes to the credit notes.
                   {"ERechnung", QLatin1String(t.code) == QLatin1String("ER")   ? QString(common::erechnung::Rechnungen)
                                 : QLatin1String(t.code) == QLatin1String("GU") ? QString(common::erechnung::Gutschriften)
                                                                                : QString()}});
        int reihe = 1;
        for (int id : t.eigenschaften) {
            const Eigenschaft &e = eigenschaften().value(id);
            speichern(QStringLiteral("AR.BelartIndex"),
                      {{"Firma", f},
                       {"Belart", t.code},
                       {"Eigenschaft", QString::number(e.id)},
                       {"Bezeichnung", e.name},
                       {"Reihenfolge", QString::number(reihe++)},
                       {"Auswahl", e.auswahl},
                       {"Suche", e.suche},
                       {"Aendern", e.aendern},
                       {"Anzeige", e.anzeige},
                       {"Neu", e.neu},
                       {"Zielbelart", e.ziel}});
        }
    }
    const QStringList gruppen{"GH", "EH", "HW", "IN", "PR"};
    const QStringList gruppenNamen{"Großhandel", "Einzelhandel", "Handwerk", "Industrie", "Privatkunden"};
    for (int i = 0; i < gruppen.size(); ++i)
        speichern(QStringLiteral("AR.Kundgrp"), {{"Firma", f}, {"Kgrp", gruppen.at(i)}, {"Name", gruppenNamen.at(i)}});
    auto firmenname = [&](int i) {
        return Nachnamen.at(i % Nachnamen.size()) + u' ' + Firmenwoerter.at((i / 3) % Firmenwoerter.size()) + u' ' +
            Rechtsformen.at(i % Rechtsformen.size());
    };
    for (int i = 0; i < 200; ++i) {
        const QString name = firmenname(i + firma);
        speichern(QStringLiteral("AR.Kund"),
                  {{"Firma", f},
                   {"Knr", QString::number(10001 + i)},
                   {"Kgrp", gruppen.at(i % gruppen.size())},
                   {"Name", name},
                   {"Kurzbez", name.left(name.indexOf(u' ')).toUpper()},
                   {"Plz", QString::number(20000 + i * 97 % 60000)},
                   {"Ort", Orte.at(i % Orte.size())}});
    }
    const QStringList lieftypen{"W", "D", "K", "S"};
    const QStringList lieftypNamen{"Warenlieferant", "Dienstleister", "Kostenlieferant", "Spedition"};
    for (int i = 0; i < lieftypen.size(); ++i)
        speichern(QStringLiteral("AR.Lieftyp"), {{"Firma", f}, {"Lieftyp", lieftypen.at(i)}, {"Name", lieftypNamen.at(i)}});
    for (int i = 0; i < 80; ++i) {
        const QString name = firmenname(i * 7 + 3);
        speichern(QStringLiteral("AR.Lief"),
                  {{"Firma", f},
                   {"Lnr", QString::number(70001 + i)},
                   {"Lieftyp", lieftypen.at(i % 4)},
                   {"Name", name},
                   {"Kurzbez", name.left(name.indexOf(u' ')).toUpper()},
                   {"Plz", QString::number(30000 + i * 131 % 50000)},
                   {"Ort", Orte.at((i + 4) % Orte.size())},
                   // The first two are the sellers of the public XRechnung test invoices.
                   {"UstId", i == 0 ? QStringLiteral("DE123456789")
                             : i == 1 ? QStringLiteral("ATU123456789")
                                      : QStringLiteral("DE%1").arg(300000000 + i * 7919)},
                   {"Steuernr", QStringLiteral("%1/%2/%3").arg(20 + i % 70).arg(100 + i * 37 % 900).arg(10000 + i * 113)}});
    }
    const QStringList abteilungen{"Einkauf", "Verkauf", "Lager", "Buchhaltung", "Verwaltung", "Versand"};
    for (int i = 0; i < abteilungen.size(); ++i)
        speichern(QStringLiteral("AR.Abtnr1"), {{"Firma", f}, {"Abtnr", QString::number((i + 1) * 10)}, {"Name", abteilungen.at(i)}});
    const QStringList profitcenter{"Baustoffe", "Elektro", "Garten", "Werkzeug", "Dienstleistung"};
    for (int i = 0; i < profitcenter.size(); ++i)
        speichern(QStringLiteral("AR.Abtnr2"), {{"Firma", f}, {"Abtnr", QStringLiteral("0%1").arg(101 + i)}, {"Name", profitcenter.at(i)}});
    for (int i = 0; i < 300; ++i)
        speichern(QStringLiteral("AR.Artikel"),
                  {{"Firma", f},
                   {"Artnr", QString::number(400001 + i)},
                   {"Abtnr", QString::number((i % 6 + 1) * 10)},
                   {"Bezeichnung", Artikel.at(i % Artikel.size()) + QStringLiteral(" Typ %1").arg(i / 12 + 1)},
                   {"Kurzbez", Artikel.at(i % Artikel.size()).left(6).toUpper()}});
    for (int i = 0; i < 12; ++i)
        speichern(QStringLiteral("AR.Mitarb"),
                  {{"Firma", f},
                   {"Mitarb", QStringLiteral("MA%1").arg(i + 1, 2, 10, QChar(u'0'))},
                   {"Name",
                    Nachnamen.at((i * 5 + firma) % Nachnamen.size()) + QStringLiteral(", ") +
                        QStringList{"Anna", "Bernd", "Claudia", "Dieter"}.at(i % 4)}});
    for (int i = 1; i <= 3; ++i)
        speichern(QStringLiteral("AR.Kassa"), {{"Firma", f}, {"Kassa", QString::number(i)}, {"Name", QStringLiteral("Kasse %1").arg(i)}});
}

void DemoArchiv::benutzer(int firma)
{
    struct B
    {
        const char *code;
        const char *name;
        const char *aktiv;
        const char *passwort;
    };
    const QList<B> alle = firma == 1
        ? QList<B>{{"MM", "Mustermann,Max", "J", "geheim"}, {"EK", "Kunz,Erika", "J", "erika"}, {"AL", "Alt,Anton", "N", "alt"}}
        : QList<B>{{"MM", "Meier,Monika", "J", "nord"}, {"JB", "Berg,Jan", "J", "jan"}};
    for (const B &b : alle) {
        const QString id = speichern(QStringLiteral("TS.ParPersEdv"),
                                     {{"Firma", QString::number(firma)}, {"Pcode", b.code}, {"pname", b.name}, {"aktiv", b.aktiv}});
        m_verwaltung.passwortSetzen(*m_objekte.zeile(*Modell::instanz().klasse(QStringLiteral("TS.ParPersEdv")), id),
                                    passwortHash(QString::fromUtf8(b.passwort)));
    }
}

QString DemoArchiv::dokument(const QString &titel, const QString &belnr, int firma, int seitenzahl, int dpi, bool pdf)
{
    // A4 at the given resolution.
    const int breite = dpi * 827 / 100;
    const int hoehe = dpi * 1169 / 100;
    const int g = qMax(2, dpi / 100);
    QList<imaging::Seite> seiten;
    for (int s = 1; s <= seitenzahl; ++s) {
        imaging::Seite seite = imaging::Seite::leer(breite, hoehe, dpi);
        Seitenmaler m(seite);
        const int rand = dpi * 2 / 3;
        m.text(rand, rand, firma == 1 ? QStringLiteral("TESSAM HANDEL GMBH") : QStringLiteral("TESSAM FILIALE NORD"), g * 3);
        m.rechteck(rand, rand + 30 * g, breite - 2 * rand, g);
        m.text(rand, rand + 45 * g, titel + QStringLiteral(" NR. ") + belnr, g * 4);
        const QString seitenText = QStringLiteral("SEITE %1 VON %2").arg(s).arg(seitenzahl);
        m.text(breite - rand - int(seitenText.size()) * 6 * g * 2, rand, seitenText, g * 2);
        int y = rand + 90 * g;
        m.rahmen(rand, y, breite - 2 * rand, 12 * g * 30, g);
        y += 6 * g;
        const int zeilen = 12 + int(m_zufall.bounded(14));
        for (int z = 0; z < zeilen && y < hoehe - rand * 2; ++z) {
            const QString artikel = Artikel.at(int(m_zufall.bounded(Artikel.size())));
            const int menge = 1 + int(m_zufall.bounded(99));
            const int cent = 99 + int(m_zufall.bounded(99900));
            m.text(rand + 4 * g, y, QStringLiteral("%1").arg(z + 1, 3), g * 2);
            m.text(rand + 40 * g, y, artikel, g * 2);
            m.text(breite / 2 + 20 * g, y, QString::number(menge), g * 2);
            m.text(breite - rand - 100 * g, y, QStringLiteral("%1,%2 EUR").arg(cent / 100).arg(cent % 100, 2, 10, QChar(u'0')), g * 2);
            y += 24 * g;
        }
        m.text(rand, hoehe - rand - 20 * g, QStringLiteral("BANKVERBINDUNG: SPARKASSE NORD  IBAN DE12 2005 0550 0000 1234 56"), g);
        seiten.append(seite);
    }
    if (pdf) {
        QList<imaging::KodierteSeite> kodiert;
        for (const imaging::Seite &s : seiten)
            kodiert << imaging::TiffDatei::kodieren(s);
        return m_blobs.ablegenInTransaktion(imaging::PdfDatei::schreiben(kodiert));
    }
    return m_blobs.ablegenInTransaktion(imaging::TiffDatei::schreibenG4(seiten));
}

namespace {

const QStringList Zahlungsarten{"Bar", "Überweisung", "Lastschrift", "Scheck"};
const QStringList Lager{"Hauptlager", "Außenlager", "Filiale"};
const QStringList Kostenstellen{"4100", "4200", "4300", "6100"};
const QStringList Projekte{"Umbau 2024", "Messe Hannover", "Sortiment Herbst"};
const QStringList Bemerkungen{"Ware beschädigt, Gutschrift folgt", "Skonto 2%", "Teillieferung", "Rückfrage Einkauf", "geprüft",
                              "Preis laut Angebot, Fracht frei"};

} // namespace

const Belegtyp &DemoArchiv::zufallsTyp()
{
    int gewichte = 0;
    for (const Belegtyp &t : typen())
        gewichte += t.gewicht;
    int w = int(m_zufall.bounded(gewichte));
    for (const Belegtyp &k : typen()) {
        if (w < k.gewicht)
            return k;
        w -= k.gewicht;
    }
    return typen().first();
}

QString DemoArchiv::naechsteNummer(const Belegtyp &typ, int firma)
{
    const QString schluessel = QString::number(firma) + u'|' + QLatin1String(typ.code);
    QString belnr;
    // A cash-book correction carries the number of the last incoming invoice.
    if (QLatin1String(typ.code) == QLatin1String("RK") && !m_letzteEr.isEmpty()) {
        belnr = m_letzteEr + QStringLiteral("/1");
    } else {
        const int n = m_zaehler.value(schluessel, typ.nummernBasis) + 1;
        m_zaehler.insert(schluessel, n);
        belnr = QString::number(n);
    }
    if (QLatin1String(typ.code) == QLatin1String("ER"))
        m_letzteEr = belnr;
    return belnr;
}

QList<protokoll::SpeicherAnfrage> DemoArchiv::dokumente(const Belegtyp &typ, const QString &belnr, int firma, const QDate &datum, int art,
                                                        bool alsPdf)
{
    const bool einzeln = m_opt.belege <= 5000;
    const int versionen = art > 97 ? 3 : art > 90 ? 2 : 1;
    QList<protokoll::SpeicherAnfrage> doks;
    for (int v = 1; v <= versionen; ++v) {
        QString blob;
        if (alsPdf) {
            blob = dokument(QString::fromUtf8(typ.name).toUpper(), belnr, firma, 1 + int(m_zufall.bounded(2)), 200, true);
        } else if (einzeln || m_dokumentPool.size() < 200) {
            const int seiten = m_zufall.bounded(10) == 0 ? 5 + int(m_zufall.bounded(4)) : 1 + int(m_zufall.bounded(3));
            blob = dokument(QString::fromUtf8(typ.name).toUpper(), belnr, firma, seiten, m_zufall.bounded(10) < 7 ? 200 : 300);
            if (!einzeln)
                m_dokumentPool << blob;
        } else {
            // Large archives share a pool of pictures.
            blob = m_dokumentPool.at(int(m_zufall.bounded(m_dokumentPool.size())));
        }
        protokoll::SpeicherAnfrage e;
        e.props = {{"daterst", datum.addDays(v - 1).toString(Qt::ISODate)},
                   {"doktext", v == 1 ? QString() : QStringLiteral("Version %1").arg(v)},
                   {"doktyp", alsPdf ? "pdf" : "tif"}};
        e.streams = {{"dok", blob}};
        doks << e;
    }
    return doks;
}

QString DemoArchiv::verweis(int firma, const char *ziel)
{
    const QStringList &vorhanden = m_nummern.value(QString::number(firma) + u'|' + QLatin1String(ziel));
    const int r = int(m_zufall.bounded(10));
    if (r < 6 && !vorhanden.isEmpty())
        return vorhanden.at(int(m_zufall.bounded(vorhanden.size())));
    if (r < 8)
        return QString::number(90000 + m_zufall.bounded(9000)); // not archived
    return {};
}

void DemoArchiv::wert(const QString &beleg, int firma, int eigenschaft, const QString &w)
{
    if (w.isEmpty())
        return;
    speichern(QStringLiteral("AR.Extind"), {{"Firma", QString::number(firma)}, {"Eigenschaft", QString::number(eigenschaft)}, {"Wert", w}},
              {{"IDDokumente", beleg}});
}

void DemoArchiv::werte(const Belegtyp &typ, const QString &id, int firma, int laufnummer)
{
    const auto eine = [this](const QStringList &aus) { return aus.at(int(m_zufall.bounded(aus.size()))); };
    for (int e : typ.eigenschaften) {
        switch (e) {
        case 1: wert(id, firma, 1, QString::number(10001 + m_zufall.bounded(200))); break;
        case 2: wert(id, firma, 2, QString::number(70001 + m_zufall.bounded(80))); break;
        case 3: wert(id, firma, 3, QStringLiteral("MA%1").arg(1 + m_zufall.bounded(12), 2, 10, QChar(u'0'))); break;
        case 5:
            if (m_zufall.bounded(4) == 0)
                wert(id, firma, 5, eine(Bemerkungen));
            break;
        case 7: wert(id, firma, 7, QString::number(1 + m_zufall.bounded(3))); break;
        case 8: wert(id, firma, 8, verweis(firma, "LS")); break;
        case 9: wert(id, firma, 9, verweis(firma, "BE")); break;
        case 10: wert(id, firma, 10, verweis(firma, "ER")); break;
        case 11: wert(id, firma, 11, QString::number(laufnummer)); break;
        case 16: wert(id, firma, 16, QStringLiteral("0%1").arg(101 + m_zufall.bounded(5))); break;
        case 17: wert(id, firma, 17, QString::number((1 + m_zufall.bounded(6)) * 10)); break;
        case 18: wert(id, firma, 18, QString::number(400001 + m_zufall.bounded(300))); break;
        case 22: wert(id, firma, 22, eine(Zahlungsarten)); break;
        case 23: wert(id, firma, 23, eine(Lager)); break;
        case 24: wert(id, firma, 24, eine(Kostenstellen)); break;
        case 26: wert(id, firma, 26, eine(Projekte)); break;
        default: break;
        }
    }
}

void DemoArchiv::sicherungen(const QString &id, const QDate &datum)
{
    if (datum >= QDate(2026, 1, 1) || m_zufall.bounded(2) != 0)
        return;
    const int dvds = m_zufall.bounded(10) == 0 ? 3 : 1;
    for (int d = 0; d < dvds; ++d)
        speichern(QStringLiteral("AR.Sicherung"),
                  {{"DVD", QStringLiteral("DVD-%1-%2").arg(datum.year()).arg(datum.month() + d, 2, 10, QChar(u'0'))},
                   {"Datum", datum.addMonths(d + 1).toString(Qt::ISODate)}},
                  {{"IDDokumente", id}});
}

void DemoArchiv::beleg(int i)
{
    const QDate start(2022, 1, 3);
    const int tage = int(start.daysTo(QDate(2026, 11, 30)));
    const int firma = m_zufall.bounded(5) == 0 ? 7 : 1;
    const Belegtyp &typ = zufallsTyp();
    const QString belnr = naechsteNummer(typ, firma);
    const QDate datum = start.addDays(qint64(i) * tage / qMax(1, m_opt.belege) + m_zufall.bounded(3));
    const QString zeit = QStringLiteral("%1:%2:%3")
                             .arg(7 + m_zufall.bounded(11), 2, 10, QChar(u'0'))
                             .arg(m_zufall.bounded(60), 2, 10, QChar(u'0'))
                             .arg(m_zufall.bounded(60), 2, 10, QChar(u'0'));
    const int art = int(m_zufall.bounded(100));
    // A few Belege came as PDF files (status 2).
    const QString picsw = art < 8 ? QStringLiteral("0") : art < 12 ? QStringLiteral("2") : QStringLiteral("1");
    const QString partner = Nachnamen.at(int(m_zufall.bounded(Nachnamen.size()))) + u' ' +
        Firmenwoerter.at(int(m_zufall.bounded(Firmenwoerter.size())));

    protokoll::SpeicherAnfrage a;
    a.props = {{"Firma", QString::number(firma)},
               {"Belnr", belnr},
               {"Datum", datum.toString(Qt::ISODate)},
               {"zeit", zeit},
               {"privatjn", m_zufall.bounded(40) == 0 ? "J" : "N"},
               {"picsw", picsw},
               {"Text", QStringLiteral("%1 %2").arg(QLatin1String(typ.name), partner)},
               {"storno", m_zufall.bounded(50) == 0 ? "J" : "N"}};
    a.refs = {{"IdBelart", QString::number(firma) + QStringLiteral("||") + QLatin1String(typ.code)}};
    if (picsw != QLatin1String("0"))
        a.collections.insert(QStringLiteral("Doks"), dokumente(typ, belnr, firma, datum, art, picsw == QLatin1String("2")));
    const Klasse &beleg = *Modell::instanz().klasse(QStringLiteral("AR.Dokumente"));
    const QString id = m_objekte.speichernInTransaktion(beleg, QString(), a).id;
    m_objekte.gespeichertVermerken(beleg, id, a, QStringLiteral("neu"));
    m_nummern[QString::number(firma) + u'|' + QLatin1String(typ.code)] << belnr;
    werte(typ, id, firma, i + 1);
    sicherungen(id, datum);
}

void DemoArchiv::belege()
{
    QTextStream aus(stdout);
    std::unique_ptr<Transaktion> t = std::make_unique<Transaktion>(m_db);
    for (int i = 0; i < m_opt.belege; ++i) {
        if (i > 0 && i % 2000 == 0) {
            t->bestaetigen();
            t = std::make_unique<Transaktion>(m_db);
            aus << "archivd demo: " << i << " Belege" << Qt::endl;
        }
        beleg(i);
    }
    t->bestaetigen();
    kette();
    aus << "archivd demo: " << m_opt.belege << " Belege" << Qt::endl;
}

// A long chain of links: ER -> LS -> ER -> ... and a pair that refers to
// each other (ER <-> LS).
void DemoArchiv::kette()
{
    Transaktion kette(m_db);
    for (int k = 0; k < 40; ++k) {
        const QString er = QString::number(19000 + k);
        const QString ls = QString::number(29000 + k);
        protokoll::SpeicherAnfrage a;
        for (const auto &[code, nummer] : {std::pair{"ER", er}, std::pair{"LS", ls}}) {
            a.props = {{"Firma", "1"},
                       {"Belnr", nummer},
                       {"Datum", "2025-06-02"},
                       {"zeit", "10:00:00"},
                       {"privatjn", "N"},
                       {"picsw", "0"},
                       {"Text", QStringLiteral("Kette %1").arg(k + 1)},
                       {"storno", "N"}};
            a.refs = {{"IdBelart", QStringLiteral("1||") + QLatin1String(code)}};
            const Klasse &beleg = *Modell::instanz().klasse(QStringLiteral("AR.Dokumente"));
            const QString id = m_objekte.speichernInTransaktion(beleg, QString(), a).id;
            m_objekte.gespeichertVermerken(beleg, id, a, QStringLiteral("neu"));
            if (QLatin1String(code) == QLatin1String("ER"))
                wert(id, 1, 8, ls);
            else
                wert(id, 1, 10, k == 0 ? er : QString::number(19000 + k + 1));
        }
    }
    kette.bestaetigen();
}

void DemoArchiv::scans()
{
    Transaktion t(m_db);
    const auto er = m_verwaltung.ersteBelege(1, QStringLiteral("ER"), 3);
    const QDate heute = QDate::currentDate();
    auto scan = [&](const QString &schluessel, int seite, const QString &beleg) {
        QMap<QString, QString> refs;
        if (!beleg.isEmpty())
            refs.insert(QStringLiteral("IDDokumente"), beleg);
        protokoll::SpeicherAnfrage a;
        a.props = {{"seite", QString::number(seite)}, {"dokument", schluessel}, {"Datum", heute.toString(Qt::ISODate)}};
        a.refs = refs;
        a.streams = {{"dok", dokument(QStringLiteral("SCAN"), schluessel.isEmpty() ? QStringLiteral("OHNE") : schluessel, 1, 1, 200)}};
        const Klasse &scandat = *Modell::instanz().klasse(QStringLiteral("AR.Scandat"));
        m_objekte.gespeichertVermerken(scandat, m_objekte.speichernInTransaktion(scandat, QString(), a).id, a, QStringLiteral("neu"));
    };
    for (const auto &[id, belnr] : er)
        for (int s = 1; s <= 3; ++s)
            scan(QStringLiteral("ER") + belnr, s, id);
    scan(QStringLiteral("LS99999"), 1, {});
    scan(QStringLiteral("LS99999"), 2, {});
    for (int s = 1; s <= 3; ++s)
        scan(QString(), s, {});
    t.bestaetigen();
}

} // namespace archiv::archivd
