#include "storage/Pruefkette.h"

#include "Fehler.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/Pruefsumme.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <array>
#include <cstring>
#include <limits>
#include <unordered_set>

namespace archiv::archivd::pruefkette {

namespace {

constexpr const char *KopfLesen = "SELECT nr, hash FROM ar_protokoll_kopf WHERE id = 1";
constexpr const char *Spalten = "id, nr, zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version, beleg, dateien, zustand, vorgaenger, hash";

// Each value as text, NULL and "" alike: what the databases hand back of a
// value may differ in type (a number as int or as text), never in its text.
QString hashVon(const QJsonArray &teile)
{
    return Sha256::hex(QJsonDocument(teile).toJson(QJsonDocument::Compact));
}

QJsonArray alsText(const SqlZeile &z, qsizetype ab = 0)
{
    QJsonArray a;
    for (qsizetype i = ab; i < z.size(); ++i)
        a.append(z.at(i).toString());
    return a;
}

// The three parts of a Beleg's state, each its own digest, so a finding can
// say which part differs.
struct Stand
{
    QJsonArray kopf, elemente, index;
    QString text() const { return hashVon(kopf) + u' ' + hashVon(elemente) + u' ' + hashVon(index); }
};

// The states of the Belege with ids von..bis, by id.
QHash<qint64, Stand> staende(Datenbank &db, qint64 von, qint64 bis)
{
    QHash<qint64, Stand> s;
    for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT id, firma, idbelart, belnr, datum, zeit, privatjn, text, storno, version "
                                                        "FROM ar_dokumente WHERE id >= ? AND id <= ? ORDER BY id"),
                                         {von, bis}))
        s[z.at(0).toLongLong()].kopf = alsText(z, 1);
    for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT parent_id, position, version, daterst, doktext, doktyp, dok_blob, dok_size, "
                                                        "dateiname, bericht FROM ar_dokuments WHERE parent_id >= ? AND parent_id <= ? "
                                                        "ORDER BY parent_id, position, id"),
                                         {von, bis}))
        s[z.at(0).toLongLong()].elemente.append(alsText(z, 1));
    for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT iddokumente, firma, eigenschaft, wert FROM ar_extind WHERE iddokumente >= ? "
                                                        "AND iddokumente <= ? ORDER BY iddokumente, firma, eigenschaft, wert"),
                                         {von, bis}))
        s[z.at(0).toLongLong()].index.append(alsText(z, 1));
    // Rows of elements or values whose Beleg is gone have no header.
    return s;
}

Felder felder(const SqlZeile &z)
{
    // Columns as in Spalten, from nr on.
    Felder f;
    f.nr = z.at(1).toLongLong();
    f.zeit = z.at(2).toString();
    f.arbeitsplatz = z.at(3).toString();
    f.benutzer = z.at(4).toString();
    f.klasse = z.at(5).toString();
    f.objekt = z.at(6).toString();
    f.aktion = z.at(7).toString();
    f.version = z.at(8).toString();
    f.beleg = z.at(9).toString();
    f.dateien = z.at(10).toString();
    f.zustand = z.at(11).toString();
    return f;
}

using Roh = std::array<unsigned char, 32>;
struct RohHash
{
    std::size_t operator()(const Roh &r) const
    {
        std::size_t h;
        std::memcpy(&h, r.data(), sizeof h);
        return h;
    }
};
std::optional<Roh> roh(const QString &hex)
{
    const QByteArray b = QByteArray::fromHex(hex.toLatin1());
    if (b.size() != 32)
        return std::nullopt;
    Roh r;
    std::memcpy(r.data(), b.constData(), 32);
    return r;
}

QString kurz(const QString &hash)
{
    return hash.left(12);
}

class Pruefer
{
public:
    Pruefer(Datenbank &db, const std::function<void(const QString &)> &fortschritt) : m_db(db), m_fortschritt(fortschritt) { }

    void befund(const QString &was, const QString &text)
    {
        if (m_p.befunde.size() < MaxBefunde)
            m_p.befunde.append({was, text});
        else
            ++m_p.weitere;
    }

