// The restore drill against real archivd runs, on SQLite and
// (ARCHIV_TEST_DB=postgres) PostgreSQL: a demo archive, a day's saves, a
// backup in several volumes, more saves and a second backup, the master
// data exported; restored into an empty archive, every Beleg, document file
// (byte for byte) and index value is the original's newest state, and the
// new archive passes "check" and "verify". A damaged volume stops the
// restore before anything is written, unless its Belege are to be left out.
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "storage/BlobSpeicher.h"
#include "storage/Datenbank.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/PostgresCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace archiv;
using archiv::test::ArchivServer;
using archiv::test::Belegbau;

namespace {

QByteArray pdf(const QString &text)
{
    return QStringLiteral("%PDF-1.4\n%% %1\n%%EOF\n").arg(text).toUtf8();
}

// Every Beleg of an archive by company, type and number: header, documents
// (kind, text, date, name, file hash) and index values, as text.
QMap<QString, QStringList> belege(archivd::Datenbank &db)
{
    QMap<QString, QStringList> m;
    for (const archivd::SqlZeile &z : db.abfragen(QStringLiteral(
             "SELECT d.id, d.firma, b.belart, d.belnr, d.datum, d.zeit, d.privatjn, d.text, d.storno FROM ar_dokumente d "
             "JOIN ar_belart b ON b.id = d.idbelart"))) {
        QStringList s;
        for (int i = 1; i < z.size(); ++i)
            s << z.at(i).toString();
        for (const archivd::SqlZeile &e : db.abfragen(QStringLiteral("SELECT position, doktyp, doktext, daterst, dateiname, bericht, dok_blob "
                                                                     "FROM ar_dokuments WHERE parent_id = ? ORDER BY position"),
                                                      {z.at(0)}))
            s << QStringLiteral("Dok %1|%2|%3|%4|%5|%6|%7")
                     .arg(e.at(0).toString(), e.at(1).toString(), e.at(2).toString(), e.at(3).toString(), e.at(4).toString(),
                          e.at(5).toString(), e.at(6).toString());
        QStringList werte;
        for (const archivd::SqlZeile &w : db.abfragen(QStringLiteral("SELECT firma, eigenschaft, wert FROM ar_extind WHERE iddokumente = ?"), {z.at(0)}))
            werte << QStringLiteral("Wert %1|%2|%3").arg(w.at(0).toString(), w.at(1).toString(), w.at(2).toString());
        werte.sort();
        m.insert(s.mid(0, 3).join(u'|'), s + werte);
    }
    return m;
}

} // namespace

