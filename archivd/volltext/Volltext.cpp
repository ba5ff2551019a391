#include "volltext/Volltext.h"

#include "Fehler.h"
#include "common/Faltung.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRect>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <chrono>

namespace archiv::archivd::volltext {

namespace {

QString jetzt()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

// Words too common to narrow a search; a text of these alone is refused.
const QSet<QString> &fuellwoerter()
{
    static const QSet<QString> w{"der", "die", "das", "den", "dem", "des", "ein", "eine", "einer", "eines", "einem", "einen",
                                 "und", "oder", "in", "im", "an", "am", "auf", "mit", "von", "vom", "zu", "zum", "zur",
                                 "fur", "ist", "es", "the", "and", "of", "to", "a"};
    return w;
}

// The words of a search text part: letters and digits, folded.
QStringList woerter(const QString &text)
{
    static const QRegularExpression wort(QStringLiteral("[\\p{L}\\p{N}]+"));
    QStringList l;
    for (auto it = wort.globalMatch(falten(text)); it.hasNext();)
        l << it.next().captured(0);
    return l;
}

struct Begriff
{
    QStringList woerter; // several: a phrase
    bool praefix = false;
};

QList<Begriff> zerlegen(const QString &eingabe)
{
    static const QRegularExpression teil(QStringLiteral("\"([^\"]*)\"?|(\\S+)"));
    QList<Begriff> begriffe;
    int anzahl = 0;
    for (auto it = teil.globalMatch(eingabe); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        Begriff b;
        if (m.capturedStart(1) >= 0) {
            b.woerter = woerter(m.captured(1));
        } else {
            const QString t = m.captured(2);
            b.praefix = t.endsWith(u'*');
            b.woerter = woerter(t);
            // "Rohr-Schelle" is a phrase of its parts.
            if (b.woerter.size() == 1 && !b.praefix && fuellwoerter().contains(b.woerter.first()))
                continue;
        }
        if (b.woerter.isEmpty())
            continue;
        anzahl += int(b.woerter.size());
        if (anzahl > MaxWoerter)
            throw AnfrageFehler::ungueltig(QStringLiteral("Volltext: höchstens %1 Wörter").arg(MaxWoerter));
        begriffe << b;
    }
    if (begriffe.isEmpty())
        throw AnfrageFehler::ungueltig(QStringLiteral("Volltext: kein Wort, nach dem sich suchen lässt (nur \"*\" oder nur Füllwörter wie \"der\" und \"und\")"));
    return begriffe;
}

// Whether a term is among a page's words (in order): a phrase as
// consecutive words, the last of them maybe a prefix.
bool kommtVor(const Begriff &b, const QStringList &seite)
{
    const qsizetype n = b.woerter.size();
    for (qsizetype i = 0; i + n <= seite.size(); ++i) {
        bool ja = true;
        for (qsizetype j = 0; j < n && ja; ++j)
            ja = b.praefix && j == n - 1 ? seite.at(i + j).startsWith(b.woerter.at(j)) : seite.at(i + j) == b.woerter.at(j);
        if (ja)
            return true;
    }
    return false;
}

// The words of all terms, for the statistics of how common they are.
QString begriffeText(const QList<Begriff> &begriffe)
{
    QStringList w;
    for (const Begriff &b : begriffe)
        w << b.woerter;
    return w.join(u' ');
}

} // namespace

QString falten(const QString &text)
{
    const QString zerlegt = common::gefaltet(text).normalized(QString::NormalizationForm_D);
    QString f;
    f.reserve(zerlegt.size());
    for (const QChar c : zerlegt)
        if (c.category() != QChar::Mark_NonSpacing)
            f += c;
    return f;
}

Bedingung bedingung(Datenbank &db, const QString &eingabe, int vieleTreffer)
{
    const QList<Begriff> begriffe = zerlegen(eingabe);
    QStringList teile;
    if (db.art() == Datenbank::Art::Postgres) {
        for (const Begriff &b : begriffe) {
            QStringList w;
            for (const QString &x : b.woerter)
                w << x;
            QString t = w.join(QStringLiteral(" <-> "));
            if (b.praefix)
                t += QStringLiteral(":*");
            teile << (b.woerter.size() > 1 ? u'(' + t + u')' : t);
        }
        const QString ausdruck = teile.join(QStringLiteral(" & "));
        // As on SQLite below: a text every word of which is on many pages is
        // checked Beleg by Beleg in the search's order. How many pages a word
        // is on comes from the planner's statistics of the column (its most
        // common lexemes and their share), which cost nothing to read; a word
        // not among them is rare. "OFFSET 0" keeps the check a subplan run
        // per Beleg instead of a join that collects every match first.
        const bool viele =
            vieleTreffer <= 0 ||
            db.wert(QStringLiteral("SELECT COALESCE(bool_and(COALESCE(f, 0) * (SELECT GREATEST(reltuples, 0) FROM pg_class WHERE relname = 'ar_volltext') > ?), false) "
                                   "FROM (SELECT (SELECT s.most_common_elem_freqs[array_position(s.most_common_elems::text::text[], w.lexeme)] "
                                   "FROM pg_stats s WHERE s.tablename = 'ar_volltext' AND s.attname = 'tsv' LIMIT 1) AS f "
                                   "FROM unnest(to_tsvector('german', ?)) w) x"),
                    {vieleTreffer, begriffeText(begriffe)})
                .toBool();
        if (viele)
            return {QStringLiteral("EXISTS (SELECT 1 FROM ar_dokuments e JOIN ar_volltext v ON v.element = e.id AND v.blob = e.dok_blob "
                                   "WHERE e.parent_id = d.id AND v.tsv @@ to_tsquery('german', ?) OFFSET 0)"),
                    {ausdruck}};
        return {QStringLiteral("d.id IN (SELECT e.parent_id FROM ar_volltext v JOIN ar_dokuments e ON e.id = v.element AND e.dok_blob = v.blob "
                               "WHERE v.tsv @@ to_tsquery('german', ?))"),
                {ausdruck}};
    }
    for (const Begriff &b : begriffe)
        teile << u'"' + b.woerter.join(u' ') + u'"' + (b.praefix ? QStringLiteral("*") : QString());
    const QString ausdruck = teile.join(QStringLiteral(" AND "));
    // Few matches: the Belege of the matches, then sorted by date. Many (a
    // word on every other page): the Belege in the search's date order, each
    // looked up in the set of matches, until the limit is reached; going
    // through every match and sorting them would take seconds on a million.
    // The "+" keeps the set a lookup rather than a seek per match and row.
    const qint64 anzahl = db.wert(QStringLiteral("SELECT count(*) FROM (SELECT rowid FROM ar_volltext_fts WHERE ar_volltext_fts MATCH ? LIMIT %1)")
                                      .arg(vieleTreffer + 1),
                                  {ausdruck})
                              .toLongLong();
    if (vieleTreffer <= 0 || anzahl > vieleTreffer)
        return {QStringLiteral("EXISTS (SELECT 1 FROM ar_dokuments e JOIN ar_volltext v ON v.element = e.id AND v.blob = e.dok_blob "
                               "WHERE e.parent_id = d.id AND +v.id IN (SELECT rowid FROM ar_volltext_fts WHERE ar_volltext_fts MATCH ?))"),
                {ausdruck}};
    return {QStringLiteral("d.id IN (SELECT e.parent_id FROM ar_volltext_fts f JOIN ar_volltext v ON v.id = f.rowid "
                           "JOIN ar_dokuments e ON e.id = v.element AND e.dok_blob = v.blob WHERE ar_volltext_fts MATCH ?)"),
            {ausdruck}};
}

QList<Trefferseite> treffer(Datenbank &db, qint64 beleg, const QString &eingabe)
{
    QList<Begriff> begriffe = zerlegen(eingabe);
    QList<Trefferseite> seiten;
    for (const SqlZeile &z : db.abfragen(
             QStringLiteral("SELECT e.position, e.doktyp, s.seite, s.woerter FROM ar_dokuments e JOIN ar_volltext v ON v.element = e.id "
                            "AND v.blob = e.dok_blob JOIN ar_volltext_seite s ON s.volltext = v.id WHERE e.parent_id = ? ORDER BY e.position, s.seite"),
             {beleg})) {
        Trefferseite t;
        t.position = z.at(0).toInt();
        t.basis = z.at(1).toString() == QLatin1String("pdf") ? 300 : 0;
        t.seite = z.at(2).toInt();
        const QJsonArray gelesen = QJsonDocument::fromJson(z.at(3).toString().toUtf8()).array();
        for (const QJsonValue &w : gelesen) {
            const QJsonArray a = w.toArray();
            // A box holds a word as the reader saw it, maybe with punctuation:
            // it is marked when one of its words is a searched one.
            const QStringList teile = woerter(a.at(4).toString());
            bool passt = false;
            for (const Begriff &b : std::as_const(begriffe))
                for (const QString &x : b.woerter)
                    for (const QString &teil : teile)
                        passt = passt || (b.praefix && x == b.woerter.last() ? teil.startsWith(x) : teil == x);
            if (passt)
                t.boxen << QRect(a.at(0).toInt(), a.at(1).toInt(), a.at(2).toInt(), a.at(3).toInt());
        }
        if (!t.boxen.isEmpty())
            seiten << t;
        if (seiten.size() >= MaxTrefferSeiten)
            break;
    }
    return seiten;
}

QHash<qint64, QList<Fundstelle>> fundstellen(Datenbank &db, const QList<qint64> &belege, const QString &eingabe)
{
    if (belege.size() > MaxFundstellenBelege)
        throw AnfrageFehler::ungueltig(QStringLiteral("Volltext: Fundstellen für höchstens %1 Belege auf einmal").arg(MaxFundstellenBelege));
    const QList<Begriff> begriffe = zerlegen(eingabe);
    QHash<qint64, QList<Fundstelle>> stellen;
    if (belege.isEmpty())
        return stellen;
    QStringList platz;
    QVariantList werte;
    for (qint64 id : belege) {
        platz << QStringLiteral("?");
        werte << id;
    }
    for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT e.parent_id, e.position, s.seite, s.text FROM ar_dokuments e "
                                                        "JOIN ar_volltext v ON v.element = e.id AND v.blob = e.dok_blob "
                                                        "JOIN ar_volltext_seite s ON s.volltext = v.id WHERE e.parent_id IN (%1) "
                                                        "ORDER BY e.parent_id, e.position, s.seite")
                                             .arg(platz.join(u',')),
                                         werte)) {
        const QStringList seite = woerter(z.at(3).toString());
        if (std::any_of(begriffe.begin(), begriffe.end(), [&](const Begriff &b) { return kommtVor(b, seite); }))
            stellen[z.at(0).toLongLong()].append({z.at(1).toInt(), z.at(2).toInt()});
    }
    return stellen;
}