    void ketteDurchgehen(const std::optional<Glied> &seit);
    void dateienDurchgehen();
    void belegeDurchgehen();
    Pruefung ergebnis() { return std::move(m_p); }

private:
    Datenbank &m_db;
    const std::function<void(const QString &)> &m_fortschritt;
    Pruefung m_p;
    std::unordered_set<Roh, RohHash> m_genannt; // the files the trail names
};

void Pruefer::ketteDurchgehen(const std::optional<Glied> &seit)
{
    const qint64 gesamt = m_db.wert(QStringLiteral("SELECT count(*) FROM ar_protokoll")).toLongLong();
    Glied vorher;
    bool ankerGesehen = false;
    constexpr int Seite = 5000;
    for (;;) {
        const QList<SqlZeile> zeilen =
            m_db.abfragen(QStringLiteral("SELECT %1 FROM ar_protokoll WHERE nr > ? ORDER BY nr LIMIT %2").arg(QLatin1String(Spalten)).arg(Seite),
                          {vorher.nr});
        for (const SqlZeile &z : zeilen) {
            const Felder f = felder(z);
            const QString vorgaenger = z.at(12).toString();
            const QString hash = z.at(13).toString();
            const QString name = QStringLiteral("Eintrag %1 (%2, %3 %4 \"%5\")").arg(f.nr).arg(f.zeit, f.klasse, f.objekt, f.aktion);
            if (f.nr == vorher.nr + 2)
                befund(QStringLiteral("Kette"), QStringLiteral("%1: vor ihm fehlt Eintrag %2 (gelöscht)").arg(name).arg(vorher.nr + 1));
            else if (f.nr != vorher.nr + 1)
                befund(QStringLiteral("Kette"), QStringLiteral("%1: vor ihm fehlen die Einträge %2 bis %3 (gelöscht)").arg(name).arg(vorher.nr + 1).arg(f.nr - 1));
            if (vorgaenger != vorher.hash)
                befund(QStringLiteral("Kette"),
                       QStringLiteral("%1: nennt als Vorgänger %2, der Eintrag davor hat %3").arg(name, kurz(vorgaenger), kurz(vorher.hash)));
            if (eintragHash(f, vorgaenger) != hash)
                befund(QStringLiteral("Kette"), QStringLiteral("%1: sein Inhalt wurde nach dem Schreiben geändert (Prüfsumme stimmt nicht)").arg(name));
            if (seit && f.nr == seit->nr) {
                ankerGesehen = true;
                if (hash != seit->hash)
                    befund(QStringLiteral("Anker"), QStringLiteral("Anker %1: der Eintrag %2 hat heute die Prüfsumme %3").arg(ankerText(*seit)).arg(f.nr).arg(kurz(hash)));
            }
            for (const QString &d : f.dateien.split(u' ', Qt::SkipEmptyParts))
                if (const auto r = roh(d))
                    m_genannt.insert(*r);
            vorher = {f.nr, hash};
            ++m_p.eintraege;
        }
        if (m_fortschritt)
            m_fortschritt(QStringLiteral("Protokoll: %1 von %2 Einträgen").arg(m_p.eintraege).arg(gesamt));
        if (zeilen.size() < Seite)
            break;
    }
    // Rows outside the chain: written past the server.
    for (const SqlZeile &z : m_db.abfragen(QStringLiteral("SELECT id, zeit, klasse, objekt, aktion FROM ar_protokoll WHERE nr IS NULL ORDER BY id LIMIT %1")
                                               .arg(MaxBefunde))) {
        befund(QStringLiteral("Kette"), QStringLiteral("Protokollzeile %1 (%2, %3 %4 \"%5\") steht in keiner Kette: am Server vorbei eingefügt")
                                            .arg(z.at(0).toString(), z.at(1).toString(), z.at(2).toString(), z.at(3).toString(), z.at(4).toString()));
        ++m_p.eintraege;
    }
    const Glied k = kopf(m_db);
    if (k.nr != vorher.nr || k.hash != vorher.hash)
        befund(QStringLiteral("Kette"), QStringLiteral("Das Ende der Kette ist Eintrag %1 (%2), gespeichert ist als Ende %3 (%4): Einträge am Ende fehlen oder der Kopf wurde geändert")
                                            .arg(vorher.nr).arg(kurz(vorher.hash)).arg(k.nr).arg(kurz(k.hash)));
    if (seit && !ankerGesehen)
        befund(QStringLiteral("Anker"), QStringLiteral("Anker %1: den Eintrag %2 gibt es nicht mehr, die Kette endet bei %3").arg(ankerText(*seit)).arg(seit->nr).arg(vorher.nr));
    m_p.anker = seit;
}

