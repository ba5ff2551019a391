#include "storage/Datenbank.h"

#include "Fehler.h"
#include "storage/Migrationen.h"
#include "storage/PostgresDatenbank.h"
#include "storage/SqliteDatenbank.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <atomic>
#include <sstream>
#include <unordered_map>

namespace archiv::archivd {

struct Datenbank::Slot
{
    struct Vorbereitet
    {
        std::unique_ptr<QSqlQuery> abfrage;
        quint64 zuletzt = 0;
    };
    QString name;
    QSqlDatabase db;
    std::unordered_map<QString, Vorbereitet> abfragen;
    quint64 uhr = 0;
    bool inTransaktion = false;
    std::vector<std::pair<QString, std::function<void()>>> vorCommit;
    bool fraglich = false; // a statement failed: the connection may be gone

    ~Slot()
    {
        abfragen.clear();
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};

std::unique_ptr<Datenbank> Datenbank::oeffnen(const QString &ort)
{
    std::unique_ptr<Datenbank> db;
    if (ort.startsWith(QLatin1String("postgresql://")) || ort.startsWith(QLatin1String("postgres://")))
        db = std::make_unique<PostgresDatenbank>(ort);
    else
        db = std::make_unique<SqliteDatenbank>(ort);
    db->verbindung(); // fail early when the database cannot be opened
    return db;
}

Datenbank::Datenbank() = default;
Datenbank::~Datenbank() = default;

namespace {

// The connection this thread has borrowed, with the database it belongs to.
thread_local std::pair<const Datenbank *, Datenbank::Slot *> t_geliehen{nullptr, nullptr};

} // namespace

std::unique_ptr<Datenbank::Slot> Datenbank::neuerSlot()
{
    static std::atomic<int> zaehler{0};
    auto neu = std::make_unique<Slot>();
    neu->name = QStringLiteral("archivd-%1").arg(++zaehler);
    neu->db = neueVerbindung(neu->name);
    if (!neu->db.open()) {
        qCritical().noquote() << "archivd: Datenbank" << beschreibung() << "lässt sich nicht öffnen:" << neu->db.lastError().text();
        throw AnfrageFehler::speicher(QStringLiteral("Die Datenbank lässt sich nicht öffnen"));
    }
    einrichten(neu->db);
    return neu;
}

Datenbank::Slot &Datenbank::slot()
{
    if (t_geliehen.first == this)
        return *t_geliehen.second;
    std::lock_guard lock(m_slotsMutex);
    auto &s = m_slots[std::this_thread::get_id()];
    if (!s) {
        s = neuerSlot();
    } else if (s->fraglich && !s->inTransaktion) {
        // A thread's own connection that lost its database is opened anew.
        if (!lebt(s->db)) {
            qWarning().noquote() << "archivd: Verbindung zur Datenbank" << beschreibung() << "verloren, sie wird neu geöffnet";
            s.reset();
            s = neuerSlot();
        }
        s->fraglich = false;
    }
    return *s;
}

bool Datenbank::lebt(QSqlDatabase &db)
{
    QSqlQuery q(db);
    return db.isOpen() && q.exec(QStringLiteral("SELECT 1"));
}

Datenbank::Poolstand Datenbank::poolStand()
{
    std::lock_guard lock(m_poolMutex);
    return {m_poolErzeugt, int(m_pool.size())};
}

Datenbank::Ausleihe::Ausleihe(Datenbank &db)
{
    if (t_geliehen.first == &db)
        return;
    std::unique_ptr<Slot> slot;
    {
        std::unique_lock lock(db.m_poolMutex);
        db.m_poolFrei.wait(lock, [&db] { return !db.m_pool.empty() || db.m_poolErzeugt < MaxVerbindungen; });
        if (!db.m_pool.empty()) {
            slot = std::move(db.m_pool.back());
            db.m_pool.pop_back();
        } else {
            ++db.m_poolErzeugt;
        }
    }
    if (!slot) {
        try {
            slot = db.neuerSlot();
        } catch (...) {
            std::lock_guard lock(db.m_poolMutex);
            --db.m_poolErzeugt;
            db.m_poolFrei.notify_one();
            throw;
        }
    }
    t_geliehen = {&db, slot.release()};
    m_db = &db;
}

Datenbank::Ausleihe::~Ausleihe()
{
    if (!m_db)
        return;
    std::unique_ptr<Slot> slot(t_geliehen.second);
    t_geliehen = {nullptr, nullptr};
    const bool tot = slot->fraglich && !m_db->lebt(slot->db);
    slot->fraglich = false;
    std::vector<std::unique_ptr<Slot>> verworfen; // closed once the pool is free again
    std::lock_guard lock(m_db->m_poolMutex);
    if (!tot) {
        m_db->m_pool.push_back(std::move(slot));
        m_db->m_poolFrei.notify_one();
        return;
    }
    // The database server went away, a restart perhaps: the idle connections
    // went with this one, and the next requests open new ones instead of
    // failing on them one by one.
    verworfen.push_back(std::move(slot));
    for (std::unique_ptr<Slot> &frei : m_db->m_pool)
        verworfen.push_back(std::move(frei));
    m_db->m_pool.clear();
    m_db->m_poolErzeugt -= int(verworfen.size());
    m_db->m_poolFrei.notify_all();
    qWarning().noquote() << "archivd: Verbindung zur Datenbank" << m_db->beschreibung() << "verloren;" << verworfen.size()
                         << "Verbindungen des Pools werden neu geöffnet";
}

QSqlDatabase &Datenbank::verbindung()
{
    return slot().db;
}

namespace {

// The database's own words stay in the server's log; the client learns that
// the database refused, and which kind of refusal it was.
[[noreturn]] void datenbankFehler(const QSqlError &fehler, const QString &sql)
{
    qCritical().noquote() << "archivd: SQL-Fehler:" << fehler.text() << "bei:" << sql.left(400);
    const QString text = fehler.databaseText().toLower() + fehler.driverText().toLower();
    if (text.contains(QLatin1String("foreign key")))
        throw AnfrageFehler::konflikt(QStringLiteral("Das Objekt wird noch von anderen Daten verwendet"));
    if (text.contains(QLatin1String("unique")) || text.contains(QLatin1String("duplicate key")))
        throw AnfrageFehler::konflikt(QStringLiteral("Ein Objekt mit diesem Schlüssel gibt es schon"));
    throw AnfrageFehler::speicher(QStringLiteral("Die Datenbank konnte die Anfrage nicht ausführen"));
}

} // namespace

void Datenbank::fehler(const QSqlError &fehler, const QString &sql)
{
    slot().fraglich = true;
    datenbankFehler(fehler, sql);
}

// Binds and runs a prepared statement; the caller finishes it.
QSqlQuery &Datenbank::starten(QSqlQuery &q, const QVariantList &werte)
{
    for (int i = 0; i < werte.size(); ++i)
        q.bindValue(i, werte.at(i));
    if (!q.exec()) {
        const QSqlError f = q.lastError();
        q.finish();
        fehler(f, q.lastQuery());
    }
    return q;
}

QSqlQuery &Datenbank::vorbereitet(const QString &sql)
{
    Slot &s = slot();
    auto it = s.abfragen.find(sql);
    if (it != s.abfragen.end()) {
        it->second.zuletzt = ++s.uhr;
        return *it->second.abfrage;
    }
    if (s.abfragen.size() >= size_t(MaxVorbereitet)) {
        auto aeltestes = s.abfragen.begin();
        for (auto i = s.abfragen.begin(); i != s.abfragen.end(); ++i)
            if (i->second.zuletzt < aeltestes->second.zuletzt)
                aeltestes = i;
        s.abfragen.erase(aeltestes);
    }
    auto q = std::make_unique<QSqlQuery>(s.db);
    q->setForwardOnly(true);
    if (!q->prepare(dialekt(sql)))
        fehler(q->lastError(), sql);
    QSqlQuery &ergebnis = *q;
    s.abfragen.emplace(sql, Slot::Vorbereitet{std::move(q), ++s.uhr});
    return ergebnis;
}

int Datenbank::vorbereiteteAnzahl()
{
    return int(slot().abfragen.size());
}

QString Datenbank::liste(const QVariantList &werte)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromVariantList(werte)).toJson(QJsonDocument::Compact));
}

