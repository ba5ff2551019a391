// Full-text search against a real archivd with its readers, on SQLite and
// (ARCHIV_TEST_DB=postgres) PostgreSQL: a PDF's text layer and a scanned
// page's OCR become searchable after the save; German folding, prefixes,
// phrases; the search narrows every other criterion; hostile queries and
// broken files get a clear answer.
#include "imaging/Bilddatei.h"
#include "storage/Datenbank.h"
#include "volltext/Volltext.h"
#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"
#include "server/ErgebnisMenge.h"
#include "server/Objekt.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/PostgresCluster.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTest>

using namespace archiv;
using archiv::test::ArchivServer;
using archiv::test::Belegbau;

namespace {

QByteArray pdfMitText(const QStringList &zeilen)
{
    QByteArray daten;
    QBuffer puffer(&daten);
    puffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&puffer);
    pdf.setResolution(300);
    QPainter p(&pdf);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSize(12);
    p.setFont(f);
    int y = 300;
    for (const QString &z : zeilen) {
        p.drawText(200, y, z);
        y += 120;
    }
    p.end();
    return daten;
}

// A page as a scanner delivers it: printed text, 300 dpi, bilevel G4.
QByteArray gescannt(const QStringList &zeilen)
{
    QImage bild(2480, 3508, QImage::Format_Grayscale8);
    bild.fill(Qt::white);
    bild.setDotsPerMeterX(11811);
    bild.setDotsPerMeterY(11811);
    {
        QPainter p(&bild);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(60); // about 14 pt at 300 dpi
        p.setFont(f);
        p.setPen(Qt::black);
        int y = 400;
        for (const QString &z : zeilen) {
            p.drawText(250, y, z);
            y += 110;
        }
    }
    const imaging::Seite seite(bild, 300, 300);
    return imaging::Bilddatei::kodieren({imaging::TiffDatei::kodieren(seite)}, imaging::MehrseitigesTiff);
}

} // namespace

class TestVolltext : public QObject
{
    Q_OBJECT
    std::unique_ptr<ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    QString m_pdf, m_tif, m_kaputt;

    QStringList suche(const QString &volltext, const QString &typen = {})
    {
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", typen, "", "", "", "", "500", volltext});
        QStringList ids;
        while (rs.Next())
            ids << rs.GetData(1);
        return ids;
    }
    qint64 zaehlen(const QString &sql)
    {
        const auto n = m_server->sqlite(sql);
        return n ? n->toLongLong() : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten({QStringLiteral("--ocr-threads"), QStringLiteral("2")}), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        Belegbau bau(*m_v);
        m_pdf = bau.anlegen(QStringLiteral("ER"), QStringLiteral("VT-PDF"),
                            {{QStringLiteral("pdf"), {},
                              pdfMitText({QStringLiteral("Lieferung von 40 Rohrschellen verzinkt"), QStringLiteral("Hauptstraße 5, Müller & Söhne"),
                                          QStringLiteral("IBAN DE02120300000000202051")})}});
        m_tif = bau.anlegen(QStringLiteral("LS"), QStringLiteral("VT-TIF"),
                            {{QStringLiteral("tif"), {}, gescannt({QStringLiteral("Lieferschein Kabeltrommel"), QStringLiteral("Schraubendreher Satz")})}});
        m_kaputt = bau.anlegen(QStringLiteral("KO"), QStringLiteral("VT-KAPUTT"), {{QStringLiteral("pdf"), {}, QByteArray("%PDF-1.4 kaputt")}});
        // Read by the server's readers, not by the test.
        QTRY_VERIFY_WITH_TIMEOUT(zaehlen(QStringLiteral("SELECT count(*) FROM ar_volltext_auftrag WHERE zustand IN ('offen', 'laeuft')")) == 0,
                                 120000);
    }

