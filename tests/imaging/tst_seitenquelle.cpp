#include "imaging/Bilddatei.h"
#include "imaging/OrdnerQuelle.h"
#include "imaging/SaneQuelle.h"
#include "imaging/TiffDatei.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace archiv::imaging;

// Scanner sources against SANE's "test" backend, enabled through a private
// SANE_CONFIG_DIR, and folder sources with real files.
class TestSeitenquelle : public QObject
{
    Q_OBJECT
    QTemporaryDir m_sane;
    QTemporaryDir m_dir;
    // SANE reads its configuration once per process: the empty feeder runs
    // as a second process (ARCHIV_SANE_LEER set by CTest).
    const bool m_leer = qEnvironmentVariableIsSet("ARCHIV_SANE_LEER");

    static void schreiben(const QString &pfad, const QByteArray &inhalt)
    {
        QFile f(pfad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(inhalt);
    }

private Q_SLOTS:
    void initTestCase()
    {
        schreiben(m_sane.filePath("dll.conf"), "test\n");
        schreiben(m_sane.filePath("test.conf"),
                  "number_of_devices 1\nmode Gray\ndepth 1\nresolution 75.0\ntest-picture \"Solid black\"\n"
                  "read-status-code \"" +
                      QByteArray(m_leer ? "SANE_STATUS_NO_DOCS" : "Default") +
                      "\"\ngeometry_min 0.0\ngeometry_max 400.0\ngeometry_quant 1.0\n"
                      "tl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n");
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(m_sane.path()));
        if (!SaneQuelle::geraete().contains(QStringLiteral("test:0")))
            QSKIP("SANE test backend not available");
    }

    void flachbettEineSeite()
    {
        if (m_leer)
            QSKIP("empty feeder run");
        auto quelle = Seitenquelle::oeffnen(QStringLiteral("test:0"));
        QList<Seite> seiten;
        Scaneinstellungen e;
        e.dpi = QStringLiteral("100");
        e.einzug = QStringLiteral("Flatbed");
        QCOMPARE(quelle->erfassen(e, [&](const Seite &s) { seiten << s; }), int(Seitenquelle::Ok));
        QCOMPARE(seiten.size(), 1);
        const Seite &s = seiten.first();
        QCOMPARE(s.dpiX(), 100);
        // The frame is 9 x 12 inches (within the device's range).
        QVERIFY2(qAbs(s.breite() - 900) <= 1, qPrintable(QString::number(s.breite())));
        QVERIFY2(qAbs(s.hoehe() - 1200) <= 1, qPrintable(QString::number(s.hoehe())));
        // "Solid black" arrives black.
        QCOMPARE(s.bild().pixelIndex(10, 10), 1);
        QCOMPARE(s.bild().pixelIndex(450, 600), 1);
    }

    void einzugZehnSeiten()
    {
        if (m_leer)
            QSKIP("empty feeder run");
        auto quelle = Seitenquelle::oeffnen(QStringLiteral("test:0"));
        int seiten = 0;
        Scaneinstellungen e;
        e.dpi = QStringLiteral("50");
        e.einzug = QStringLiteral("Automatic Document Feeder");
        QCOMPARE(quelle->erfassen(e, [&](const Seite &) { ++seiten; }), int(Seitenquelle::Ok));
        QCOMPARE(seiten, 10);
    }

    void leererEinzugUndFehler()
    {
        auto fehlt = Seitenquelle::oeffnen(QStringLiteral("test:99"));
        QCOMPARE(fehlt->erfassen({}, [](const Seite &) {}), int(Seitenquelle::NichtBereit));
        QVERIFY(!fehlt->letzterFehler().isEmpty());
        if (!m_leer)
            return;
        auto quelle = Seitenquelle::oeffnen(QStringLiteral("test:0"));
        Scaneinstellungen e;
        e.einzug = QStringLiteral("Automatic Document Feeder");
        int seiten = 0;
        QCOMPARE(quelle->erfassen(e, [&](const Seite &) { ++seiten; }), int(Seitenquelle::KeineVorlagen));
        QCOMPARE(seiten, 0);
    }