QString fundstellenText(const QList<Fundstelle> &stellen)
{
    constexpr int Hoechstens = 6;
    const bool einDokument = std::all_of(stellen.begin(), stellen.end(), [&](const Fundstelle &f) { return f.position == stellen.first().position; });
    QStringList teile;
    int vorige = -1;
    for (qsizetype i = 0; i < stellen.size(); ++i) {
        if (i == Hoechstens) {
            teile.last() += QStringLiteral(" …");
            break;
        }
        const Fundstelle &f = stellen.at(i);
        if (einDokument)
            teile << (teile.isEmpty() ? QStringLiteral("S. ") : QString()) + QString::number(f.seite);
        else if (f.position != vorige)
            teile << QStringLiteral("Dok. %1 S. %2").arg(f.position).arg(f.seite);
        else
            teile.last() += QStringLiteral(", ") + QString::number(f.seite);
        vorige = f.position;
    }
    return teile.join(einDokument ? QStringLiteral(", ") : QStringLiteral("; "));
}

void vormerken(Datenbank &db, qint64 element, const QString &blob, Vorrang vorrang)
{
    if (blob.isEmpty())
        return;
    if (db.wert(QStringLiteral("SELECT count(*) FROM ar_volltext_auftrag WHERE element = ? AND blob = ?"), {element, blob}).toLongLong() > 0)
        return;
    db.ausfuehren(QStringLiteral("INSERT INTO ar_volltext_auftrag (element, blob, vorrang, zustand, versuche, angelegt) VALUES (?, ?, ?, 'offen', 0, ?)"),
                  {element, blob, int(vorrang), jetzt()});
}