    void findet_data()
    {
        QTest::addColumn<QString>("volltext");
        QTest::addColumn<QString>("typen");
        QTest::addColumn<QStringList>("belege"); // "pdf", "tif"
        QTest::newRow("ein Wort") << "Rohrschellen" << "" << QStringList{"pdf"};
        QTest::newRow("groß geschrieben") << "ROHRSCHELLEN" << "" << QStringList{"pdf"};
        QTest::newRow("ß als ss") << "HAUPTSTRASSE" << "" << QStringList{"pdf"};
        QTest::newRow("Umlaut ohne Punkte") << "Muller" << "" << QStringList{"pdf"};
        QTest::newRow("Präfix") << "Rohrsch*" << "" << QStringList{"pdf"};
        QTest::newRow("alle Wörter") << "Rohrschellen verzinkt" << "" << QStringList{"pdf"};
        QTest::newRow("ein Wort fehlt") << "Rohrschellen Kabeltrommel" << "" << QStringList{};
        QTest::newRow("Phrase") << "\"Müller & Söhne\"" << "" << QStringList{"pdf"};
        QTest::newRow("Phrase verdreht") << "\"Söhne Müller\"" << "" << QStringList{};
        QTest::newRow("IBAN") << "DE02120300000000202051" << "" << QStringList{"pdf"};
        QTest::newRow("gescannte Seite") << "Kabeltrommel" << "" << QStringList{"tif"};
        QTest::newRow("mit Belegart") << "Kabeltrommel" << "ER" << QStringList{};
        QTest::newRow("mit passender Belegart") << "Kabeltrommel" << "LS" << QStringList{"tif"};
        QTest::newRow("gibt es nicht") << "Zahnbürste" << "" << QStringList{};
    }
    void findet()
    {
        QFETCH(QString, volltext);
        QFETCH(QString, typen);
        QFETCH(QStringList, belege);
        QStringList erwartet;
        for (const QString &b : belege)
            erwartet << (b == QLatin1String("pdf") ? m_pdf : m_tif);
        QCOMPARE(suche(volltext, typen), erwartet);
    }

    // Both ways of looking up a text (collecting the matches, or Beleg by
    // Beleg when a word is on most pages) find the same Belege.
    void beideWegeGleich_data()
    {
        findet_data();
    }
    void beideWegeGleich()
    {
        QFETCH(QString, volltext);
        auto db = archivd::Datenbank::oeffnen(m_server->dbPfad());
        const auto belege = [&](int vieleTreffer) {
            const archivd::volltext::Bedingung b = archivd::volltext::bedingung(*db, volltext, vieleTreffer);
            QStringList ids;
            for (const archivd::SqlZeile &z : db->abfragen(QStringLiteral("SELECT d.id FROM ar_dokumente d WHERE %1 ORDER BY d.id").arg(b.sql), b.werte))
                ids << z.at(0).toString();
            return ids;
        };
        QCOMPARE(belege(0), belege(archivd::volltext::VieleTreffer));
    }

