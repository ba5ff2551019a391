#include "storage/Hochladungen.h"

#include "model/Modell.h"
#include "storage/Datenbank.h"
#include "storage/ObjektSpeicher.h"

#include <QDateTime>

namespace archiv::archivd {

namespace {

QString zeitpunkt(const QDateTime &t)
{
    return t.toString(Qt::ISODateWithMs);
}

} // namespace

qint64 Hochladungen::offen(const QString &arbeitsplatz)
{
    return m_db.wert(QStringLiteral("SELECT COALESCE(SUM(groesse), 0) FROM ar_hochladung WHERE arbeitsplatz = ?"), {arbeitsplatz})
        .toLongLong();
}

void Hochladungen::vermerken(const QString &blob, const QString &arbeitsplatz, qint64 groesse)
{
    // A file some object holds already is no open upload.
    if (verwendet(blob))
        return;
    m_db.ausfuehren(QStringLiteral("INSERT INTO ar_hochladung (blob, arbeitsplatz, groesse, zeit) VALUES (?, ?, ?, ?)"),
                    {blob, arbeitsplatz, groesse, zeitpunkt(QDateTime::currentDateTimeUtc())});
}

void Hochladungen::gespeichert(const QString &blob)
{
    m_db.ausfuehren(QStringLiteral("DELETE FROM ar_hochladung WHERE blob = ?"), {blob});
}

bool Hochladungen::verwendet(const QString &blob)
{
    return m_db
        .wert(QStringLiteral("SELECT CASE WHEN EXISTS (SELECT 1 FROM ar_dokuments WHERE dok_blob = ?) OR EXISTS (SELECT 1 FROM ar_scandat "
                             "WHERE dok_blob = ?) OR EXISTS (SELECT 1 FROM stream_history WHERE blob = ?) THEN 1 ELSE 0 END"),
              {blob, blob, blob})
        .toInt() == 1;
}

QList<Hochladungen::Liegengeblieben> Hochladungen::liegengeblieben()
{
    const QString grenze = zeitpunkt(QDateTime::currentDateTimeUtc().addSecs(-std::chrono::seconds(Frist).count()));
    QList<Liegengeblieben> liste;
    for (const SqlZeile &z : m_db.abfragen(QStringLiteral("SELECT blob, arbeitsplatz, groesse, zeit FROM ar_hochladung h WHERE zeit < ? "
                                                          "AND NOT EXISTS (SELECT 1 FROM ar_hochladung j WHERE j.blob = h.blob AND j.zeit >= ?) "
                                                          "ORDER BY zeit LIMIT 10000"),
                                           {grenze, grenze})) {
        const QString blob = z.at(0).toString();
        if (!verwendet(blob))
            liste.append({blob, z.at(1).toString(), z.at(2).toLongLong(), z.at(3).toString()});
    }
    return liste;
}

int Hochladungen::aufraeumen(ObjektSpeicher &objekte)
{
    int entfernt = 0;
    for (const Liegengeblieben &l : liegengeblieben()) {
        Transaktion t(m_db);
        if (verwendet(l.blob)) {
            gespeichert(l.blob);
        } else {
            m_db.ausfuehren(QStringLiteral("DELETE FROM ar_hochladung WHERE blob = ?"), {l.blob});
            m_db.ausfuehren(QStringLiteral("DELETE FROM blob_teile WHERE sha256 = ?"), {l.blob});
            m_db.ausfuehren(QStringLiteral("DELETE FROM blobs WHERE sha256 = ?"), {l.blob});
            Klasse datei{QLatin1String(Archiv), QStringLiteral("Datei"), QString(), {}, {}, {}};
            objekte.vermerken(datei, l.blob,
                              QStringLiteral("entfernt: hochgeladen von %1 am %2, %3 Bytes, nie gespeichert").arg(l.arbeitsplatz, l.zeit).arg(l.groesse),
                              0, 0, {l.blob});
            ++entfernt;
        }
        t.bestaetigen();
    }
    return entfernt;
}

} // namespace archiv::archivd