    void ordnerQuelle()
    {
        if (m_leer)
            QSKIP("empty feeder run");
        const QString ordner = m_dir.filePath(QStringLiteral("eingang"));
        QDir().mkpath(ordner);
        Seite a = Seite::leer(400, 300, 200);
        a.bild().setPixel(1, 1, 1);
        Seite b = Seite::leer(400, 300, 200);
        b.bild().setPixel(2, 2, 1);
        Bilddatei::schreiben(ordner + QStringLiteral("/b.tif"), {TiffDatei::kodieren(a), TiffDatei::kodieren(b)}, MehrseitigesTiff);
        Bilddatei::schreiben(ordner + QStringLiteral("/c.pdf"), {TiffDatei::kodieren(b)}, Pdf);
        QImage png(200, 100, QImage::Format_RGB32);
        png.fill(Qt::white);
        png.setPixel(3, 3, qRgb(0, 0, 0));
        QVERIFY(png.save(ordner + QStringLiteral("/a.png")));
        schreiben(ordner + QStringLiteral("/notiz.txt"), "bleibt liegen");

        auto quelle = Seitenquelle::oeffnen(QStringLiteral("Ordner: ") + ordner);
        QCOMPARE(quelle->name(), QStringLiteral("Ordner: ") + ordner);
        QList<Seite> seiten;
        QCOMPARE(quelle->erfassen({}, [&](const Seite &s) { seiten << s; }), int(Seitenquelle::Ok));
        // Name order: a.png, b.tif (two pages), c.pdf.
        QCOMPARE(seiten.size(), 4);
        QCOMPARE(seiten.at(0).bild().pixelIndex(3, 3), 1);
        QVERIFY(seiten.at(1) == a);
        QVERIFY(seiten.at(2) == b);
        QVERIFY(seiten.at(3) == b);
        QCOMPARE(QDir(ordner).entryList(QDir::Files), QStringList{"notiz.txt"});
        QCOMPARE(QDir(ordner + QStringLiteral("/uebernommen")).entryList(QDir::Files), QStringList({"a.png", "b.tif", "c.pdf"}));

        // Nothing new: nothing delivered, like a feeder without paper. A
        // broken file stops with an error and stays where it is.
        seiten.clear();
        QCOMPARE(quelle->erfassen({}, [&](const Seite &s) { seiten << s; }), int(Seitenquelle::KeineVorlagen));
        QVERIFY(seiten.isEmpty());
        schreiben(ordner + QStringLiteral("/d.tif"), "II*\0kaputt");
        QCOMPARE(quelle->erfassen({}, [&](const Seite &s) { seiten << s; }), int(Seitenquelle::Dateifehler));
        QVERIFY(QFile::exists(ordner + QStringLiteral("/d.tif")));
        QVERIFY(quelle->letzterFehler().contains(QStringLiteral("d.tif")));
        // The same name again goes beside the first one.
        QFile::remove(ordner + QStringLiteral("/d.tif"));
        QVERIFY(png.save(ordner + QStringLiteral("/a.png")));
        QCOMPARE(quelle->erfassen({}, [&](const Seite &s) { seiten << s; }), int(Seitenquelle::Ok));
        QCOMPARE(QDir(ordner + QStringLiteral("/uebernommen")).entryList(QDir::Files).size(), 4);
        QCOMPARE(Seitenquelle::oeffnen(QStringLiteral("Ordner: /gibt/es/nicht"))->erfassen({}, [](const Seite &) {}),
                 int(Seitenquelle::NichtBereit));
    }
};

QTEST_GUILESS_MAIN(TestSeitenquelle)
#include "tst_seitenquelle.moc"