    // An empty full text changes nothing: the search is the one without it.
    void leerAendertNichts()
    {
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "", "", "", "", "", "500"});
        QStringList ohne;
        while (rs.Next())
            ohne << rs.GetData(1);
        QCOMPARE(suche(QStringLiteral("   ")), ohne);
    }

    void unbrauchbareAnfragen_data()
    {
        QTest::addColumn<QString>("volltext");
        QTest::addColumn<QString>("meldung");
        QStringList viele;
        for (int i = 0; i < 1000; ++i)
            viele << QStringLiteral("wort%1").arg(i);
        QTest::newRow("1000 Wörter") << viele.join(u' ').left(1990) << "höchstens 32 Wörter";
        QTest::newRow("nur Sterne") << "* ** *" << "kein Wort";
        QTest::newRow("nur Füllwörter") << "der und die" << "kein Wort";
        QTest::newRow("zu lang") << QString(3000, u'x') << "höchstens 2000 Zeichen";
    }
    void unbrauchbareAnfragen()
    {
        QFETCH(QString, volltext);
        QFETCH(QString, meldung);
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        try {
            rs.Execute(QStringList{"1", "", "", "", "", "", "500", volltext});
            QFAIL("the query was answered");
        } catch (const server::ServerFehler &e) {
            QCOMPARE(e.status(), 400);
            QVERIFY2(e.meldung().contains(meldung), qPrintable(e.meldung()));
        }
    }

    // Where the words are, for the result list: the pages per Beleg; ids
    // that are not numbers and too many at once are refused.
    void fundstellen()
    {
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("VolltextFundstellen"));
        rs.Execute(QStringList{QStringLiteral("Schraubendreher Rohrschellen"), m_pdf + u',' + m_tif + QStringLiteral(",999999")});
        QStringList zeilen;
        while (rs.Next())
            zeilen << rs.GetData(1) + u' ' + rs.GetData(2);
        QCOMPARE(zeilen, QStringList({m_pdf + QStringLiteral(" S. 1"), m_tif + QStringLiteral(" S. 1")}));
        QStringList viele;
        for (int i = 0; i < 501; ++i)
            viele << QString::number(i + 1);
        for (const QString &ids : {QStringLiteral("1,x"), viele.join(u',')}) {
            try {
                rs.Execute(QStringList{QStringLiteral("Rohrschellen"), ids});
                QFAIL("the query was answered");
            } catch (const server::ServerFehler &e) {
                QCOMPARE(e.status(), 400);
            }
        }
    }

    // A file that cannot be read is marked once and not tried again; the
    // server goes on answering.
    void kaputteDateiWirdMarkiert()
    {
        QCOMPARE(zaehlen(QStringLiteral("SELECT count(*) FROM ar_volltext_auftrag WHERE zustand = 'fehler'")), 1);
        QCOMPARE(zaehlen(QStringLiteral("SELECT versuche FROM ar_volltext_auftrag WHERE zustand = 'fehler'")), 1);
        QCOMPARE(suche(QStringLiteral("Rohrschellen")), QStringList{m_pdf});
        QString ausgabe;
        QCOMPARE(ArchivServer::archivd({QStringLiteral("volltext"), QStringLiteral("status"), QStringLiteral("--db"), m_server->dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("nicht lesbar: 1")), qPrintable(ausgabe));
        // Following the queue returns when nothing waits, with the summary.
        QCOMPARE(ArchivServer::archivd({QStringLiteral("volltext"), QStringLiteral("neu"), QStringLiteral("--folgen"), QStringLiteral("--db"),
                                        m_server->dbPfad()},
                                       &ausgabe),
                 0);
        QVERIFY2(ausgabe.contains(QStringLiteral(" Dokumente zum Lesen angestellt")) && ausgabe.contains(QStringLiteral("wartend: 0\nin Arbeit: 0")),
                 qPrintable(ausgabe));
        QCOMPARE(ArchivServer::archivd({QStringLiteral("volltext"), QStringLiteral("neu"), QStringLiteral("--firma"), QStringLiteral("Müller"),
                                        QStringLiteral("--db"), m_server->dbPfad()},
                                       &ausgabe),
                 2);
    }

    // A new version of the file is read again; the search follows the
    // current file, the old text stays with the old one.
    void neueVersionWirdNeuGelesen()
    {
        server::Objekt b = m_v->OpenId(QStringLiteral("AR.Dokumente"), m_pdf);
        server::Objekt e = b.sammlung(QStringLiteral("Doks")).getat(1);
        e.strom(QStringLiteral("dok")).Write(pdfMitText({QStringLiteral("Gutschrift Winkelschleifer")}));
        QCOMPARE(b.SYS_Save(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(zaehlen(QStringLiteral("SELECT count(*) FROM ar_volltext_auftrag WHERE zustand IN ('offen', 'laeuft')")) == 0,
                                 60000);
        QCOMPARE(suche(QStringLiteral("Winkelschleifer")), QStringList{m_pdf});
        QCOMPARE(suche(QStringLiteral("Rohrschellen")), QStringList{});
        QCOMPARE(zaehlen(QStringLiteral("SELECT count(*) FROM ar_volltext WHERE element = (SELECT e.id FROM ar_dokuments e WHERE e.parent_id = %1)")
                             .arg(m_pdf)),
                 2);
    }
};

QTEST_MAIN(TestVolltext)
#include "tst_volltext.moc"
