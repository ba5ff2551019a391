// The server's intake folder against a real archivd, on SQLite and (with
// ARCHIV_TEST_DB=postgres) PostgreSQL: e-invoices of known suppliers become
// Belege numbered from the label counter, other files digital records of the
// scan store, files that cannot be taken go to abgelehnt/ with the reason;
// nothing is taken before it is written completely, nothing is deleted.
#include "common/Kennungen.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/PostgresCluster.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace archiv;
using archiv::test::ArchivServer;

namespace {

QByteArray lesen(const QString &pfad)
{
    QFile f(pfad);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void schreiben(const QString &pfad, const QByteArray &inhalt)
{
    QFile f(pfad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(inhalt);
}

// A sample invoice of the demo's supplier 70001 (VAT ID DE123456789) under
// an invoice number of its own.
QByteArray rechnung(const QString &nummer)
{
    QByteArray x = lesen(qEnvironmentVariable("ARCHIV_EINVOICE") + QStringLiteral("/kosit/business-cases/standard/01.01a-INVOICE_ubl.xml"));
    x.replace("<cbc:ID>123456XX</cbc:ID>", "<cbc:ID>" + nummer.toUtf8() + "</cbc:ID>");
    return x;
}

} // namespace

class TestEingang : public QObject
{
    Q_OBJECT
    std::unique_ptr<ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;
    QTemporaryDir m_eingang;

    qint64 zaehler()
    {
        return m_v->OpenId(QStringLiteral("AR.Belart"), QStringLiteral("1||ER")).get(QStringLiteral("lastbelnrbarc")).toLongLong();
    }
    // The Beleg of type ER with that number: its id, or empty.
    QString beleg(qint64 nummer)
    {
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Datum"));
        rs.Execute(QStringList{QStringLiteral("1"), QStringLiteral("1||ER"), QString::number(nummer)});
        return rs.Next() ? rs.GetData(1) : QString();
    }
    QMap<int, QString> werte(const QString &id)
    {
        QMap<int, QString> w;
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Extind"), QStringLiteral("GetEigensch"));
        rs.Execute(QStringList{QStringLiteral("1"), id});
        while (rs.Next())
            w[rs.GetData(1).toInt()] += rs.GetData(2).trimmed();
        return w;
    }
    QString ablage(const QString &unterordner, const QString &name) const
    {
        return QDir(m_eingang.path()).filePath(unterordner + u'/' + name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("ARCHIV_EINVOICE") || !QFile::exists(qEnvironmentVariable("ARCHIV_EINVOICE")))
            QSKIP("the sample invoices (ARCHIV_EINVOICE) are not there");
        if (ArchivServer::postgresGewuenscht() && !test::PostgresCluster::installiert())
            QSKIP("PostgreSQL is not installed");
        QVERIFY(m_eingang.isValid());
        m_server = std::make_unique<ArchivServer>(ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten({QStringLiteral("--eingang"), m_eingang.path(), QStringLiteral("--eingang-firma"), QStringLiteral("1")}),
                 qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
    }

    // What a mail fetcher leaves in the folder, in one working day.
    void ordnerWirdArchiviert()
    {
        const qint64 vorher = zaehler();
        const QByteArray ubl = rechnung(QStringLiteral("EG-1"));
        schreiben(QDir(m_eingang.path()).filePath(QStringLiteral("Rechnung März Müller.xml")), ubl);
        // A seller the master data does not know: for a person to assign.
        const QByteArray fremd = lesen(qEnvironmentVariable("ARCHIV_EINVOICE") + QStringLiteral("/kosit/technical-cases/cius/01.05_minimal_test_uncefact.xml"));
        schreiben(QDir(m_eingang.path()).filePath(QStringLiteral("fremd.xml")), fremd);
        schreiben(QDir(m_eingang.path()).filePath(QStringLiteral("Notiz.txt")), "Bitte zahlen.");
        schreiben(QDir(m_eingang.path()).filePath(QStringLiteral("leer.pdf")), {});

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("archiviert"), QStringLiteral("Rechnung März Müller.xml"))), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("archiviert"), QStringLiteral("fremd.xml"))), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("abgelehnt"), QStringLiteral("Notiz.txt"))), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("abgelehnt"), QStringLiteral("leer.pdf"))), 20000);
        QVERIFY(QString::fromUtf8(lesen(ablage(QStringLiteral("abgelehnt"), QStringLiteral("Notiz.txt.txt"))))
                    .contains(QStringLiteral("weder PDF noch XML")));
        QVERIFY(QString::fromUtf8(lesen(ablage(QStringLiteral("abgelehnt"), QStringLiteral("leer.pdf.txt")))).contains(QStringLiteral("leer")));
        // Nothing is deleted: the files as they came, where they went.
        QCOMPARE(lesen(ablage(QStringLiteral("archiviert"), QStringLiteral("Rechnung März Müller.xml"))), ubl);
        QCOMPARE(lesen(ablage(QStringLiteral("abgelehnt"), QStringLiteral("Notiz.txt"))), QByteArray("Bitte zahlen."));

        // The invoice: the next number of the label counter, the file as it
        // came, the supplier and the amounts.
        QCOMPARE(zaehler(), vorher + 1);
        const QString id = beleg(vorher + 1);
        QVERIFY(!id.isEmpty());
        server::Objekt b = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
        server::Sammlung doks = b.sammlung(QStringLiteral("Doks"));
        QCOMPARE(doks.Count(), 1);
        server::Objekt e = doks.getat(1);
        QCOMPARE(e.get(QStringLiteral("doktyp")), QStringLiteral("xml"));
        QCOMPARE(e.get(QStringLiteral("dateiname")), QStringLiteral("Rechnung März Müller.xml"));
        server::Datenstrom s = e.strom(QStringLiteral("dok"));
        QCOMPARE(s.Read(s.groesse()), ubl);
        QCOMPARE(b.get(QStringLiteral("Datum")).left(10), QStringLiteral("2016-04-04"));
        const QMap<int, QString> w = werte(id);
        QCOMPARE(w.value(common::eigenschaft::Lieferant), QStringLiteral("70001"));
        QCOMPARE(w.value(common::eigenschaft::Rechnungsnummer), QStringLiteral("EG-1"));
        QCOMPARE(w.value(common::eigenschaft::Bruttobetrag), QStringLiteral("336,90"));
        // Audited under the server's name and the intake.
        const QString info = m_v->ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("LetzteAenderung"), {id}).wert();
        QVERIFY2(info.contains(QStringLiteral("|Posteingang")) && info.contains(QStringLiteral("archivd@")), qPrintable(info));

        // The unknown seller's invoice: a digital record, no Beleg, no number.
        server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("Liste"));
        rs.Execute();
        QStringList digital;
        while (rs.Next())
            if (!rs.GetData(7).isEmpty())
                digital << rs.GetData(6) + u'/' + rs.GetData(7);
        QCOMPARE(digital, QStringList{QStringLiteral("fremd.xml/xml")});

        // The same invoice again (by e-mail and on paper): refused, named.
        schreiben(QDir(m_eingang.path()).filePath(QStringLiteral("Rechnung März Müller.xml")), ubl);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("abgelehnt"), QStringLiteral("Rechnung März Müller.xml.txt"))), 20000);
        QVERIFY2(QString::fromUtf8(lesen(ablage(QStringLiteral("abgelehnt"), QStringLiteral("Rechnung März Müller.xml.txt"))))
                     .contains(QStringLiteral("Rechnung bereits archiviert als ER %1 vom 04.04.2016").arg(vorher + 1)),
                 lesen(ablage(QStringLiteral("abgelehnt"), QStringLiteral("Rechnung März Müller.xml.txt"))).constData());
        QCOMPARE(zaehler(), vorher + 1);
    }

    // The same bytes come again: looked at once more after a server stopped
    // between a file's commit and its move, or sent twice. One record only,
    // the second file kept in abgelehnt/ with the first one named.
    void gleicheDateiNurEinmal()
    {
        // A delivery note as a PDF, no invoice: for a person to assign.
        const QByteArray pdf("%PDF-1.4\n% Lieferschein 4711, Stra\xc3\x9f" "e 1\n%%EOF\n");
        const auto aufnahmen = [this] {
            QStringList namen;
            server::ErgebnisMenge rs = m_v->ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("Liste"));
            rs.Execute();
            while (rs.Next())
                if (rs.GetData(6).startsWith(QStringLiteral("Kopie Straße")))
                    namen << rs.GetData(1) + u'|' + rs.GetData(6);
            return namen;
        };
        schreiben(QDir(m_eingang.path()).filePath(QStringLiteral("Kopie Straße 1.pdf")), pdf);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("archiviert"), QStringLiteral("Kopie Straße 1.pdf"))), 20000);
        const QStringList erste = aufnahmen();
        QCOMPARE(erste.size(), 1);
        const QString id = erste.first().section(u'|', 0, 0);

        for (const QString &name : {QStringLiteral("Kopie Straße 1.pdf"), QStringLiteral("Kopie Straße 2.pdf")}) {
            schreiben(QDir(m_eingang.path()).filePath(name), pdf);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("abgelehnt"), name + QStringLiteral(".txt"))), 20000);
            const QString grund = QString::fromUtf8(lesen(ablage(QStringLiteral("abgelehnt"), name + QStringLiteral(".txt"))));
            QVERIFY2(grund.contains(QStringLiteral("schon im Scanspeicher (Datensatz %1, gleicher Inhalt)").arg(id)), qPrintable(grund));
            QCOMPARE(lesen(ablage(QStringLiteral("abgelehnt"), name)), pdf);
        }
        QCOMPARE(aufnahmen(), erste);
    }

    // A file still being written is not taken half: one that grows between
    // two looks waits, and a ".part" renamed into place is taken whole.
    void nurVollstaendigeDateien()
    {
        const qint64 vorher = zaehler();
        const QByteArray ubl = rechnung(QStringLiteral("EG-LANGSAM"));
        const QString pfad = QDir(m_eingang.path()).filePath(QStringLiteral("langsam.xml"));
        {
            QFile f(pfad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const qsizetype haelfte = ubl.size() / 2;
            for (qsizetype i = 0; i < haelfte; i += 200) {
                f.write(ubl.mid(i, qMin<qsizetype>(200, haelfte - i)));
                f.flush();
                QTest::qWait(120); // a slow mail fetcher: over several of the server's looks
            }
            f.write(ubl.mid(haelfte));
        }
        const QString teil = QDir(m_eingang.path()).filePath(QStringLiteral("umbenannt.xml.part"));
        schreiben(teil, rechnung(QStringLiteral("EG-UMBENANNT")));
        QTest::qWait(3000);
        QVERIFY(QFile::exists(teil)); // never taken under its temporary name
        QVERIFY(QFile::rename(teil, QDir(m_eingang.path()).filePath(QStringLiteral("umbenannt.xml"))));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("archiviert"), QStringLiteral("langsam.xml"))), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ablage(QStringLiteral("archiviert"), QStringLiteral("umbenannt.xml"))), 20000);
        QCOMPARE(zaehler(), vorher + 2);
        QStringList nummern;
        for (qint64 n = vorher + 1; n <= vorher + 2; ++n) {
            const QString id = beleg(n);
            QVERIFY(!id.isEmpty());
            nummern << werte(id).value(common::eigenschaft::Rechnungsnummer);
            server::Objekt b = m_v->OpenId(QStringLiteral("AR.Dokumente"), id);
            server::Datenstrom s = b.sammlung(QStringLiteral("Doks")).getat(1).strom(QStringLiteral("dok"));
            const QByteArray gespeichert = s.Read(s.groesse());
            QVERIFY(gespeichert == ubl || gespeichert == rechnung(QStringLiteral("EG-UMBENANNT")));
        }
        nummern.sort();
        QCOMPARE(nummern, QStringList({QStringLiteral("EG-LANGSAM"), QStringLiteral("EG-UMBENANNT")}));
    }

    // "archivd eingang" for a one-off run beside the running server, and
    // what it says about a folder or company that does not exist.
    void einmaligerLauf()
    {
        QTemporaryDir ordner;
        const qint64 vorher = zaehler();
        for (int i = 0; i < 5; ++i)
            schreiben(QDir(ordner.path()).filePath(QStringLiteral("r%1.xml").arg(i)), rechnung(QStringLiteral("EINMAL-%1").arg(i)));
        QTest::qWait(1100); // older than a look: written completely
        QString ausgabe;
        QCOMPARE(ArchivServer::archivd({QStringLiteral("eingang"), ordner.path(), QStringLiteral("--firma"), QStringLiteral("1"),
                                        QStringLiteral("--db"), m_server->dbPfad()},
                                       &ausgabe),
                 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("archivd eingang: 5 Belege, 0 in den Scanspeicher, 0 abgelehnt")), qPrintable(ausgabe));
        QCOMPARE(zaehler(), vorher + 5);
        QCOMPARE(QDir(ordner.filePath(QStringLiteral("archiviert"))).entryList(QDir::Files).size(), 5);
        QCOMPARE(ArchivServer::archivd({QStringLiteral("eingang"), ordner.filePath(QStringLiteral("fehlt")), QStringLiteral("--db"),
                                        m_server->dbPfad()},
                                       &ausgabe),
                 2);
        QCOMPARE(ArchivServer::archivd({QStringLiteral("eingang"), ordner.path(), QStringLiteral("--firma"), QStringLiteral("99"),
                                        QStringLiteral("--db"), m_server->dbPfad()},
                                       &ausgabe),
                 2);
        QVERIFY2(ausgabe.contains(QStringLiteral("die Firma 99 gibt es im Archiv nicht")), qPrintable(ausgabe));
    }
};

QTEST_MAIN(TestEingang)
#include "tst_eingang.moc"