class TestWiederherstellung : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<ArchivServer> m_server;
    QStringList m_baende;
    QString m_stammdaten;
    QString m_geaendert; // a Beleg in both backups: the second holds its newest state

    static int archivd(const QStringList &args, QString *ausgabe = nullptr) { return ArchivServer::archivd(args, ausgabe); }

    QStringList baende(const QString &ordner)
    {
        QStringList l;
        for (const QString &n : QDir(ordner).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            l << QDir(ordner).filePath(n);
        return l;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 40);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        // Every Beleg due for the volumes (the demo records some on DVDs).
        archivd::Datenbank::oeffnen(m_server->dbPfad())->ausfuehren(QStringLiteral("DELETE FROM ar_sicherung"));
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        Belegbau bau(v);
        m_geaendert = bau.anlegen(QStringLiteral("ER"), QStringLiteral("WH-1"),
                                  {{QStringLiteral("tif"), QStringLiteral("Seite 1"), Belegbau::tiff(3)},
                                   {QStringLiteral("pdf"), {}, pdf(QStringLiteral("Rechnung")), QStringLiteral("2026-11-30"),
                                    QStringLiteral("Rechnung Müller & Söhne – März.pdf")}},
                                  {{22, QStringLiteral("Überweisung")}, {6, QStringLiteral("Größe ß")}});
        bau.anlegen(QStringLiteral("LS"), QStringLiteral("WH-2"), {{QStringLiteral("tif"), {}, Belegbau::tiff(1)}});
        QString ausgabe;
        const QString ziel = m_dir.filePath(QStringLiteral("Sicherung März"));
        QVERIFY(QDir().mkpath(ziel));
        QCOMPARE(archivd({"backup", "--ziel", ziel, "--band-groesse", "300000", "--db", m_server->dbPfad()}, &ausgabe), 0);
        QVERIFY2(baende(ziel).size() > 2, qPrintable(ausgabe));
        // Changed after the backup: a new version of its page file, a value changed.
        server::Objekt b = v.OpenId(QStringLiteral("AR.Dokumente"), m_geaendert);
        b.set(QStringLiteral("Text"), QStringLiteral("nach der Sicherung geändert"));
        b.indexwertSetzen(QStringLiteral("1"), 22, QStringLiteral("Bar"));
        b.sammlung(QStringLiteral("Doks")).getat(1).strom(QStringLiteral("dok")).Write(Belegbau::tiff(4));
        QCOMPARE(b.SYS_Save(), 1);
        // The second backup takes the Beleg again, in a volume written later.
        QTest::qWait(1100);
        QCOMPARE(archivd({"backup", "--ziel", ziel, "--name", "Nachtrag", "--db", m_server->dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral(": 1 Belege")), qPrintable(ausgabe));
        m_baende = baende(ziel);
        m_stammdaten = m_dir.filePath(QStringLiteral("stammdaten.json"));
        QCOMPARE(archivd({"export", "--ziel", m_stammdaten, "--db", m_server->dbPfad()}, &ausgabe), 0);
        QFile st(m_stammdaten);
        QVERIFY(st.open(QIODevice::ReadOnly));
        QVERIFY2(!st.readAll().contains("passwort"), "the export holds passwords");
    }

    void ganzeUebung()
    {
        const QString neu = ArchivServer::leeresArchiv(m_dir.filePath(QStringLiteral("wieder hergestellt.sqlite")));
        QVERIFY(!neu.isEmpty());
        QString ausgabe;
        QCOMPARE(archivd(QStringList{"restore", "--ziel", neu, "--stammdaten", m_stammdaten} + m_baende, &ausgabe), 0);
        auto alt = archivd::Datenbank::oeffnen(m_server->dbPfad());
        auto wieder = archivd::Datenbank::oeffnen(neu);
        const QMap<QString, QStringList> vorher = belege(*alt);
        const QMap<QString, QStringList> nachher = belege(*wieder);
        QCOMPARE(nachher.keys(), vorher.keys());
        for (auto it = vorher.cbegin(); it != vorher.cend(); ++it)
            QCOMPARE(nachher.value(it.key()), it.value());
        QVERIFY(nachher.value(QStringLiteral("1|ER|WH-1")).contains(QStringLiteral("nach der Sicherung geändert")));
        // The files byte for byte, not only by their names.
        archivd::BlobSpeicher altBlobs(*alt), neuBlobs(*wieder);
        for (const archivd::SqlZeile &z : alt->abfragen(QStringLiteral("SELECT dok_blob FROM ar_dokuments WHERE parent_id = ? ORDER BY position"),
                                                        {m_geaendert.toLongLong()}))
            QCOMPARE(neuBlobs.holen(z.at(0).toString()), altBlobs.holen(z.at(0).toString()));
        // Master data came along, and the label counters with it.
        QCOMPARE(wieder->wert(QStringLiteral("SELECT count(*) FROM ar_kund")), alt->wert(QStringLiteral("SELECT count(*) FROM ar_kund")));
        QCOMPARE(wieder->wert(QStringLiteral("SELECT SUM(lastbelnrbarc) FROM ar_belart")).toLongLong(),
                 alt->wert(QStringLiteral("SELECT SUM(lastbelnrbarc) FROM ar_belart")).toLongLong());
        QCOMPARE(archivd({"verify", "--db", neu}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("alles unverändert")), qPrintable(ausgabe));
        QCOMPARE(archivd({"check", "--db", neu}, &ausgabe), 0);
        // Its trail begins with one restore entry per Beleg.
        QCOMPARE(wieder->wert(QStringLiteral("SELECT count(*) FROM ar_protokoll WHERE aktion LIKE 'wiederhergestellt aus %'")).toLongLong(),
                 qint64(vorher.size()));
        // Restored once: a second restore into it is refused.
        QVERIFY(archivd(QStringList{"restore", "--ziel", neu, "--stammdaten", m_stammdaten} + m_baende, &ausgabe) != 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("enthält schon Daten")), qPrintable(ausgabe));
    }

    void beschaedigterBand()
    {
        // A copy of the volumes with one page file changed.
        const QString kopie = m_dir.filePath(QStringLiteral("kopie"));
        QStringList baende;
        QString opfer;
        for (const QString &band : std::as_const(m_baende)) {
            const QString ziel = QDir(kopie).filePath(QFileInfo(band).fileName());
            QVERIFY(QDir().mkpath(ziel));
            QProcess cp;
            cp.start(QStringLiteral("cp"), {QStringLiteral("-r"), band + QStringLiteral("/."), ziel});
            QVERIFY(cp.waitForFinished() && cp.exitCode() == 0);
            baende << ziel;
        }
        for (const QString &band : std::as_const(baende)) {
            QDir belegeDir(QDir(band).filePath(QStringLiteral("belege")));
            const QStringList ids = belegeDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            if (!ids.isEmpty() && opfer.isEmpty()) {
                QFile f(QDir(belegeDir.filePath(ids.first())).filePath(QStringLiteral("1.tif")));
                if (f.exists() && f.open(QIODevice::ReadWrite)) {
                    f.seek(100);
                    f.write("beschädigt");
                    opfer = band;
                }
            }
        }
        QVERIFY(!opfer.isEmpty());
        const QString neu = ArchivServer::leeresArchiv(m_dir.filePath(QStringLiteral("teilweise.sqlite")));
        QString ausgabe;
        QCOMPARE(archivd(QStringList{"restore", "--ziel", neu, "--stammdaten", m_stammdaten} + baende, &ausgabe), 1);
        QVERIFY2(ausgabe.contains(QStringLiteral("beschädigt: belege/")) && ausgabe.contains(QStringLiteral("nichts geschrieben")), qPrintable(ausgabe));
        QCOMPARE(archivd::Datenbank::oeffnen(neu)->wert(QStringLiteral("SELECT count(*) FROM ar_dokumente")).toLongLong(), 0);
        QCOMPARE(archivd(QStringList{"restore", "--teilweise", "--ziel", neu, "--stammdaten", m_stammdaten} + baende, &ausgabe), 1);
        QVERIFY2(ausgabe.contains(QStringLiteral("ausgelassen: Beleg")), qPrintable(ausgabe));
        auto db = archivd::Datenbank::oeffnen(neu);
        QCOMPARE(db->wert(QStringLiteral("SELECT count(*) FROM ar_dokumente")).toLongLong(),
                 archivd::Datenbank::oeffnen(m_server->dbPfad())->wert(QStringLiteral("SELECT count(*) FROM ar_dokumente")).toLongLong() - 1);
        QCOMPARE(archivd({"verify", "--db", neu}, &ausgabe), 0);
        // Not a volume at all.
        QVERIFY(archivd({"restore", "--ziel", m_dir.filePath(QStringLiteral("x.sqlite")), m_dir.path()}, &ausgabe) != 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("MANIFEST")), qPrintable(ausgabe));
    }
};

QTEST_GUILESS_MAIN(TestWiederherstellung)
#include "tst_wiederherstellung.moc"
