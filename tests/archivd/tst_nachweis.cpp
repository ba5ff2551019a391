// The proof that nothing was changed, against a real archivd on SQLite and
// (ARCHIV_TEST_DB=postgres) PostgreSQL: after a working day's saves over the
// wire (a stale one refused among them) the archive verifies clean; each change made past the server (a
// value, a file's bytes, an audit row changed or deleted, a Beleg inserted,
// the trail's end cut off) is found and named; anchors prove the trail up to
// them.
#include "server/Objekt.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "storage/Datenbank.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/PostgresCluster.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace archiv;
using archiv::test::ArchivServer;
using archiv::test::Belegbau;

namespace {

struct Lauf
{
    int rc = -1;
    QString ausgabe;
};

Lauf ausfuehren(const QStringList &args)
{
    Lauf l;
    l.rc = ArchivServer::archivd(args, &l.ausgabe);
    return l;
}

} // namespace

class TestNachweis : public QObject
{
    Q_OBJECT
    std::unique_ptr<ArchivServer> m_server;
    QString m_beleg; // saved, changed and given a value over the wire
    QString m_blob; // its file

    Lauf verify(const QStringList &mehr = {}) { return ausfuehren(QStringList{QStringLiteral("verify"), QStringLiteral("--db"), m_server->dbPfad()} + mehr); }

    // A day's writes through the server: a new Beleg with a file and values,
    // a second version of it, a change refused as stale, an upload no save
    // took.
    void arbeitstag()
    {
        server::Verbindung v;
        QVERIFY(v.Connect(m_server->verbindungstext()));
        Belegbau bau(v);
        m_beleg = bau.anlegen(QStringLiteral("ER"), QStringLiteral("NW-1"), {{QStringLiteral("tif"), {}, Belegbau::tiff(2)}},
                              {{22, QStringLiteral("Bar")}, {6, QStringLiteral("Müller & Söhne")}});
        bau.anlegen(QStringLiteral("LS"), QStringLiteral("NW-2"), {{QStringLiteral("tif"), {}, Belegbau::tiff(1)}});
        server::Objekt b = v.OpenId(QStringLiteral("AR.Dokumente"), m_beleg);
        server::Objekt alt = v.OpenId(QStringLiteral("AR.Dokumente"), m_beleg);
        b.set(QStringLiteral("Text"), QStringLiteral("Straße geändert"));
        b.indexwertSetzen(QStringLiteral("1"), 22, QStringLiteral("Überweisung"));
        QCOMPARE(b.SYS_Save(), 1);
        alt.set(QStringLiteral("Text"), QStringLiteral("veraltet"));
        QVERIFY(alt.SYS_Save() != 1);
        QCOMPARE(alt.letzterFehlerAlsAusnahme().status(), 409);
        auto db = archivd::Datenbank::oeffnen(m_server->dbPfad());
        m_blob = db->wert(QStringLiteral("SELECT dok_blob FROM ar_dokuments WHERE parent_id = ?"), {m_beleg.toLongLong()}).toString();
        QVERIFY(!m_blob.isEmpty());
    }

