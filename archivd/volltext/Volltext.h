#pragma once

#include "volltext/Textlesen.h"

#include <QHash>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace archiv::archivd {

class Datenbank;

// The full-text index: what was read of each document element, per file
// version (a re-scan is read again, the old text stays with the old file),
// a job queue in the database that workers of any number of servers share,
// and the search condition. SQLite keeps an FTS5 index, PostgreSQL a
// tsvector with the german configuration and a GIN index.
namespace volltext {

// The form text is indexed and searched in, the same on both databases:
// case folded, "ß" as "ss", accents and umlauts taken off ("Müller",
// "MÜLLER" and "Muller" meet, and so do "Straße" and "STRASSE").
QString falten(const QString &text);

// A search text: words (all must occur in one document), "*" at a word's
// end for a prefix, quotes around a phrase. At most this many words.
inline constexpr int MaxWoerter = 32;
struct Bedingung
{
    QString sql; // a condition on d.id (the Beleg), with one value
    QVariantList werte;
};
// Throws AnfrageFehler for a text with too many words, or with nothing to
// search for (only "*", only words too common to mean anything). A text
// with more than vieleTreffer matching documents is looked up Beleg by Beleg
// in the search's order instead of collecting every match.
inline constexpr int VieleTreffer = 20000;
Bedingung bedingung(Datenbank &db, const QString &eingabe, int vieleTreffer = VieleTreffer);

// Where a search text's words are on a Beleg's pages: for each current
// document element with hits (by position from 1) its pages (from 1) and the
// words' boxes. basis 300: boxes at 300 dpi of the page (a PDF), 0: in
// pixels of the stored page. At most MaxTrefferSeiten pages.
inline constexpr int MaxTrefferSeiten = 200;
struct Trefferseite
{
    int position = 0;
    int seite = 0;
    int basis = 0;
    QList<QRect> boxen;
};
QList<Trefferseite> treffer(Datenbank &db, qint64 beleg, const QString &eingabe);

// The pages a search text's words are on, for a list of Belege (at most
// MaxFundstellenBelege): per Beleg its element positions and pages, in
// order. A page counts when one of the words, prefixes or phrases is on it.
inline constexpr int MaxFundstellenBelege = 500;
struct Fundstelle
{
    int position = 0;
    int seite = 0;
};
QHash<qint64, QList<Fundstelle>> fundstellen(Datenbank &db, const QList<qint64> &belege, const QString &eingabe);
// "S. 1, 3" (one element) or "Dok. 2 S. 1; Dok. 3 S. 2", a few pages at most.
QString fundstellenText(const QList<Fundstelle> &stellen);

// Queues an element's file for reading (in the caller's transaction); a
// save goes before the backlog of "archivd volltext neu".
enum class Vorrang { Bestand = 0, Speichern = 1 };
void vormerken(Datenbank &db, qint64 element, const QString &blob, Vorrang vorrang);
// The elements of existing Belege (of a company, saved since a date) not
// read yet for their current file; how many were queued.
qint64 bestandVormerken(Datenbank &db, std::optional<qint64> firma, const QString &seit);

struct Stand
{
    qint64 offen = 0, laufend = 0, fertig = 0, fehler = 0;
    double seitenJeSekunde = 0; // over the last hour
    double seitenJeDokument = 2; // of the documents read so far
    // Seconds until what waits is read at the rate of the last hour; -1 when
    // nothing was read in it.
    qint64 restSekunden() const { return seitenJeSekunde > 0 ? qint64((offen + laufend) * seitenJeDokument / seitenJeSekunde) : -1; }
};
Stand stand(Datenbank &db);

// One job: take, read in a child process, store; false when none was open.
bool einenAuftragErledigen(Datenbank &db, const QString &leseprogramm);

// The readers of a server: threads that take jobs while there are any and
// look again every two seconds. Stop and join when they go.
class Leser
{
public:
    Leser(Datenbank &db, int threads, QString leseprogramm);
    ~Leser();

private:
    void arbeiten();
    Datenbank &m_db;
    QString m_programm;
    std::atomic<bool> m_beendet{false};
    std::vector<std::thread> m_threads;
};

} // namespace volltext

} // namespace archiv::archivd