void Pruefer::dateienDurchgehen()
{
    BlobSpeicher blobs(m_db);
    const qint64 gesamt = m_db.wert(QStringLiteral("SELECT count(*) FROM blobs")).toLongLong();
    QString letzte = QStringLiteral(""); // not null: "> NULL" holds for no row
    constexpr int Seite = 500;
    for (;;) {
        const QList<SqlZeile> zeilen = m_db.abfragen(QStringLiteral("SELECT sha256 FROM blobs WHERE sha256 > ? ORDER BY sha256 LIMIT %1").arg(Seite), {letzte});
        for (const SqlZeile &z : zeilen) {
            const QString id = z.at(0).toString();
            letzte = id;
            ++m_p.dateien;
            Sha256 summe;
            const bool da = blobs.lesen(id, 0, std::numeric_limits<qint64>::max(), [&summe](const QByteArray &teil) {
                summe.addData(teil);
                return true;
            });
            const QString ist = summe.hex();
            if (!da || ist != id)
                befund(QStringLiteral("Datei"), QStringLiteral("Datei %1: ihr Inhalt hat heute die Prüfsumme %2, sie wurde nach dem Speichern geändert").arg(id, kurz(ist)));
            const auto r = roh(id);
            if (!r || !m_genannt.contains(*r))
                befund(QStringLiteral("Datei"), QStringLiteral("Datei %1: kein Protokolleintrag nennt sie, sie kam am Server vorbei ins Archiv").arg(id));
        }
        if (m_fortschritt)
            m_fortschritt(QStringLiteral("Dateien: %1 von %2").arg(m_p.dateien).arg(gesamt));
        if (zeilen.size() < Seite)
            break;
    }
}

