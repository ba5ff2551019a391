#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

class QSqlError;
class QSqlQuery;

namespace archiv::archivd {

using SqlZeile = QVariantList;

// One storage interface, one subclass per database. Each thread gets its own
// connection with its own cache of prepared statements; all SQL is bound.
class Datenbank
{
public:
    enum class Art { Sqlite, Postgres };

    // A file path (SQLite) or a postgresql:// URL.
    static std::unique_ptr<Datenbank> oeffnen(const QString &ort);
    virtual ~Datenbank();
    Datenbank(const Datenbank &) = delete;
    Datenbank &operator=(const Datenbank &) = delete;

    virtual Art art() const = 0;
    virtual QString beschreibung() const = 0;

    // Runs a statement; "%ID%", "%BLOB%" and "%BIGINT%" are replaced by the
    // database's own types. A list goes in as one bound value: "x IN
    // (%TEXTLISTE%)" or "(%ZAHLLISTE%)" with liste(...) bound in its place,
    // so that lists of any length share one statement. Throws AnfrageFehler
    // on failure; the database's own words go to the log, not the caller.
    QList<SqlZeile> abfragen(const QString &sql, const QVariantList &werte = {});
    qint64 ausfuehren(const QString &sql, const QVariantList &werte = {}); // rows changed
    QVariant wert(const QString &sql, const QVariantList &werte = {}); // first column of first row

    // The value bound for %TEXTLISTE% or %ZAHLLISTE%.
    static QString liste(const QVariantList &werte);

    // Prepared statements kept per connection; at most MaxVorbereitet, the
    // least recently used goes first.
    static constexpr int MaxVorbereitet = 64;
    int vorbereiteteAnzahl();

    // A connection of the pool for one request: the server's many workers
    // share at most MaxVerbindungen database connections, a worker waiting
    // while all are lent. Without one a thread uses a connection of its own
    // (the administration commands, the demo generator).
    static constexpr int MaxVerbindungen = 32;
    struct Poolstand
    {
        int erzeugt = 0, frei = 0;
    };
    Poolstand poolStand();
    class Ausleihe
    {
    public:
        explicit Ausleihe(Datenbank &db);
        ~Ausleihe();
        Ausleihe(const Ausleihe &) = delete;
        Ausleihe &operator=(const Ausleihe &) = delete;

    private:
        Datenbank *m_db = nullptr; // null when this thread had one already
    };

    // Whether this thread's connection is inside a Transaktion.
    bool inTransaktion();
    // Work the open transaction does just before it commits, once per name
    // however often it is asked for (the audit trail's chain takes its head
    // last, so concurrent writers hold that lock only for the commit). True
    // when it was not asked for yet in this transaction. A rollback drops it.
    bool vorDemCommit(const QString &name, std::function<void()> arbeit);

    void migrieren();
    int schemaVersion();
    bool istLeer();

    // Makes the next automatic id of a table at least n (the demo uses it so
    // that ids beyond 16 bits occur from the start).
    virtual void setzeNaechsteId(const QString &tabelle, qint64 n) = 0;
    virtual bool pruefeIntegritaet(QString *bericht) = 0;

    // SQL for the whole-number value of a text column: NULL unless the text
    // is digits only (document numbers like "10023/1" are no numbers).
    virtual QString ganzzahl(const QString &spalte) const = 0;

    // Refreshes the planner's statistics (after bulk loads).
    virtual void optimieren() = 0;

protected:
    friend class Transaktion;
    Datenbank();

    virtual QSqlDatabase neueVerbindung(const QString &name) = 0;
    virtual void einrichten(QSqlDatabase &db) = 0;
    virtual QString dialekt(QString sql) const = 0;
    virtual void beginnen(QSqlDatabase &db) = 0;
    virtual std::mutex *schreibSperre() { return nullptr; }
    // Whether a connection a statement failed on still reaches its database
    // (a database server restarted ends every connection it had).
    virtual bool lebt(QSqlDatabase &db);

    QSqlDatabase &verbindung();
    void schemaAnweisung(const QString &sql);

public:
    struct Slot; // one connection with its prepared statements

private:
    Slot &slot();
    std::unique_ptr<Slot> neuerSlot();
    [[noreturn]] void fehler(const QSqlError &fehler, const QString &sql);
    QSqlQuery &starten(QSqlQuery &q, const QVariantList &werte);
    QSqlQuery &vorbereitet(const QString &sql);

    std::mutex m_slotsMutex;
    std::unordered_map<std::thread::id, std::unique_ptr<Slot>> m_slots;
    std::mutex m_poolMutex;
    std::condition_variable m_poolFrei;
    std::vector<std::unique_ptr<Slot>> m_pool; // free connections
    int m_poolErzeugt = 0;
};

// A write transaction that rolls back unless committed.
class Transaktion
{
public:
    explicit Transaktion(Datenbank &db);
    ~Transaktion();
    Transaktion(const Transaktion &) = delete;
    Transaktion &operator=(const Transaktion &) = delete;

    void bestaetigen();

private:
    Datenbank &m_db;
    std::unique_lock<std::mutex> m_sperre;
    bool m_offen = false;
};

} // namespace archiv::archivd