qint64 bestandVormerken(Datenbank &db, std::optional<qint64> firma, const QString &seit)
{
    QString sql = QStringLiteral(
        "INSERT INTO ar_volltext_auftrag (element, blob, vorrang, zustand, versuche, angelegt) "
        "SELECT e.id, e.dok_blob, 0, 'offen', 0, ? FROM ar_dokuments e JOIN ar_dokumente d ON d.id = e.parent_id "
        "WHERE e.dok_blob IS NOT NULL AND NOT EXISTS (SELECT 1 FROM ar_volltext_auftrag a WHERE a.element = e.id AND a.blob = e.dok_blob)");
    QVariantList werte{jetzt()};
    if (firma) {
        sql += QStringLiteral(" AND d.firma = ?");
        werte << *firma;
    }
    if (!seit.isEmpty()) {
        sql += QStringLiteral(" AND d.datum >= ?");
        werte << seit;
    }
    Transaktion t(db);
    const qint64 n = db.ausfuehren(sql, werte);
    t.bestaetigen();
    return n;
}

Stand stand(Datenbank &db)
{
    Stand s;
    for (const SqlZeile &z : db.abfragen(QStringLiteral("SELECT zustand, count(*) FROM ar_volltext_auftrag GROUP BY zustand"))) {
        const QString zustand = z.at(0).toString();
        const qint64 n = z.at(1).toLongLong();
        if (zustand == QLatin1String("offen"))
            s.offen = n;
        else if (zustand == QLatin1String("laeuft"))
            s.laufend = n;
        else if (zustand == QLatin1String("fertig"))
            s.fertig = n;
        else
            s.fehler = n;
    }
    const QString vorStunde = QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODateWithMs);
    const qint64 seiten = db.wert(QStringLiteral("SELECT COALESCE(SUM(seiten), 0) FROM ar_volltext_auftrag WHERE zustand = 'fertig' AND fertig >= ?"),
                                  {vorStunde})
                              .toLongLong();
    const QList<SqlZeile> spanne = db.abfragen(
        QStringLiteral("SELECT MIN(begonnen), MAX(fertig) FROM ar_volltext_auftrag WHERE zustand = 'fertig' AND fertig >= ?"), {vorStunde});
    if (!spanne.isEmpty() && !spanne.first().at(0).isNull()) {
        const qint64 ms = QDateTime::fromString(spanne.first().at(0).toString(), Qt::ISODateWithMs)
                              .msecsTo(QDateTime::fromString(spanne.first().at(1).toString(), Qt::ISODateWithMs));
        if (ms > 0)
            s.seitenJeSekunde = seiten * 1000.0 / double(ms);
    }
    const double jeDokument =
        db.wert(QStringLiteral("SELECT AVG(seiten) FROM ar_volltext_auftrag WHERE zustand = 'fertig' AND seiten > 0")).toDouble();
    if (jeDokument > 0)
        s.seitenJeDokument = jeDokument;
    return s;
}

