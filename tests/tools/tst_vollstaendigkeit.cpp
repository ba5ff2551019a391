// The completeness test against a real archivd: gaps, Belege without a
// document, damaged files, an error from the server, the 500-line limit
// with the job cancelled, and the report kept when the window reopens.
#include "app/Drucken.h"
#include "common/Programmzustand.h"
#include "imaging/Seitenliste.h"
#include "server/KlassenMethoden.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "support/MeldungsRecorder.h"
#include "support/Steuerelemente.h"
#include "support/Testumgebung.h"
#include "tools/Vollstaendigkeitstest.h"

#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDate>
#include <QCryptographicHash>
#include <QFile>
#include <QLineEdit>
#include <QPdfWriter>
#include <QPrinter>

#include <poppler-qt6.h>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace archiv;
using archiv::test::Belegbau;
using archiv::test::teil;

class TestVollstaendigkeit : public QObject
{
    Q_OBJECT
    std::unique_ptr<test::ArchivServer> m_server;
    std::shared_ptr<server::Verbindung> m_v;

    // Type and year chosen as a user does, then "Starten".
    static QStringList lauf(tools::Vollstaendigkeitstest &f, const QString &typ, const QString &jahr, bool dateien = false)
    {
        auto *t = teil<QComboBox>(&f, "LIBelart");
        t->setCurrentIndex(t->findData(typ));
        auto *j = teil<QComboBox>(&f, "WJahr");
        j->lineEdit()->selectAll();
        QTest::keyClicks(j->lineEdit(), jahr);
        auto *d = teil<QCheckBox>(&f, "CHDateien");
        if (d->isChecked() != dateien)
            QTest::mouseClick(d, Qt::LeftButton, {}, QPoint(5, d->height() / 2));
        QTest::mouseClick(teil<QPushButton>(&f, "BUStart"), Qt::LeftButton);
        return teil<QPlainTextEdit>(&f, "Ausgabe")->toPlainText().split(u'\n');
    }

private Q_SLOTS:
    void initTestCase()
    {
        test::einstellungenAbschirmen();
        m_server = std::make_unique<test::ArchivServer>(test::ArchivServer::Inhalt::Demo, 10);
        QVERIFY2(m_server->starten(), qPrintable(m_server->fehler()));
        m_v = std::make_shared<server::Verbindung>();
        QVERIFY(m_v->Connect(m_server->verbindungstext()));
        global::Archivverbindung = m_v;
        // Gutschriften of 2031: 9003-9004 and 9007-9009 missing, 9005 without a file.
        Belegbau bau(*m_v);
        for (const char *nr : {"9001", "9002", "9005", "9006", "9010", "9006/1"})
            bau.anlegen(QStringLiteral("GU"), QLatin1String(nr),
                        QLatin1String(nr) == QLatin1String("9005") ? QList<test::Dokumentdatei>{}
                                                                   : QList<test::Dokumentdatei>{{"tif", "", Belegbau::tiff(1)}},
                        {}, QStringLiteral("2031-05-02"));
        bau.anlegen(QStringLiteral("GU"), QStringLiteral("9004"), {{"tif", "", Belegbau::tiff(1)}}, {}, QStringLiteral("2032-01-02"));
    }

    // The year is picked from this one and the nine before, or typed.
    void jahrAusDerListe()
    {
        tools::Vollstaendigkeitstest f;
        auto *j = teil<QComboBox>(&f, "WJahr");
        QCOMPARE(j->count(), 10);
        QCOMPARE(j->itemText(0), QString::number(QDate::currentDate().year()));
        QCOMPARE(j->itemText(9), QString::number(QDate::currentDate().year() - 9));
        QVERIFY(j->currentText().isEmpty());
        j->showPopup();
        QTest::keyClick(j->view(), Qt::Key_Down);
        QTest::keyClick(j->view(), Qt::Key_Return);
        QCOMPARE(j->currentText(), QString::number(QDate::currentDate().year() - 1));
    }