QList<SqlZeile> Datenbank::abfragen(const QString &sql, const QVariantList &werte)
{
    QSqlQuery &q = starten(vorbereitet(sql), werte);
    QList<SqlZeile> zeilen;
    const int spalten = q.record().count();
    while (q.next()) {
        SqlZeile z;
        z.reserve(spalten);
        for (int i = 0; i < spalten; ++i)
            z.append(q.value(i));
        zeilen.append(std::move(z));
    }
    q.finish();
    return zeilen;
}

qint64 Datenbank::ausfuehren(const QString &sql, const QVariantList &werte)
{
    QSqlQuery &q = starten(vorbereitet(sql), werte);
    const qint64 n = q.numRowsAffected();
    q.finish();
    return n;
}

QVariant Datenbank::wert(const QString &sql, const QVariantList &werte)
{
    const auto zeilen = abfragen(sql, werte);
    return zeilen.isEmpty() || zeilen.first().isEmpty() ? QVariant() : zeilen.first().first();
}

void Datenbank::schemaAnweisung(const QString &sql)
{
    // Schema statements cannot be prepared on every database and run once.
    QSqlQuery q(verbindung());
    if (!q.exec(dialekt(sql))) {
        slot().fraglich = true;
        throw AnfrageFehler::speicher(QStringLiteral("SQL-Fehler: %1").arg(q.lastError().text()));
    }
}