bool einenAuftragErledigen(Datenbank &db, const QString &leseprogramm)
{
    constexpr int MaxVersuche = 3;
    qint64 auftrag = 0, element = 0;
    QString blob, doktyp;
    {
        Transaktion t(db);
        // Several workers, on several servers, share the queue: each takes
        // a row no other holds.
        const QString sperre = db.art() == Datenbank::Art::Postgres ? QStringLiteral(" FOR UPDATE SKIP LOCKED") : QString();
        const QList<SqlZeile> z = db.abfragen(
            QStringLiteral("SELECT id, element, blob FROM ar_volltext_auftrag WHERE zustand = 'offen' ORDER BY vorrang DESC, id LIMIT 1") + sperre);
        if (z.isEmpty())
            return false;
        auftrag = z.first().at(0).toLongLong();
        element = z.first().at(1).toLongLong();
        blob = z.first().at(2).toString();
        db.ausfuehren(QStringLiteral("UPDATE ar_volltext_auftrag SET zustand = 'laeuft', begonnen = ?, versuche = versuche + 1 WHERE id = ?"),
                      {jetzt(), auftrag});
        t.bestaetigen();
    }
    const auto beenden = [&](const QString &zustand, const QString &grund, int seiten) {
        db.ausfuehren(QStringLiteral("UPDATE ar_volltext_auftrag SET zustand = ?, fehler = ?, fertig = ?, seiten = ? WHERE id = ?"),
                      {zustand, grund.isEmpty() ? QVariant() : QVariant(grund.left(1000)), jetzt(), seiten, auftrag});
    };
    try {
        doktyp = db.wert(QStringLiteral("SELECT doktyp FROM ar_dokuments WHERE id = ?"), {element}).toString();
        const std::optional<QByteArray> inhalt = BlobSpeicher(db).holen(blob);
        if (!inhalt) {
            beenden(QStringLiteral("fehler"), QStringLiteral("Die Datei ist nicht (mehr) im Archiv."), 0);
            return true;
        }
        const QList<Seitentext> seiten = lesen(leseprogramm, doktyp.isEmpty() ? QStringLiteral("tif") : doktyp, *inhalt);
        QStringList texte;
        for (const Seitentext &s : seiten)
            texte << s.text;
        Transaktion t(db);
        db.ausfuehren(QStringLiteral("DELETE FROM ar_volltext_seite WHERE volltext IN (SELECT id FROM ar_volltext WHERE element = ? AND blob = ?)"),
                      {element, blob});
        db.ausfuehren(QStringLiteral("DELETE FROM ar_volltext WHERE element = ? AND blob = ?"), {element, blob});
        db.ausfuehren(QStringLiteral("INSERT INTO ar_volltext (element, blob, text) VALUES (?, ?, ?)"), {element, blob, falten(texte.join(u'\n'))});
        const qint64 id = db.wert(QStringLiteral("SELECT id FROM ar_volltext WHERE element = ? AND blob = ?"), {element, blob}).toLongLong();
        if (db.art() == Datenbank::Art::Postgres)
            db.ausfuehren(QStringLiteral("UPDATE ar_volltext SET tsv = to_tsvector('german', text) WHERE id = ?"), {id});
        for (const Seitentext &s : seiten) {
            QJsonArray woerter;
            for (const Wort &w : s.woerter)
                woerter.append(QJsonArray{w.box.x(), w.box.y(), w.box.width(), w.box.height(), w.text});
            db.ausfuehren(QStringLiteral("INSERT INTO ar_volltext_seite (volltext, seite, text, woerter) VALUES (?, ?, ?, ?)"),
                          {id, s.seite, falten(s.text), QString::fromUtf8(QJsonDocument(woerter).toJson(QJsonDocument::Compact))});
        }
        db.ausfuehren(QStringLiteral("UPDATE ar_volltext_auftrag SET zustand = 'fertig', fehler = NULL, fertig = ?, seiten = ? WHERE id = ?"),
                      {jetzt(), int(seiten.size()), auftrag});
        t.bestaetigen();
    } catch (const std::exception &e) {
        // Marked and skipped: a file that cannot be read is not tried again
        // and again.
        const qint64 versuche = db.wert(QStringLiteral("SELECT versuche FROM ar_volltext_auftrag WHERE id = ?"), {auftrag}).toLongLong();
        const bool aufgeben = versuche >= MaxVersuche || QString::fromUtf8(e.what()).contains(QLatin1String("lesbar"));
        beenden(aufgeben ? QStringLiteral("fehler") : QStringLiteral("offen"), QString::fromUtf8(e.what()), 0);
        qWarning().noquote() << "archivd: Volltext von Element" << element << ":" << e.what();
    }
    return true;
}