    void lueckenUndOhneDokument()
    {
        test::MeldungsRecorder meldungen;
        tools::Vollstaendigkeitstest f;
        f.laden(QStringLiteral("1"));
        f.show();
        QCOMPARE(f.windowTitle(), QStringLiteral("Archiv - Vollständigkeitstest"));
        QCOMPARE(teil<QComboBox>(&f, "LIBelart")->currentIndex(), -1); // nothing preselected
        QVERIFY(teil<QComboBox>(&f, "LIBelart")->findData(QStringLiteral("LS")) < 0); // not tested for completeness
        const QStringList bericht = lauf(f, QStringLiteral("GU"), QStringLiteral("2031"));
        QCOMPARE(bericht,
                 QStringList({"Belegart GU, Wirtschaftsjahr 2031: 01.01.2031 bis 31.12.2031", "Nummern 9003 bis 9004 fehlen (2)",
                              "Nummern 9007 bis 9009 fehlen (3)", "Beleg 9005 vom 02.05.2031 hat kein Dokument",
                              "6 Belege geprüft: 5 Nummern fehlen, 1 ohne Dokument"}));
        QVERIFY(teil<QPushButton>(&f, "BUStart")->isEnabled());
        QVERIFY(meldungen.texte().isEmpty());

        // Closed and opened again: the report is still there.
        QTest::mouseClick(teil<QPushButton>(&f, "BUClose"), Qt::LeftButton);
        QVERIFY(f.isHidden());
        f.laden(QStringLiteral("1"));
        f.show();
        QCOMPARE(teil<QPlainTextEdit>(&f, "Ausgabe")->toPlainText().split(u'\n'), bericht);

        // An error of the server ends the run and is shown.
        QCOMPARE(lauf(f, QStringLiteral("GU"), QStringLiteral("20x1")), QStringList{"\"20x1\" ist kein Wirtschaftsjahr (z. B. 2026)."});
    }

    void beschaedigteDatei()
    {
        // A file whose stored bytes no longer match their hash.
        const QByteArray datei = Belegbau::tiff(3);
        Belegbau(*m_v).anlegen(QStringLiteral("GU"), QStringLiteral("9100"), {{"tif", "", datei}}, {}, QStringLiteral("2033-02-01"));
        if (m_server->aufPostgres())
            QSKIP("the file is damaged through the SQLite archive");
        // A file damaged past the server, as a failing disk would.
        m_server->ohneNachpruefung();
        QVERIFY(m_server->sqlite(QStringLiteral("UPDATE blob_teile SET data = zeroblob(length(data)) WHERE sha256 = '%1'")
                                     .arg(QString::fromLatin1(QCryptographicHash::hash(datei, QCryptographicHash::Sha256).toHex()))));
        tools::Vollstaendigkeitstest f;
        f.laden(QStringLiteral("1"));
        f.show();
        const QStringList ohne = lauf(f, QStringLiteral("GU"), QStringLiteral("2033"));
        QCOMPARE(ohne.last(), QStringLiteral("1 Belege geprüft: 0 Nummern fehlen, 0 ohne Dokument"));
        const QStringList mit = lauf(f, QStringLiteral("GU"), QStringLiteral("2033"), true);
        QCOMPARE(mit.size(), 3);
        QVERIFY2(mit.at(1).startsWith(QStringLiteral("Datei von Beleg 9100 ist beschädigt")), qPrintable(mit.at(1)));
        QCOMPARE(mit.last(), QStringLiteral("1 Belege geprüft: 0 Nummern fehlen, 0 ohne Dokument, 1 von 1 Dateien fehlerhaft"));
    }

    // More than 500 lines: 500 shown, the job cancelled, the user told.
    void grenzeVon500Zeilen()
    {
        Belegbau bau(*m_v);
        for (int i = 0; i < 520; ++i)
            bau.anlegen(QStringLiteral("GU"), QString::number(20000 + 2 * i), {}, {}, QStringLiteral("2034-03-01"));
        tools::Vollstaendigkeitstest f;
        f.laden(QStringLiteral("1"));
        f.show();
        const QStringList bericht = lauf(f, QStringLiteral("GU"), QStringLiteral("2034"));
        QCOMPARE(bericht.size(), 501);
        QCOMPARE(bericht.at(1), QStringLiteral("Nummer 20001 fehlt"));
        QCOMPARE(bericht.last(), QStringLiteral("*** ABBRUCH durch Benutzer ***"));
        // The window cancelled its job on the server: its lines are not
        // fetched any more, and the job is gone.
        QVERIFY(!f.auftrag().isEmpty());
        server::KlassenMethoden m = m_v->ClassMethods(QStringLiteral("AR.Dokumente"));
        const QString danach = m.call(QStringLiteral("VTestErg"), {f.auftrag()}).wert();
        QVERIFY2(danach.startsWith(QStringLiteral("ERR|")) && danach.contains(QStringLiteral("gibt es nicht")), qPrintable(danach));
    }

