// The completeness test of one document type and business year, as a job
// that runs on the server while the client fetches its report line by line.
#include "storage/abfragen/Abfragen.h"

#include "Fehler.h"
#include "Registry.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "storage/Pruefsumme.h"
#include "storage/abfragen/Argumente.h"
#include "Zugang.h"

#include <QRandomGenerator>

#include <QDate>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>
#include <vector>

namespace archiv::archivd {

namespace {

using Uhr = std::chrono::steady_clock;

// One running test: its report lines wait here until fetched.
struct Auftrag
{
    std::mutex m;
    std::condition_variable geaendert;
    std::deque<QString> zeilen; // "status|text"
    bool fertig = false;
    std::atomic<bool> abbruch{false};
    Uhr::time_point zuletztGefragt = Uhr::now();
    std::thread faden;
    QString arbeitsplatz; // only the workstation that started it reads or cancels it

    // Blocks while the client has many lines still to fetch.
    bool melden(const QString &zeile)
    {
        std::unique_lock sperre(m);
        geaendert.wait(sperre, [this] { return zeilen.size() < MaxWartend || abbruch; });
        if (abbruch)
            return false;
        zeilen.push_back(zeile);
        geaendert.notify_all();
        return true;
    }
    static constexpr size_t MaxWartend = 1000;
};

// The jobs of this server process. A job nobody asked about for a while
// (its client went away) is stopped and forgotten; only a few run at once.
class Auftraege
{
public:
    static constexpr int MaxLaufend = 8;
    static constexpr int MaxJePlatz = 2;

    ~Auftraege() { alleBeenden(); }

    static Auftraege &alle()
    {
        static Auftraege a;
        return a;
    }

    void setzeVerwaist(std::chrono::seconds zeit)
    {
        std::lock_guard sperre(m_m);
        m_verwaist = zeit;
        m_wecker.notify_all();
    }

    // Stops every job and the watch over them; the database they use may go
    // afterwards. Jobs started later run again under a new watch.
    void alleBeenden()
    {
        std::map<QString, std::shared_ptr<Auftrag>> alle;
        std::thread waechter;
        {
            std::lock_guard sperre(m_m);
            alle.swap(m_alle);
            waechter = std::move(m_waechter);
            m_ende = true;
            m_wecker.notify_all();
        }
        if (waechter.joinable())
            waechter.join();
        for (auto &[_, a] : alle)
            beenden(*a);
        std::lock_guard sperre(m_m);
        m_ende = false;
    }

    QString starten(const QString &arbeitsplatz, std::function<void(Auftrag &)> arbeit)
    {
        std::lock_guard sperre(m_m);
        aufraeumen();
        if (m_alle.size() >= size_t(MaxLaufend))
            throw AnfrageFehler::ungueltig(QStringLiteral("Es laufen schon %1 Vollständigkeitstests; bitte später noch einmal.").arg(MaxLaufend));
        // One workstation does not take every place.
        const auto eigene = std::count_if(m_alle.begin(), m_alle.end(), [&](const auto &a) { return a.second->arbeitsplatz == arbeitsplatz; });
        if (eigene >= MaxJePlatz)
            throw AnfrageFehler::ungueltig(
                QStringLiteral("An diesem Arbeitsplatz laufen schon %1 Vollständigkeitstests; bitte erst einen beenden.").arg(MaxJePlatz));
        // A job nobody asks about any more is forgotten by the clock, not
        // only when the next one starts.
        if (!m_waechter.joinable())
            m_waechter = std::thread([this] { wachen(); });
        auto a = std::make_shared<Auftrag>();
        a->arbeitsplatz = arbeitsplatz;
        // Not to be guessed: a handle is all another workstation would need.
        const QString id = QStringLiteral("VT") + QString::number(QRandomGenerator::system()->generate64(), 16) +
            QString::number(QRandomGenerator::system()->generate64(), 16);
        a->faden = std::thread([a, arbeit] {
            arbeit(*a);
            std::lock_guard s(a->m);
            a->fertig = true;
            a->geaendert.notify_all();
        });
        m_alle.emplace(id, a);
        return id;
    }