    void aendern(const QString &sql)
    {
        auto db = archivd::Datenbank::oeffnen(m_server->dbPfad());
        QString s = sql;
        db->ausfuehren(s.replace(QStringLiteral("$BELEG"), m_beleg).replace(QStringLiteral("$BLOB"), m_blob));
    }

private Q_SLOTS:
    void init()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 20);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        arbeitstag();
    }
    void cleanup() { m_server.reset(); }

    // The demo and a day's saves, a refused one and a delete among them.
    void unberuehrtIstInOrdnung()
    {
        const Lauf l = verify();
        QVERIFY2(l.rc == 0 && l.ausgabe.contains(QStringLiteral("alles unverändert")), qPrintable(l.ausgabe));
        auto db = archivd::Datenbank::oeffnen(m_server->dbPfad());
        const QString belege = QStringLiteral(" %1 Belege").arg(db->wert(QStringLiteral("SELECT count(*) FROM ar_dokumente")).toLongLong());
        QVERIFY2(l.ausgabe.contains(belege), qPrintable(l.ausgabe));
    }

    void aenderungWirdGefunden_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("befund");
        QTest::newRow("Indexwert") << "UPDATE ar_extind SET wert = 'Bar' WHERE iddokumente = $BELEG AND eigenschaft = 22"
                                   << QStringList{"Beleg $BELEG (Nr. NW-1", "Indexwerte anders als nach Eintrag"};
        QTest::newRow("Kopf") << "UPDATE ar_dokumente SET datum = '2020-01-01' WHERE id = $BELEG"
                              << QStringList{"Beleg $BELEG (Nr. NW-1", "Kopf (Firma, Belegart, Nummer, Datum, Text, Storno) anders"};
        QTest::newRow("Dokument entfernt") << "DELETE FROM ar_dokuments WHERE parent_id = $BELEG"
                                           << QStringList{"Beleg $BELEG", "Dokumente und ihre Dateien anders"};
        QTest::newRow("Bytes einer Datei") << "UPDATE blob_teile SET data = CAST('kaputt' AS %BLOB%) WHERE sha256 = '$BLOB'"
                                           << QStringList{"Datei $BLOB: ihr Inhalt hat heute die Prüfsumme"};
        QTest::newRow("Protokollzeile geändert")
            << "UPDATE ar_protokoll SET benutzer = 'jemand' WHERE nr = (SELECT MIN(nr) FROM ar_protokoll WHERE beleg = $BELEG)"
            << QStringList{"AR.Dokumente $BELEG \"neu\"): sein Inhalt wurde nach dem Schreiben geändert"};
        QTest::newRow("Protokollzeile gelöscht") << "DELETE FROM ar_protokoll WHERE nr = (SELECT MIN(nr) FROM ar_protokoll WHERE beleg = $BELEG)"
                                                 << QStringList{"vor ihm fehlt Eintrag"};
        QTest::newRow("Beleg eingefügt") << "INSERT INTO ar_dokumente (version, firma, idbelart, belnr, datum, zeit, text) "
                                            "SELECT 1, firma, idbelart, 'SCHMUGGEL', datum, zeit, 'eingeschmuggelt' FROM ar_dokumente WHERE id = $BELEG"
                                         << QStringList{"(Nr. SCHMUGGEL vom", "kein Protokolleintrag, er kam am Server vorbei"};
        QTest::newRow("Ende abgeschnitten") << "DELETE FROM ar_protokoll WHERE nr = (SELECT MAX(nr) FROM ar_protokoll)"
                                            << QStringList{"Einträge am Ende fehlen"};
        QTest::newRow("Zeile eingeschoben") << "INSERT INTO ar_protokoll (zeit, arbeitsplatz, klasse, objekt, aktion, version) "
                                               "VALUES ('2026-01-01T00:00:00Z', 'PC9', 'AR.Dokumente', '1', 'neu', 1)"
                                            << QStringList{"steht in keiner Kette"};
    }
    void aenderungWirdGefunden()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, befund);
        QCOMPARE(verify().rc, 0);
        m_server->ohneNachpruefung();
        aendern(sql);
        const Lauf l = verify();
        QVERIFY2(l.rc == 1, qPrintable(l.ausgabe));
        for (QString b : befund)
            QVERIFY2(l.ausgabe.contains(b.replace(QStringLiteral("$BELEG"), m_beleg).replace(QStringLiteral("$BLOB"), m_blob)), qPrintable(l.ausgabe));
    }

    // An anchor taken yesterday still holds after today's saves; one that
    // names an entry the trail no longer has, or another hash, does not.
    void anker()
    {
        const Lauf kopf = verify({QStringLiteral("--anker")});
        QCOMPARE(kopf.rc, 0);
        const QString anker = kopf.ausgabe.trimmed();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+:[0-9a-f]{64}$")).match(anker).hasMatch(), qPrintable(anker));
        QTemporaryDir dir;
        const QString datei = dir.filePath(QStringLiteral("Anker für den Steuerberater.txt"));
        QCOMPARE(ausfuehren({QStringLiteral("anker"), QStringLiteral("--datei"), datei, QStringLiteral("--db"), m_server->dbPfad()}).rc, 0);
        arbeitstag();
        QCOMPARE(ausfuehren({QStringLiteral("anker"), QStringLiteral("--datei"), datei, QStringLiteral("--db"), m_server->dbPfad()}).rc, 0);
        QFile f(datei);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList zeilen = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(zeilen.size(), 2);
        QVERIFY2(zeilen.first().endsWith(anker), qPrintable(zeilen.first()));

        Lauf l = verify({QStringLiteral("--seit"), anker});
        QVERIFY2(l.rc == 0 && l.ausgabe.contains(QStringLiteral("Anker %1 bestätigt").arg(anker.section(u':', 0, 0))), qPrintable(l.ausgabe));
        const QString fremd = anker.section(u':', 0, 0) + u':' + QString(64, u'a');
        l = verify({QStringLiteral("--seit"), fremd});
        QVERIFY2(l.rc == 1 && l.ausgabe.contains(QStringLiteral("Anker ") + fremd), qPrintable(l.ausgabe));
        l = verify({QStringLiteral("--seit"), QStringLiteral("999999:") + QString(64, u'b')});
        QVERIFY2(l.rc == 1 && l.ausgabe.contains(QStringLiteral("gibt es nicht mehr")), qPrintable(l.ausgabe));
        QCOMPARE(verify({QStringLiteral("--seit"), QStringLiteral("kein Anker")}).rc, 2);
    }
};

QTEST_GUILESS_MAIN(TestNachweis)
#include "tst_nachweis.moc"