    // A company whose business year starts in April: 9004 of January 2032
    // belongs to 2031.
    void wirtschaftsjahrAbApril()
    {
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Firma"), {{{"Firma", "1"}, {"wjbeginn", "4"}}}));
        tools::Vollstaendigkeitstest f;
        f.laden(QStringLiteral("1"));
        f.show();
        const QStringList bericht = lauf(f, QStringLiteral("GU"), QStringLiteral("2031"));
        QVERIFY(m_server->stammdaten(QStringLiteral("AR.Firma"), {{{"Firma", "1"}, {"wjbeginn", "1"}}}));
        QCOMPARE(bericht.first(), QStringLiteral("Belegart GU, Wirtschaftsjahr 2031: 01.04.2031 bis 31.03.2032"));
        QCOMPARE(bericht.at(1), QStringLiteral("Nummer 9003 fehlt"));
        QVERIFY2(bericht.last().startsWith(QStringLiteral("7 Belege geprüft")), qPrintable(bericht.last()));
    }

    void berichtDrucken()
    {
        QTemporaryDir dir;
        const QString pfad = dir.filePath(QStringLiteral("v.pdf"));
        {
            QPdfWriter pdf(pfad);
            pdf.setResolution(150);
            QStringList zeilen;
            for (int i = 0; i < 150; ++i)
                zeilen << QStringLiteral("Nummer %1 fehlt").arg(i);
            tools::vollstaendigkeitDrucken(pdf, QStringLiteral("Gutschrift"), zeilen.join(u'\n'), QDate(2026, 12, 8));
        }
        QFile f(pfad);
        QVERIFY(f.open(QIODevice::ReadOnly));
        std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(f.readAll());
        QVERIFY(doc);
        QCOMPARE(doc->numPages(), 3); // 150 lines of 10 points over A4 pages
        const QString erste = doc->page(0)->text(QRectF());
        QVERIFY2(erste.contains(QStringLiteral("Vollständigkeitsliste Belege")) && erste.contains(QStringLiteral("Belegart: Gutschrift")) &&
                     erste.contains(QStringLiteral("08.12.2026")) && erste.contains(QStringLiteral("Nummer 0 fehlt")),
                 qPrintable(erste.left(300)));
        QVERIFY(doc->page(2)->text(QRectF()).contains(QStringLiteral("Nummer 149 fehlt")));
    }

    void druckenKnopfDrucktDenBericht()
    {
        // "Drucken" in the window: the report as it stands, with its heading.
        QTemporaryDir dir;
        const QString pfad = dir.filePath(QStringLiteral("knopf.pdf"));
        app::setzeStandarddrucker([&pfad](QPrinter &drucker) {
            drucker.setOutputFormat(QPrinter::PdfFormat);
            drucker.setOutputFileName(pfad);
        });
        test::MeldungsRecorder meldungen;
        tools::Vollstaendigkeitstest f;
        f.laden(QStringLiteral("1"));
        f.show();
        lauf(f, QStringLiteral("GU"), QStringLiteral("2031"));
        QTest::mouseClick(teil<QPushButton>(&f, "BUDruck"), Qt::LeftButton);
        app::setzeStandarddrucker({});
        QVERIFY(meldungen.texte().isEmpty());
        QFile datei(pfad);
        QVERIFY(datei.open(QIODevice::ReadOnly));
        std::unique_ptr<Poppler::Document> doc = Poppler::Document::loadFromData(datei.readAll());
        QVERIFY(doc);
        QCOMPARE(doc->numPages(), 1);
        const QString text = doc->page(0)->text(QRectF());
        QVERIFY2(text.contains(QStringLiteral("Belegart: Gutschrift")) && text.contains(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))) &&
                     text.contains(QStringLiteral("Nummern 9007 bis 9009 fehlen (3)")),
                 qPrintable(text));
    }
};

QTEST_MAIN(TestVollstaendigkeit)
#include "tst_vollstaendigkeit.moc"