Leser::Leser(Datenbank &db, int threads, QString leseprogramm) : m_db(db), m_programm(std::move(leseprogramm))
{
    // Jobs a stopped server left running are open again.
    try {
        Datenbank::Ausleihe verbindung(m_db);
        const QString vorher = QDateTime::currentDateTimeUtc().addSecs(-600).toString(Qt::ISODateWithMs);
        m_db.ausfuehren(QStringLiteral("UPDATE ar_volltext_auftrag SET zustand = 'offen' WHERE zustand = 'laeuft' AND begonnen < ?"), {vorher});
    } catch (const std::exception &e) {
        qWarning().noquote() << "archivd: Volltext:" << e.what();
    }
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { arbeiten(); });
}

Leser::~Leser()
{
    m_beendet = true;
    for (std::thread &t : m_threads)
        t.join();
}

void Leser::arbeiten()
{
    while (!m_beendet) {
        bool etwas = false;
        try {
            Datenbank::Ausleihe verbindung(m_db);
            etwas = einenAuftragErledigen(m_db, m_programm);
        } catch (const std::exception &e) {
            qWarning().noquote() << "archivd: Volltext:" << e.what();
        }
        if (!etwas)
            for (int i = 0; i < 20 && !m_beendet; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

} // namespace archiv::archivd::volltext