void Pruefer::belegeDurchgehen()
{
    const qint64 gesamt = m_db.wert(QStringLiteral("SELECT count(*) FROM ar_dokumente")).toLongLong();
    const qint64 hoechste = qMax(m_db.wert(QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM ar_dokumente")).toLongLong(),
                                 m_db.wert(QStringLiteral("SELECT COALESCE(MAX(beleg), 0) FROM ar_protokoll")).toLongLong());
    qint64 von = 1;
    constexpr int Seite = 2000;
    while (von <= hoechste) {
        // The next Belege by id; a stretch without any Beleg is one step.
        const QList<SqlZeile> ids = m_db.abfragen(QStringLiteral("SELECT id FROM ar_dokumente WHERE id >= ? ORDER BY id LIMIT %1").arg(Seite), {von});
        const qint64 bis = ids.size() < Seite ? hoechste : ids.last().at(0).toLongLong();
        QHash<qint64, Stand> jetzt = staende(m_db, von, bis);
        // The last entry of each Beleg in the stretch, in chain order.
        QHash<qint64, SqlZeile> letzte;
        for (const SqlZeile &z : m_db.abfragen(QStringLiteral("SELECT beleg, nr, zeit, aktion, zustand FROM ar_protokoll WHERE beleg >= ? AND beleg <= ? "
                                                              "AND nr IS NOT NULL ORDER BY beleg, nr"),
                                               {von, bis}))
            letzte.insert(z.at(0).toLongLong(), z);
        for (auto it = jetzt.cbegin(); it != jetzt.cend(); ++it) {
            const qint64 beleg = it.key();
            const Stand &s = it.value();
            const QString name = s.kopf.isEmpty()
                                     ? QStringLiteral("Beleg %1").arg(beleg)
                                     : QStringLiteral("Beleg %1 (Nr. %2 vom %3)").arg(beleg).arg(s.kopf.at(2).toString(), s.kopf.at(3).toString());
            if (s.kopf.isEmpty()) {
                befund(QStringLiteral("Element"), QStringLiteral("%1 gibt es nicht, wohl aber Dokumente oder Indexwerte zu ihm").arg(name));
                continue;
            }
            ++m_p.belege;
            const auto l = letzte.constFind(beleg);
            if (l == letzte.cend()) {
                befund(QStringLiteral("Beleg"), QStringLiteral("%1: kein Protokolleintrag, er kam am Server vorbei ins Archiv").arg(name));
                continue;
            }
            const QString eintrag = QStringLiteral("Eintrag %1 vom %2 (\"%3\")").arg(l->at(1).toString(), l->at(2).toString(), l->at(3).toString());
            const QStringList soll = l->at(4).toString().split(u' ');
            const QStringList ist = s.text().split(u' ');
            if (soll.size() != 3) {
                befund(QStringLiteral("Beleg"), QStringLiteral("%1: laut %2 gibt es ihn nicht mehr").arg(name, eintrag));
                continue;
            }
            static const QStringList teile{QStringLiteral("Kopf (Firma, Belegart, Nummer, Datum, Text, Storno)"), QStringLiteral("Dokumente und ihre Dateien"),
                                           QStringLiteral("Indexwerte")};
            for (int i = 0; i < 3; ++i)
                if (soll.at(i) != ist.at(i))
                    befund(QStringLiteral("Beleg"), QStringLiteral("%1: %2 anders als nach %3").arg(name, teile.at(i), eintrag));
        }
        // Belege the trail has and the archive no longer.
        for (auto it = letzte.cbegin(); it != letzte.cend(); ++it)
            if (!jetzt.contains(it.key()) && it->at(4).toString().split(u' ').size() == 3)
                befund(QStringLiteral("Beleg"), QStringLiteral("Beleg %1: fehlt im Archiv, laut Eintrag %2 vom %3 (\"%4\") gibt es ihn")
                                                    .arg(it.key())
                                                    .arg(it->at(1).toString(), it->at(2).toString(), it->at(3).toString()));
        if (m_fortschritt)
            m_fortschritt(QStringLiteral("Belege: %1 von %2").arg(m_p.belege).arg(gesamt));
        von = bis + 1;
    }
}

} // namespace

Glied kopf(Datenbank &db)
{
    const QList<SqlZeile> z = db.abfragen(QLatin1String(KopfLesen));
    if (z.isEmpty())
        return {};
    return {z.first().at(0).toLongLong(), z.first().at(1).toString()};
}

QString belegZustand(Datenbank &db, qint64 beleg)
{
    const QHash<qint64, Stand> s = staende(db, beleg, beleg);
    const auto it = s.constFind(beleg);
    return it == s.cend() || it->kopf.isEmpty() ? QString() : it->text();
}

QString eintragHash(const Felder &f, const QString &vorgaenger)
{
    return hashVon(QJsonArray{QString::number(f.nr), f.zeit, f.arbeitsplatz, f.benutzer, f.klasse, f.objekt, f.aktion, f.version, f.beleg,
                              f.dateien, f.zustand, vorgaenger});
}

