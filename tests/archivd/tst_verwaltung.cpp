#include "Passwort.h"
#include "Verwaltung.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace archiv;
using archiv::test::ArchivServer;

// The administration commands of archivd: CSV import of master data and
// recording backups, run as a real process on a real archive.
class TestVerwaltung : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString datei(const QString &name, const QByteArray &inhalt)
    {
        const QString pfad = m_dir.filePath(name);
        QFile f(pfad);
        f.open(QIODevice::WriteOnly);
        f.write(inhalt);
        return pfad;
    }

private Q_SLOTS:
    // "archivd rechnung": one JSON object a line per file, in the order
    // given; a file that is no invoice is named with why, and the exit code
    // says that one was not read.
    void rechnungenLesen()
    {
        const QString beispiele = qEnvironmentVariable("ARCHIV_EINVOICE");
        QTemporaryDir dir;
        const QString kaputt = dir.filePath(QStringLiteral("Rechnung Müller.xml"));
        QFile f(kaputt);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><x>&e;</x>");
        f.close();
        const QStringList dateien{beispiele + QStringLiteral("/zugferd/intarsys/EN16931/zugferd_2p0_EN16931_Miete.pdf"),
                                  beispiele + QStringLiteral("/kosit/technical-cases/cius/01.01_comprehensive_test_uncefact.xml"), kaputt};
        QString ausgabe;
        QCOMPARE(test::ArchivServer::archivd(QStringList{"rechnung"} + dateien, &ausgabe), 1);
        QList<QJsonObject> zeilen;
        for (const QString &z : ausgabe.split(u'\n', Qt::SkipEmptyParts))
            if (z.startsWith(u'{'))
                zeilen << QJsonDocument::fromJson(z.toUtf8()).object();
        QCOMPARE(zeilen.size(), 3);
        QCOMPARE(zeilen[0].value("art").toString(), QStringLiteral("hybrid PDF"));
        QCOMPARE(zeilen[0].value("nummer").toString(), QStringLiteral("9314110911/00/M/00/N"));
        QCOMPARE(zeilen[0].value("brutto").toString(), QStringLiteral("340.96"));
        QCOMPARE(zeilen[1].value("art").toString(), QStringLiteral("CII"));
        QCOMPARE(zeilen[1].value("verkaeufer").toObject().value("ustId").toString(), QStringLiteral("ATU123456789"));
        QCOMPARE(zeilen[2].value("datei").toString(), kaputt);
        QVERIFY(zeilen[2].value("befunde").toArray().first().toString().contains(QLatin1String("DTD")));
        QVERIFY(!zeilen[2].contains("nummer"));
        QCOMPARE(test::ArchivServer::archivd({"rechnung"}, &ausgabe), 2);
    }

    // Checks that run side by side are each counted before they are
    // checked: of 40 wrong guesses at once, 20 are checked (each after its
    // wait), the rest refused at once, and exactly one begins the lock.
    void fehlversucheZaehlenVorDerPruefung()
    {
        std::atomic<int> gesperrt{0}, neu{0}, falsch{0};
        std::vector<std::thread> faeden;
        for (int i = 0; i < 40; ++i)
            faeden.emplace_back([&] {
                const archivd::Pruefung p =
                    archivd::anmeldungPruefen(QStringLiteral("1||RATEN"), QStringLiteral("skript"), std::nullopt, true, QStringLiteral("x"));
                ++(p.ergebnis == archivd::Pruefergebnis::Gesperrt ? gesperrt : falsch);
                neu += p.neuGesperrt ? 1 : 0;
            });
        for (std::thread &t : faeden)
            t.join();
        QCOMPARE(falsch.load(), archivd::MaxFehlversucheJeMinute);
        QCOMPARE(gesperrt.load(), 40 - archivd::MaxFehlversucheJeMinute);
        QCOMPARE(neu.load(), 1);
        // Locked at that workstation only.
        const archivd::Pruefung anderswo =
            archivd::anmeldungPruefen(QStringLiteral("1||RATEN"), QStringLiteral("sauber"), std::nullopt, true, QStringLiteral("x"));
        QCOMPARE(anderswo.ergebnis, archivd::Pruefergebnis::Falsch);
    }

    void csv_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QStringList>>("saetze");
        QTest::newRow("semicolons") << "a;b\n1;2\n" << QList<QStringList>{{"a", "b"}, {"1", "2"}};
        QTest::newRow("commas, CRLF, no final line end") << "a,b\r\n1,2" << QList<QStringList>{{"a", "b"}, {"1", "2"}};
        QTest::newRow("quotes with separator, quote and line break")
            << "Name;Ort\n\"Müller; Söhne\";\"sagt \"\"hallo\"\"\nzweite Zeile\"\n"
            << QList<QStringList>{{"Name", "Ort"}, {"Müller; Söhne", "sagt \"hallo\"\nzweite Zeile"}};
        QTest::newRow("empty fields") << "a;b;c\n;;\n" << QList<QStringList>{{"a", "b", "c"}, {"", "", ""}};
    }
    void csv()
    {
        QFETCH(QString, text);
        QFETCH(QList<QStringList>, saetze);
        QCOMPARE(archivd::csvLesen(text), saetze);
    }

    void importUndSicherung()
    {
        ArchivServer server(ArchivServer::Inhalt::Demo, 10);
        QString ausgabe;
        const QString kunden = datei("kunden.csv",
                                     "Firma;Knr;Kgrp;Name;Kurzbez;Plz;Ort\n"
                                     "1;10001;GH;\"Neuer Name; GmbH\";NEU;20095;Hamburg\n"
                                     "1;99999;EH;Ganz neu;GN;10115;Berlin\n");
        QCOMPARE(ArchivServer::archivd({"import", "AR.Kund", kunden, "--db", server.dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("1 neu, 1 aktualisiert")), qPrintable(ausgabe));
        // A broken row stops the import; nothing of it is written.
        const QString kaputt = datei("kaputt.csv", "Firma;Knr;Name\n1;88888;Gut\n1;keine Zahl;Schlecht\n");
        QCOMPARE(ArchivServer::archivd({"import", "AR.Kund", kaputt, "--db", server.dbPfad()}, &ausgabe), 1);
        QVERIFY2(ausgabe.contains(QStringLiteral("Zeile 3")), qPrintable(ausgabe));
        QCOMPARE(ArchivServer::archivd({"import", "AR.Gibtsnicht", kunden, "--db", server.dbPfad()}, &ausgabe), 2);

        QCOMPARE(ArchivServer::archivd({"backup", "DVD-TEST-1", "--datum", "2026-12-08", "--db", server.dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral("DVD-TEST-1")), qPrintable(ausgabe));
        // A second DVD right after has nothing new to hold.
        QCOMPARE(ArchivServer::archivd({"backup", "DVD-TEST-2", "--db", server.dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral(": 0 Belege")), qPrintable(ausgabe));
        QCOMPARE(ArchivServer::archivd({"backup", "DVD-X", "--datum", "gestern", "--db", server.dbPfad()}, &ausgabe), 2);

        QVERIFY(server.starten());
        server::Verbindung v;
        QVERIFY(v.Connect(server.verbindungstext()));
        QCOMPARE(v.OpenId(QStringLiteral("AR.Kund"), QStringLiteral("1||10001")).get(QStringLiteral("Name")),
                 QStringLiteral("Neuer Name; GmbH"));
        QCOMPARE(v.OpenId(QStringLiteral("AR.Kund"), QStringLiteral("1||99999")).get(QStringLiteral("Ort")), QStringLiteral("Berlin"));
        QVERIFY(v.OpenId(QStringLiteral("AR.Kund"), QStringLiteral("1||88888")).istLeer());
    }

    void sicherungsbaende()
    {
        ArchivServer server(ArchivServer::Inhalt::Demo, 60);
        QTemporaryDir ziel;
        QString ausgabe;
        // Small volumes: the Belege due spread over several, each complete.
        QCOMPARE(ArchivServer::archivd({"backup", "--ziel", ziel.path(), "--band-groesse", "300000", "--name", "Täglich/Band",
                                        "--db", server.dbPfad()},
                                       &ausgabe),
                 0);
        const QStringList baende = QDir(ziel.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        QVERIFY2(baende.size() >= 2, qPrintable(ausgabe));
        for (const QString &b : baende) {
            QVERIFY(b.startsWith(QStringLiteral("TäglichBand-")));
            QCOMPARE(ArchivServer::archivd({"backup", "--verify", QDir(ziel.path()).filePath(b)}, &ausgabe), 0);
            QVERIFY2(ausgabe.contains(QStringLiteral("in Ordnung")), qPrintable(ausgabe));
        }
        // Right after, nothing is due.
        QCOMPARE(ArchivServer::archivd({"backup", "--ziel", ziel.path(), "--db", server.dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral(": 0 Belege")), qPrintable(ausgabe));

        // A Beleg saved again is due again, and "Info DVD" names both volumes.
        QVERIFY(server.starten());
        server::Verbindung v;
        QVERIFY(v.Connect(server.verbindungstext()));
        QFile belegeCsv(QDir(ziel.path()).filePath(baende.first() + QStringLiteral("/belege.csv")));
        QVERIFY(belegeCsv.open(QIODevice::ReadOnly));
        belegeCsv.readLine();
        const QString id = QString::fromUtf8(belegeCsv.readLine()).section(u';', 0, 0);
        server::Objekt beleg = v.OpenId(QStringLiteral("AR.Dokumente"), id);
        beleg.indexwertSetzen(beleg.get(QStringLiteral("Firma")), 5, QStringLiteral("nach der Sicherung geändert"));
        QCOMPARE(beleg.SYS_Save(), 1);
        server.stoppen();
        QCOMPARE(ArchivServer::archivd({"backup", "--ziel", ziel.path(), "--name", "Nachtrag", "--db", server.dbPfad()}, &ausgabe), 0);
        QVERIFY2(ausgabe.contains(QStringLiteral(": 1 Belege")), qPrintable(ausgabe));
        QVERIFY(server.starten());
        QVERIFY(v.Connect(server.verbindungstext()));
        const server::MethodenErgebnis info = v.ClassMethods(QStringLiteral("AR.Dokumente")).call(QStringLiteral("GetBackupinfo"), {id});
        QCOMPARE(info.Count(), 2);
        QCOMPARE(info.element(1), baende.first());
        QVERIFY(info.element(2).startsWith(QStringLiteral("Nachtrag-")));
        server.stoppen();

        // A damaged and a missing file are named by the check.
        const QDir band(QDir(ziel.path()).filePath(baende.first()));
        const QStringList dateien = QDir(band.filePath(QStringLiteral("belege/") + id)).entryList(QDir::Files);
        QVERIFY(!dateien.isEmpty());
        QFile kaputt(band.filePath(QStringLiteral("belege/%1/%2").arg(id, dateien.first())));
        QVERIFY(kaputt.open(QIODevice::ReadWrite));
        kaputt.seek(20);
        kaputt.write("X");
        kaputt.close();
        QVERIFY(QFile::remove(band.filePath(QStringLiteral("indexwerte.csv"))));
        QCOMPARE(ArchivServer::archivd({"backup", "--verify", band.path()}, &ausgabe), 1);
        QVERIFY2(ausgabe.contains(QStringLiteral("beschädigt: belege/%1/%2").arg(id, dateien.first())), qPrintable(ausgabe));
        QVERIFY2(ausgabe.contains(QStringLiteral("fehlt: indexwerte.csv")), qPrintable(ausgabe));
        QCOMPARE(ArchivServer::archivd({"backup", "--verify", ziel.filePath(QStringLiteral("gibtsnicht"))}, &ausgabe), 1);
    }
};

QTEST_GUILESS_MAIN(TestVerwaltung)
#include "tst_verwaltung.moc"
