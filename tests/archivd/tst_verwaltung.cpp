#include "Verwaltung.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestVerwaltung)
#include "tst_verwaltung.moc"