    // The next line, waiting up to a second for one: "RUN|" while there is
    // none yet. The job is forgotten once its last line was fetched.
    QString naechste(const QString &id, const QString &arbeitsplatz)
    {
        std::shared_ptr<Auftrag> a = finden(id, arbeitsplatz);
        if (!a)
            return QStringLiteral("ERR|Den Vollständigkeitstest %1 gibt es nicht (mehr).").arg(id);
        std::unique_lock sperre(a->m);
        a->zuletztGefragt = Uhr::now();
        a->geaendert.wait_for(sperre, std::chrono::seconds(1), [&a] { return !a->zeilen.empty() || a->fertig; });
        if (a->zeilen.empty())
            return a->fertig ? QStringLiteral("ERR|Der Vollständigkeitstest endete ohne Ergebnis.") : QStringLiteral("RUN|");
        const QString zeile = a->zeilen.front();
        a->zeilen.pop_front();
        a->geaendert.notify_all();
        const bool letzte = zeile.startsWith(QLatin1String("OK|")) || zeile.startsWith(QLatin1String("ERR|"));
        sperre.unlock();
        if (letzte)
            entfernen(id);
        return zeile;
    }

    void abbrechen(const QString &id, const QString &arbeitsplatz)
    {
        if (finden(id, arbeitsplatz))
            entfernen(id);
    }

private:
    static void beenden(Auftrag &a)
    {
        {
            std::lock_guard s(a.m);
            a.abbruch = true;
            a.geaendert.notify_all();
        }
        if (a.faden.joinable())
            a.faden.join();
    }

    std::shared_ptr<Auftrag> finden(const QString &id, const QString &arbeitsplatz)
    {
        std::lock_guard sperre(m_m);
        const auto it = m_alle.find(id);
        return it == m_alle.end() || it->second->arbeitsplatz != arbeitsplatz ? nullptr : it->second;
    }

    void entfernen(const QString &id)
    {
        std::shared_ptr<Auftrag> a;
        {
            std::lock_guard sperre(m_m);
            const auto it = m_alle.find(id);
            if (it == m_alle.end())
                return;
            a = it->second;
            m_alle.erase(it);
        }
        beenden(*a);
    }

    void wachen()
    {
        std::unique_lock sperre(m_m);
        while (!m_ende) {
            m_wecker.wait_for(sperre, std::min<std::chrono::seconds>(std::chrono::seconds(30), std::max(m_verwaist / 2, std::chrono::seconds(1))));
            if (!m_ende)
                aufraeumen();
        }
    }

    // Under m_m.
    void aufraeumen()
    {
        for (auto it = m_alle.begin(); it != m_alle.end();) {
            bool weg;
            {
                std::lock_guard s(it->second->m);
                weg = Uhr::now() - it->second->zuletztGefragt > m_verwaist;
            }
            if (weg) {
                beenden(*it->second);
                it = m_alle.erase(it);
            } else {
                ++it;
            }
        }
    }