void verketten(Datenbank &db, const QList<qint64> &ids)
{
    if (ids.isEmpty())
        return;
    // The head first: once this transaction holds it, every write before it
    // on the chain has committed and is seen by the reads below (PostgreSQL
    // reads what was committed when each statement began), and every write
    // after it waits; so the states recorded follow the chain's order even
    // when two writes change one Beleg in different rows at once.
    const QList<SqlZeile> k =
        db.abfragen(QLatin1String(KopfLesen) + (db.art() == Datenbank::Art::Postgres ? QStringLiteral(" FOR UPDATE") : QString()));
    if (k.isEmpty())
        throw AnfrageFehler::speicher(QStringLiteral("Das Protokoll hat keinen Kopf (ar_protokoll_kopf)"));
    Glied g{k.first().at(0).toLongLong(), k.first().at(1).toString()};
    QVariantList liste;
    for (qint64 id : ids)
        liste << id;
    const QList<SqlZeile> zeilen =
        db.abfragen(QStringLiteral("SELECT %1 FROM ar_protokoll WHERE id IN (%ZAHLLISTE%) AND nr IS NULL ORDER BY id").arg(QLatin1String(Spalten)),
                    {Datenbank::liste(liste)});
    qint64 von = std::numeric_limits<qint64>::max(), bis = 0, anzahl = 0;
    for (const SqlZeile &z : zeilen)
        if (const qint64 beleg = z.at(9).toLongLong(); beleg > 0) {
            von = qMin(von, beleg);
            bis = qMax(bis, beleg);
            ++anzahl;
        }
    // Many Belege close together (a bulk load, an upgrade): their states
    // in three queries; else each on its own.
    QHash<qint64, Stand> bereich;
    const bool zusammen = anzahl > 4 && bis - von < 8 * anzahl;
    if (zusammen)
        bereich = staende(db, von, bis);
    QList<QString> zustaende;
    for (const SqlZeile &z : zeilen) {
        const qint64 beleg = z.at(9).toLongLong();
        if (beleg <= 0)
            zustaende << QString();
        else if (zusammen) {
            const auto it = bereich.constFind(beleg);
            zustaende << (it == bereich.cend() || it->kopf.isEmpty() ? QString() : it->text());
        } else
            zustaende << belegZustand(db, beleg);
    }
    for (qsizetype i = 0; i < zeilen.size(); ++i) {
        Felder f = felder(zeilen.at(i));
        f.nr = g.nr + 1;
        f.zustand = zustaende.at(i);
        const QString hash = eintragHash(f, g.hash);
        db.ausfuehren(QStringLiteral("UPDATE ar_protokoll SET nr = ?, zustand = ?, vorgaenger = ?, hash = ? WHERE id = ?"),
                      {f.nr, f.zustand, g.hash, hash, zeilen.at(i).at(0)});
        g = {f.nr, hash};
    }
    db.ausfuehren(QStringLiteral("UPDATE ar_protokoll_kopf SET nr = ?, hash = ? WHERE id = 1"), {g.nr, g.hash});
}

qint64 nachtragen(Datenbank &db)
{
    // Each Beleg's state as found, so that what changes from now on shows.
    db.ausfuehren(QStringLiteral("INSERT INTO ar_protokoll (zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version, beleg, dateien) "
                                 "SELECT ?, 'archivd', '', 'AR.Dokumente', CAST(d.id AS TEXT), ?, d.version, d.id, '' FROM ar_dokumente d ORDER BY d.id"),
                  {QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), QStringLiteral("Bestand bei Beginn der Prüfkette")});
    // The files stored before: named once, by an entry of their own.
    db.ausfuehren(QStringLiteral("INSERT INTO ar_protokoll (zeit, arbeitsplatz, benutzer, klasse, objekt, aktion, version, dateien) "
                                 "SELECT ?, 'archivd', '', 'Datei', b.sha256, ?, 0, b.sha256 FROM blobs b ORDER BY b.sha256"),
                  {QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), QStringLiteral("Bestand bei Beginn der Prüfkette")});
    qint64 n = 0;
    for (;;) {
        QList<qint64> ids;
        for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT id FROM ar_protokoll WHERE nr IS NULL ORDER BY id LIMIT 5000")))
            ids << z.at(0).toLongLong();
        if (ids.isEmpty())
            return n;
        verketten(db, ids);
        n += ids.size();
    }
}

QString ankerText(const Glied &g)
{
    return QStringLiteral("%1:%2").arg(g.nr).arg(g.hash);
}

std::optional<Glied> ankerLesen(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d{1,18}):([0-9a-f]{64})\\s*$"));
    const QRegularExpressionMatch m = form.match(text.toLower());
    if (!m.hasMatch())
        return std::nullopt;
    return Glied{m.captured(1).toLongLong(), m.captured(2)};
}

Pruefung pruefen(Datenbank &db, const std::optional<Glied> &seit, const std::function<void(const QString &)> &fortschritt)
{
    Pruefer p(db, fortschritt);
    p.ketteDurchgehen(seit);
    p.dateienDurchgehen();
    p.belegeDurchgehen();
    return p.ergebnis();
}

} // namespace archiv::archivd::pruefkette