int Datenbank::schemaVersion()
{
    schemaAnweisung(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"));
    return wert(QStringLiteral("SELECT COALESCE(MAX(version), 0) FROM schema_version")).toInt();
}

void Datenbank::migrieren()
{
    Transaktion t(*this);
    if (art() == Art::Postgres) // several servers may start at once
        wert(QStringLiteral("SELECT pg_advisory_xact_lock(1972)"));
    const int stand = schemaVersion();
    const QList<Migration> &alle = migrationen();
    for (const Migration &m : alle) {
        if (m.nummer <= stand)
            continue;
        for (const QString &anweisung : m.anweisungen + (art() == Art::Postgres ? m.nurPostgres : m.nurSqlite)) {
            try {
                schemaAnweisung(anweisung);
            } catch (const AnfrageFehler &f) {
                throw AnfrageFehler::speicher(QStringLiteral("Migration %1: %2").arg(m.nummer).arg(f.meldung()));
            }
        }
        if (m.daten)
            m.daten(*this);
        ausfuehren(QStringLiteral("INSERT INTO schema_version (version) VALUES (?)"), {m.nummer});
    }
    t.bestaetigen();
}

bool Datenbank::istLeer()
{
    return wert(QStringLiteral("SELECT COUNT(*) FROM ar_firma")).toLongLong() == 0;
}

bool Datenbank::inTransaktion()
{
    return slot().inTransaktion;
}

bool Datenbank::vorDemCommit(const QString &name, std::function<void()> arbeit)
{
    Slot &s = slot();
    if (!s.inTransaktion)
        throw AnfrageFehler::speicher(QStringLiteral("%1: keine offene Transaktion").arg(name));
    for (const auto &[n, a] : s.vorCommit)
        if (n == name)
            return false;
    s.vorCommit.emplace_back(name, std::move(arbeit));
    return true;
}

Transaktion::Transaktion(Datenbank &db) : m_db(db)
{
    if (std::mutex *m = db.schreibSperre())
        m_sperre = std::unique_lock(*m);
    try {
        db.beginnen(db.verbindung());
    } catch (...) {
        db.slot().fraglich = true;
        throw;
    }
    m_offen = true;
    Datenbank::Slot &s = db.slot();
    s.inTransaktion = true;
    s.vorCommit.clear();
}

Transaktion::~Transaktion()
{
    if (m_offen) {
        Datenbank::Slot &s = m_db.slot();
        s.inTransaktion = false;
        s.vorCommit.clear();
        m_db.verbindung().rollback();
    }
}

void Transaktion::bestaetigen()
{
    Datenbank::Slot &s = m_db.slot();
    // Work added while the last runs is done too.
    for (std::size_t i = 0; i < s.vorCommit.size(); ++i) {
        const std::function<void()> arbeit = s.vorCommit.at(i).second;
        arbeit();
    }
    s.vorCommit.clear();
    s.inTransaktion = false;
    if (!m_db.verbindung().commit()) {
        s.fraglich = true;
        qCritical().noquote() << "archivd: Commit fehlgeschlagen:" << m_db.verbindung().lastError().text();
        throw AnfrageFehler::speicher(QStringLiteral("Die Änderung ließ sich nicht speichern"));
    }
    m_offen = false;
    if (m_sperre.owns_lock())
        m_sperre.unlock();
}

} // namespace archiv::archivd
