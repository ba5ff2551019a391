#pragma once

#include <QList>
#include <QString>

#include <chrono>

namespace archiv::archivd {

class Datenbank;
class ObjektSpeicher;

// Files a workstation uploaded that no save refers to yet. Each upload is on
// record until a save refers to its file; a workstation may have at most
// MaxOffenJePlatz of them, and what no save took within Frist is removed
// (the removal in the audit trail). A file any object refers to, now or in
// a document's history, is never removed.
class Hochladungen
{
public:
    explicit Hochladungen(Datenbank &db) : m_db(db) { }

    static constexpr qint64 MaxOffenJePlatz = 2LL * 1024 * 1024 * 1024;
    static constexpr std::chrono::hours Frist{24};

    // Bytes of the workstation's uploads no save refers to yet.
    qint64 offen(const QString &arbeitsplatz);
    // In the caller's transaction.
    void vermerken(const QString &blob, const QString &arbeitsplatz, qint64 groesse);
    // A save refers to the file: its uploads are no longer open.
    void gespeichert(const QString &blob);

    struct Liegengeblieben
    {
        QString blob;
        QString arbeitsplatz;
        qint64 groesse = 0;
        QString zeit;
    };
    // Uploads older than Frist whose file nothing refers to.
    QList<Liegengeblieben> liegengeblieben();
    // Removes them, each with an entry in the audit trail; how many.
    int aufraeumen(ObjektSpeicher &objekte);

private:
    bool verwendet(const QString &blob);
    Datenbank &m_db;
};

} // namespace archiv::archivd
