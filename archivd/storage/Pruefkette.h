#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace archiv::archivd {

class Datenbank;

// The audit trail as a hash chain: every entry carries the SHA-256 of the
// entry before it and its own, over all it holds; an entry of a Beleg also
// carries the digest of the Beleg's state after the write (header, document
// elements with their files, index values). Changing, removing or adding a
// row anywhere breaks the chain or a digest; the chain's head, kept outside
// the archive as an anchor, also proves that nothing was cut off its end.
namespace pruefkette {

// The "hash" before the first entry.
inline const QString Anfang = QString(64, u'0');

struct Glied
{
    qint64 nr = 0; // 0: no entry yet
    QString hash = Anfang;
};

// The chain's head as stored.
Glied kopf(Datenbank &db);

// The digest of a Beleg's state as the trail records it, empty when there
// is no such Beleg. The derived columns (picture state, backup mark, folded
// values) are not part of it.
QString belegZustand(Datenbank &db, qint64 beleg);

// The fields of one entry, as stored, in the order they are hashed.
struct Felder
{
    qint64 nr = 0;
    QString zeit, arbeitsplatz, benutzer, klasse, objekt, aktion;
    QString version, beleg, dateien, zustand;
};
QString eintragHash(const Felder &f, const QString &vorgaenger);

// Puts the entries this transaction wrote (by id) on the chain: takes the
// head (on PostgreSQL locked until the commit), numbers and hashes them,
// moves the head. Called just before the commit.
void verketten(Datenbank &db, const QList<qint64> &ids);

// Puts every entry not on the chain yet on it, in the order written, and
// records the state of each Beleg that has none on record (an archive
// from before the chain). In the caller's transaction; how many entries.
qint64 nachtragen(Datenbank &db);

// "nr:hash", one line to keep outside the archive.
QString ankerText(const Glied &g);
std::optional<Glied> ankerLesen(const QString &text);

// What "archivd verify" found.
struct Befund
{
    QString was; // "Kette", "Datei", "Beleg", "Element"
    QString text; // names the Beleg or entry and what differs
};
struct Pruefung
{
    qint64 eintraege = 0, dateien = 0, belege = 0;
    QList<Befund> befunde; // at most MaxBefunde, the count in weitere
    qint64 weitere = 0;
    std::optional<Glied> anker; // the anchor proven, when one was given
    bool inOrdnung() const { return befunde.isEmpty(); }
};
inline constexpr int MaxBefunde = 1000;
// seit: an anchor the trail must still hold. fortschritt gets a line now
// and then.
Pruefung pruefen(Datenbank &db, const std::optional<Glied> &seit, const std::function<void(const QString &)> &fortschritt);

} // namespace pruefkette

} // namespace archiv::archivd