    std::mutex m_m;
    std::map<QString, std::shared_ptr<Auftrag>> m_alle;
    std::chrono::seconds m_verwaist = VollstaendigkeitVerwaist;
    std::thread m_waechter;
    std::condition_variable m_wecker;
    bool m_ende = false;
};

QString nummernLuecke(qint64 von, qint64 bis)
{
    return von == bis ? QStringLiteral("Nummer %1 fehlt").arg(von) : QStringLiteral("Nummern %1 bis %2 fehlen (%3)").arg(von).arg(bis).arg(bis - von + 1);
}

// What one test covers: a type of a company in one business year.
struct Pruefbereich
{
    QVariant typ;
    QDate von, bis; // bis exclusive
};

// The type and the business year of the request, or the message why not.
std::variant<Pruefbereich, QString> bereichBestimmen(Datenbank &db, const QVariant &firma, const QString &belart, const QString &jahrText)
{
    bool zahl = false;
    const int jahr = jahrText.trimmed().toInt(&zahl);
    if (!zahl || jahr < 1900 || jahr > 2999)
        return QStringLiteral("\"%1\" ist kein Wirtschaftsjahr (z. B. 2026).").arg(jahrText);
    const QVariant typ = db.wert(QStringLiteral("SELECT id FROM ar_belart WHERE firma = ? AND belart = ?"), {firma, belart});
    if (!typ.isValid() || typ.isNull())
        return QStringLiteral("Die Belegart \"%1\" gibt es nicht.").arg(belart);
    const int beginn = qBound(1, db.wert(QStringLiteral("SELECT COALESCE(wjbeginn, 1) FROM ar_firma WHERE firma = ?"), {firma}).toInt(), 12);
    const QDate von(jahr, beginn, 1);
    return Pruefbereich{typ, von, von.addYears(1)};
}

// Gaps in the numbers (rows: number, date, number as integer, files); how
// many numbers are missing, nullopt when cancelled.
std::optional<qint64> nummernPruefen(Auftrag &a, const QList<SqlZeile> &belege)
{
    qint64 luecken = 0, vorige = -1;
    for (const SqlZeile &b : belege) {
        if (a.abbruch)
            return std::nullopt;
        if (b.at(2).isNull())
            continue;
        const qint64 n = b.at(2).toLongLong();
        if (vorige >= 0 && n > vorige + 1) {
            luecken += n - vorige - 1;
            if (!a.melden(QStringLiteral("RUN|") + nummernLuecke(vorige + 1, n - 1)))
                return std::nullopt;
        }
        vorige = qMax(vorige, n);
    }
    return luecken;
}

// Belege without a stored file; how many, nullopt when cancelled.
std::optional<qint64> dokumentePruefen(Auftrag &a, const QList<SqlZeile> &belege)
{
    qint64 ohne = 0;
    for (const SqlZeile &b : belege) {
        if (b.at(3).toLongLong() > 0)
            continue;
        ++ohne;
        const QString datum = QDate::fromString(b.at(1).toString().left(10), Qt::ISODate).toString(QStringLiteral("dd.MM.yyyy"));
        if (!a.melden(QStringLiteral("RUN|Beleg %1 vom %2 hat kein Dokument").arg(b.at(0).toString(), datum)))
            return std::nullopt;
    }
    return ohne;
}

// Each distinct file of the range once, read part by part and hashed by
// several readers at once (one reads from the database while another
// hashes): (faulty, checked), nullopt when cancelled.
std::optional<std::pair<qint64, qint64>> dateienPruefen(Auftrag &a, Datenbank &db, const Pruefbereich &p)
{
    const QList<SqlZeile> blobs = db.abfragen(
        QStringLiteral("SELECT e.dok_blob, min(d.belnr) FROM ar_dokuments e JOIN ar_dokumente d ON d.id = e.parent_id "
                       "WHERE d.idbelart = ? AND d.datum >= ? AND d.datum < ? AND e.dok_blob IS NOT NULL GROUP BY e.dok_blob"),
        {p.typ, p.von.toString(Qt::ISODate), p.bis.toString(Qt::ISODate)});
    std::vector<QString> probleme(size_t(blobs.size()));
    std::atomic<qsizetype> naechster{0};
    const auto leser = [&] {
        Datenbank::Ausleihe eigene(db);
        BlobSpeicher speicher(db);
        for (qsizetype i = naechster++; i < blobs.size() && !a.abbruch; i = naechster++) {
            const QString id = blobs.at(i).at(0).toString();
            Sha256 hash;
            bool da = false, lesbar = true;
            try {
                const std::optional<qint64> groesse = speicher.groesse(id);
                da = groesse && speicher.lesen(id, 0, *groesse, [&hash, &a](const QByteArray &teil) {
                         hash.addData(teil);
                         return !a.abbruch.load();
                     });
            } catch (const AnfrageFehler &) {
                lesbar = false; // parts missing
            }
            if (!da && lesbar)
                probleme[size_t(i)] = QStringLiteral("Datei von Beleg %1 fehlt (%2)");
            else if (!lesbar || hash.hex() != id)
                probleme[size_t(i)] = QStringLiteral("Datei von Beleg %1 ist beschädigt (%2)");
        }
    };
    std::vector<std::thread> faeden;
    const int anzahl = int(qBound(1u, std::thread::hardware_concurrency(), 4u));
    for (int t = 1; t < anzahl; ++t)
        faeden.emplace_back(leser);
    leser();
    for (std::thread &t : faeden)
        t.join();
    if (a.abbruch)
        return std::nullopt;
    qint64 fehlerhaft = 0;
    for (qsizetype i = 0; i < blobs.size(); ++i) {
        if (probleme[size_t(i)].isEmpty())
            continue;
        ++fehlerhaft;
        if (!a.melden(QStringLiteral("RUN|") + probleme[size_t(i)].arg(blobs.at(i).at(1).toString(), blobs.at(i).at(0).toString().left(12))))
            return std::nullopt;
    }
    return std::pair{fehlerhaft, qint64(blobs.size())};
}

// The test itself, on the job's thread with a connection of its own.
void pruefen(Auftrag &a, Datenbank &db, const QVariant &firma, const QString &belart, const QString &jahrText, bool dateien)
{
    const auto fehler = [&a](const QString &text) { a.melden(QStringLiteral("ERR|") + text); };
    try {
        Datenbank::Ausleihe verbindung(db);
        const auto bereich = bereichBestimmen(db, firma, belart, jahrText);
        if (const auto *warum = std::get_if<QString>(&bereich))
            return fehler(*warum);
        const Pruefbereich &p = std::get<Pruefbereich>(bereich);
        a.melden(QStringLiteral("RUN|Belegart %1, Wirtschaftsjahr %2: %3 bis %4")
                     .arg(belart, jahrText.trimmed(), p.von.toString(QStringLiteral("dd.MM.yyyy")),
                          p.bis.addDays(-1).toString(QStringLiteral("dd.MM.yyyy"))));
        const QList<SqlZeile> belege = db.abfragen(
            QStringLiteral("SELECT d.belnr, d.datum, %1, (SELECT count(*) FROM ar_dokuments e WHERE e.parent_id = d.id AND e.dok_blob IS NOT NULL) "
                           "FROM ar_dokumente d WHERE d.idbelart = ? AND d.datum >= ? AND d.datum < ? ORDER BY 3, d.belnr")
                .arg(db.ganzzahl(QStringLiteral("d.belnr"))),
            {p.typ, p.von.toString(Qt::ISODate), p.bis.toString(Qt::ISODate)});
        const std::optional<qint64> luecken = nummernPruefen(a, belege);
        const std::optional<qint64> ohneDokument = luecken ? dokumentePruefen(a, belege) : std::nullopt;
        if (!ohneDokument)
            return;
        QString summe = QStringLiteral("%1 Belege geprüft: %2 Nummern fehlen, %3 ohne Dokument").arg(belege.size()).arg(*luecken).arg(*ohneDokument);
        if (dateien) {
            const auto ergebnis = dateienPruefen(a, db, p);
            if (!ergebnis)
                return;
            summe += QStringLiteral(", %1 von %2 Dateien fehlerhaft").arg(ergebnis->first).arg(ergebnis->second);
        }
        a.melden(QStringLiteral("OK|") + summe);
    } catch (const std::exception &e) {
        fehler(QStringLiteral("Der Test ist fehlgeschlagen: %1").arg(QString::fromUtf8(e.what())));
    }
}

} // namespace

void vollstaendigkeitstestsBeenden()
{
    Auftraege::alle().alleBeenden();
}

void setzeVollstaendigkeitVerwaist(std::chrono::seconds zeit)
{
    Auftraege::alle().setzeVerwaist(zeit);
}

void registriereVollstaendigkeit(Registry &r)
{
    // Type key, business year, company, and "1" to read every file back.
    r.methode({"AR.Dokumente", "VTestStart", 2, 4, [](Kontext &k, const QStringList &args, const QString &) {
                   Datenbank &db = k.db;
                   const QVariant firma = args.size() > 2 && !args.at(2).isEmpty() ? firmaArg(args, 2) : QVariant(1);
                   const QString belart = args.at(0).trimmed();
                   const QString jahr = args.at(1);
                   const bool dateien = args.size() > 3 && args.at(3) == QLatin1String("1");
                   const QString id = Auftraege::alle().starten(
                       Anfragekontext::aktuell().arbeitsplatz,
                       [&db, firma, belart, jahr, dateien](Auftrag &a) { pruefen(a, db, firma, belart, jahr, dateien); });
                   return protokoll::AufrufErgebnis{id, std::nullopt};
               }});
    r.methode({"AR.Dokumente", "VTestErg", 1, 1, [](Kontext &, const QStringList &args, const QString &) {
                   return protokoll::AufrufErgebnis{Auftraege::alle().naechste(args.at(0), Anfragekontext::aktuell().arbeitsplatz),
                                                    std::nullopt};
               }});
    r.methode({"AR.Dokumente", "vtestcancel", 1, 1, [](Kontext &, const QStringList &args, const QString &) {
                   Auftraege::alle().abbrechen(args.at(0), Anfragekontext::aktuell().arbeitsplatz);
                   return protokoll::AufrufErgebnis{QString(), std::nullopt};
               }});
}

} // namespace archiv::archivd
