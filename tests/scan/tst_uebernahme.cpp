// The transfer of scan-store pages into their Belege, against a real archivd.
#include "imaging/Seitenliste.h"
#include "imaging/TiffDatei.h"
#include "scan/Uebernahme.h"
#include "server/ErgebnisMenge.h"
#include "server/KlassenMethoden.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"

#include <QCryptographicHash>

#include <QTemporaryDir>
#include <QTest>

using namespace archiv;
using archiv::test::Belegbau;

class TestUebernahme : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    server::Verbindung m_v;
    QTemporaryDir m_dir;

    // A scan-store page; page n carries n bars.
    void scan(const QString &nummer, int seite, const QByteArray &datei = {})
    {
        const QString pfad = m_dir.filePath(QStringLiteral("scan.tif"));
        QFile f(pfad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(datei.isEmpty() ? imaging::TiffDatei::schreibenG4({imaging::TiffDatei::lesen(Belegbau::tiff(seite), QStringLiteral("s.tif")).last()})
                                : datei);
        f.close();
        server::Objekt s = m_v.New(QStringLiteral("AR.Scandat"));
        s.set(QStringLiteral("dokument"), nummer);
        s.set(QStringLiteral("seite"), QString::number(seite));
        s.strom(QStringLiteral("dok")).FileRead(pfad);
        QCOMPARE(s.SYS_Save(), 1);
    }
    QList<int> neuestesDokument(const QString &id)
    {
        server::Objekt b = m_v.OpenId(QStringLiteral("AR.Dokumente"), id);
        server::Sammlung doks = b.sammlung(QStringLiteral("Doks"));
        server::Datenstrom dok = doks.getat(doks.Count()).strom(QStringLiteral("dok"));
        imaging::Seitenliste l;
        l.laden(dok.Read(dok.groesse()), QStringLiteral("d.tif"));
        QList<int> balken;
        for (int i = 0; i < l.anzahl(); ++i)
            balken << Belegbau::balken(l.seite(i).bild());
        return balken;
    }
    int imSpeicher(const QString &nummer)
    {
        server::ErgebnisMenge rs = m_v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
        rs.Execute(QStringList{nummer});
        int n = 0;
        while (rs.Next())
            ++n;
        return n;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        QVERIFY(m_v.Connect(m_server->verbindungstext()));
        m_v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
    }

    void seitenGehenInIhreBelege()
    {
        Belegbau bau(m_v);
        const QString ohne = bau.anlegen(QStringLiteral("ER"), QStringLiteral("UE-1"), {});
        const QString mit = bau.anlegen(QStringLiteral("ER"), QStringLiteral("UE-2"), {{"tif", "alt", Belegbau::tiff(2)}});
        for (int seite : {3, 1, 2})
            scan(QStringLiteral("ERUE-1"), seite);
        scan(QStringLiteral("ERUE-2"), 1);
        scan(QStringLiteral("ERUE-GIBTSNICHT"), 1);
        scan(QStringLiteral("ERUE-KAPUTT"), 1, QByteArray("II*\\0kaputt"));
        bau.anlegen(QStringLiteral("ER"), QStringLiteral("UE-KAPUTT"), {});
        QCOMPARE(m_v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")}).wert(),
                 QStringLiteral("5"));

        const scan::Uebernahmebericht b = scan::ScanBelegUebernahme(m_v, QString(), true);
        QCOMPARE(b.uebernommen, 4);
        QCOMPARE(b.ohneBeleg, 1);
        QCOMPARE(b.fehler.size(), 1); // the broken page: it stays
        // Pages 1 to 3 as one three-page document of the Beleg without one.
        QCOMPARE(m_v.OpenId(QStringLiteral("AR.Dokumente"), ohne).sammlung(QStringLiteral("Doks")).Count(), 1);
        QCOMPARE(m_v.OpenId(QStringLiteral("AR.Dokumente"), ohne).get(QStringLiteral("picsw")), QStringLiteral("1"));
        QCOMPARE(neuestesDokument(ohne), QList<int>({1, 2, 3}));
        // The newest document of the other replaced, no new version.
        QCOMPARE(m_v.OpenId(QStringLiteral("AR.Dokumente"), mit).sammlung(QStringLiteral("Doks")).Count(), 1);
        QCOMPARE(neuestesDokument(mit), QList<int>({1}));
        // The file it replaced is still in the document's history.
        if (!m_server->aufPostgres()) {
            const QString element = m_v.OpenId(QStringLiteral("AR.Dokumente"), mit).sammlung(QStringLiteral("Doks")).getat(1).SYS_Id();
            const QString alt = QString::fromLatin1(QCryptographicHash::hash(Belegbau::tiff(2), QCryptographicHash::Sha256).toHex());
            const auto anzahl = m_server->sqlite(
                QStringLiteral("SELECT count(*) FROM stream_history WHERE class = 'AR.Dokuments' AND object_id = %1 AND blob = '%2'")
                    .arg(element, alt));
            QVERIFY(anzahl);
            QCOMPARE(anzahl->toInt(), 1);
        }
        QCOMPARE(imSpeicher(QStringLiteral("ERUE-1")), 0);
        QCOMPARE(imSpeicher(QStringLiteral("ERUE-2")), 0);
        QCOMPARE(imSpeicher(QStringLiteral("ERUE-GIBTSNICHT")), 1);
        QCOMPARE(imSpeicher(QStringLiteral("ERUE-KAPUTT")), 1);
    }

    void kaputteSeiteHaeltDenGanzenBeleg()
    {
        // Page 2 of three cannot be read: no page of the Beleg is filed, so
        // its document is never replaced by page 1 alone (and pages 2 and 3
        // never appended to the old one first).
        Belegbau bau(m_v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("UE-TEIL"), {{"tif", "alt", Belegbau::tiff(2)}});
        scan(QStringLiteral("ERUE-TEIL"), 1);
        scan(QStringLiteral("ERUE-TEIL"), 2, QByteArray("II*\0kaputt"));
        scan(QStringLiteral("ERUE-TEIL"), 3);
        m_v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")});
        const scan::Uebernahmebericht b = scan::ScanBelegUebernahme(m_v, QStringLiteral("ERUE-TEIL"), true);
        QCOMPARE(b.uebernommen, 0);
        QCOMPARE(b.fehlgeschlagen, 3);
        QCOMPARE(b.fehler.size(), 1);
        QVERIFY2(b.fehler.first().contains(QStringLiteral("ERUE-TEIL")) && b.fehler.first().contains(QStringLiteral("Seite 2")),
                 qPrintable(b.fehler.first()));
        QCOMPARE(imSpeicher(QStringLiteral("ERUE-TEIL")), 3);
        QCOMPARE(neuestesDokument(id), QList<int>({1, 2}));
        // Given back: a later transfer may take them again.
        QCOMPARE(m_server->sqlite(QStringLiteral("SELECT count(*) FROM ar_scandat WHERE dokument = 'ERUE-TEIL' AND genommen IS NOT NULL"))->toInt(), 0);
    }

    void speichernScheitertNachDemHochladen_data()
    {
        QTest::addColumn<bool>("serverWeg");
        QTest::newRow("server stopped") << true;
        QTest::newRow("another workstation saved first") << false;
    }

    void speichernScheitertNachDemHochladen()
    {
        // The pages went up; the Beleg's own save is what fails. Nothing of
        // the transfer is stored, and every page waits in the store.
        QFETCH(bool, serverWeg);
        test::ArchivServer eigener(test::ArchivServer::Inhalt::Demo, 3);
        QVERIFY2(eigener.starten(), qPrintable(eigener.fehler()));
        server::Verbindung v;
        QVERIFY(v.Connect(eigener.verbindungstext()));
        Belegbau bau(v);
        const QString id = bau.anlegen(QStringLiteral("ER"), QStringLiteral("UE-SPAET"), {{"tif", "alt", Belegbau::tiff(1)}});
        for (int seite : {1, 2}) {
            server::Objekt s = v.New(QStringLiteral("AR.Scandat"));
            s.set(QStringLiteral("dokument"), QStringLiteral("ERUE-SPAET"));
            s.set(QStringLiteral("seite"), QString::number(seite));
            s.strom(QStringLiteral("dok")).Write(
                imaging::TiffDatei::schreibenG4({imaging::TiffDatei::lesen(Belegbau::tiff(seite), QStringLiteral("s.tif")).last()}));
            QCOMPARE(s.SYS_Save(), 1);
        }
        v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ScanBelegSuche"), {QStringLiteral("1")});
        server::setzeVorDemSpeichern([&](const QString &klasse) {
            if (klasse != QLatin1String("AR.Dokumente"))
                return;
            server::setzeVorDemSpeichern({});
            if (serverWeg) {
                eigener.stoppen();
                return;
            }
            server::Objekt anderer = v.OpenId(QStringLiteral("AR.Dokumente"), id);
            anderer.set(QStringLiteral("zeit"), QStringLiteral("11:11:11"));
            QCOMPARE(anderer.SYS_Save(), 1);
        });
        const scan::Uebernahmebericht b = scan::ScanBelegUebernahme(v, QStringLiteral("ERUE-SPAET"), true);
        server::setzeVorDemSpeichern({});
        QCOMPARE(b.uebernommen, 0);
        QCOMPARE(b.fehlgeschlagen, 2);
        QCOMPARE(b.fehler.size(), 1);
        if (serverWeg)
            QVERIFY(eigener.neustarten());
        const auto imEigenen = [&v] {
            server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Scandat"), QStringLiteral("ListeDokument"));
            rs.Execute(QStringList{QStringLiteral("ERUE-SPAET")});
            int n = 0;
            while (rs.Next())
                ++n;
            return n;
        };
        QCOMPARE(imEigenen(), 2);
        server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).Count(), 1);
        QCOMPARE(beleg.sammlung(QStringLiteral("Doks")).getat(1).strom(QStringLiteral("dok")).Read(1 << 20), Belegbau::tiff(1));
        // Once the server is there, or with the newer state, the same
        // transfer goes through, whole.
        const scan::Uebernahmebericht nochmals = scan::ScanBelegUebernahme(v, QStringLiteral("ERUE-SPAET"), true);
        QVERIFY2(nochmals.uebernommen == 2, qPrintable(nochmals.fehler.join(u'\n')));
        QVERIFY(nochmals.fehler.isEmpty());
        QCOMPARE(imEigenen(), 0);
    }

    void leererSpeicherTutNichts()
    {
        m_v.ClassMethods(QStringLiteral("AR.Scandat")).call(QStringLiteral("ClearAll"));
        const scan::Uebernahmebericht b = scan::ScanBelegUebernahme(m_v, QString(), true);
        QCOMPARE(b.uebernommen, 0);
        QCOMPARE(b.ohneBeleg, 0);
        QVERIFY(b.fehler.isEmpty());
    }
};

QTEST_MAIN(TestUebernahme)
#include "tst_uebernahme.moc"
