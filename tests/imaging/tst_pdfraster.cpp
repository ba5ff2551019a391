// Drawing PDFs that did not come from our own writer: in a process of its
// own, stopped when a page takes too long or too much memory, while the
// program that asked goes on unharmed.
#include "imaging/PdfRaster.h"
#include "imaging/Seitenliste.h"
#include "imaging/TiffDatei.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

using namespace archiv;

namespace {

// A PDF put together object by object, with a correct cross-reference table.
QByteArray pdfAus(const QList<QByteArray> &objekte)
{
    QByteArray pdf("%PDF-1.4\n");
    QList<qsizetype> stellen;
    for (qsizetype i = 0; i < objekte.size(); ++i) {
        stellen << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objekte.at(i) + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objekte.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype s : stellen)
        pdf += QByteArray::number(s).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objekte.size() + 1) + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) +
        "\n%%EOF\n";
    return pdf;
}

QByteArray strom(const QByteArray &woerterbuch, const QByteArray &inhalt)
{
    return "<< " + woerterbuch + " /Length " + QByteArray::number(inhalt.size()) + " >>\nstream\n" + inhalt + "\nendstream";
}

// A page whose content draws form 1 ten times, which draws form 2 ten
// times, and so on: a tiny file that asks for ten to the power of the
// depth strokes.
QByteArray formenBombe(int tiefe)
{
    QList<QByteArray> o{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /XObject << /F 5 0 R >> >> >>",
                        strom("", "/F Do")};
    for (int ebene = 0; ebene < tiefe; ++ebene) {
        const int naechste = 5 + ebene + 1;
        const QByteArray ressourcen = ebene + 1 < tiefe ? "/Resources << /XObject << /F " + QByteArray::number(naechste) + " 0 R >> >>" : "";
        QByteArray inhalt;
        for (int i = 0; i < 10; ++i)
            inhalt += ebene + 1 < tiefe ? "/F Do\n" : "0 0 m 612 792 l 612 0 l h f\n";
        o << strom("/Type /XObject /Subtype /Form /BBox [0 0 612 792] " + ressourcen, inhalt);
    }
    return pdfAus(o);
}

// One page of 40 by 40 inches: drawn at the highest resolution the pixel
// bound allows, which needs more memory than the bound the test sets.
QByteArray riesenseite()
{
    return pdfAus({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                   "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 2880 2880] /Contents 4 0 R >>",
                   strom("", "0 0 m 2880 2880 l 2880 0 l h f")});
}

qint64 spitzeKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &zeile : status.readAll().split('\n'))
        if (zeile.startsWith("VmHWM:"))
            return zeile.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace

class TestPdfRaster : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!imaging::pdfraster::programm().isEmpty(), "ARCHIV_RENDER names no program");
        imaging::pdfraster::setzeGrenzen(std::chrono::seconds(3), 256LL * 1024 * 1024);
    }

    void fremdesPdfWirdGezeichnet()
    {
        // A PDF of text, as a mail program or an office suite writes one.
        QTemporaryDir dir;
        const QString pfad = dir.filePath(QStringLiteral("brief.pdf"));
        {
            QPdfWriter w(pfad);
            w.setResolution(150);
            QPainter p(&w);
            p.setFont(QFont(QStringLiteral("DejaVu Sans"), 24));
            p.drawText(100, 200, QStringLiteral("Rechnung Nr. 4711 – Größe"));
            w.newPage();
            p.fillRect(QRect(100, 100, 400, 400), Qt::black);
        }
        QFile f(pfad);
        QVERIFY(f.open(QIODevice::ReadOnly));
        imaging::Seitenliste seiten;
        seiten.laden(f.readAll(), QStringLiteral("brief.pdf"));
        QCOMPARE(seiten.anzahl(), 2);
        // The square of page 2, drawn black at 300 dpi (100 of 150 units: 200 pixels in).
        const QImage zweite = seiten.seite(1).bild();
        QCOMPARE(qGray(zweite.pixel(300, 300)), 0);
        QCOMPARE(qGray(zweite.pixel(50, 50)), 255);
    }

    void bombenWerdenGestoppt_data()
    {
        QTest::addColumn<QByteArray>("pdf");
        QTest::addColumn<QString>("grund");
        QTest::newRow("Formen in Formen: zu lange") << formenBombe(9) << QStringLiteral("zu lange");
        QTest::newRow("Riesenseite: zu viel Speicher") << riesenseite() << QStringLiteral("Speicher");
    }

    void bombenWerdenGestoppt()
    {
        QFETCH(QByteArray, pdf);
        QFETCH(QString, grund);
        const qint64 vorher = spitzeKiB();
        imaging::Seitenliste seiten;
        try {
            seiten.laden(pdf, QStringLiteral("bombe.pdf"));
            QFAIL("the bomb was drawn");
        } catch (const imaging::BildFehler &e) {
            const QString text = QString::fromUtf8(e.what());
            QVERIFY2(text.startsWith(QStringLiteral("bombe.pdf: Seite 1")) && text.contains(grund), qPrintable(text));
        }
        QVERIFY(seiten.istLeer());
        // The memory went to the child, not to this process.
        QVERIFY2(spitzeKiB() - vorher < 100 * 1024, qPrintable(QString::number(spitzeKiB() - vorher)));
    }

    void eigeneSeitenOhneKind()
    {
        // Our own PDF pages are read back from their G4 data: nothing is
        // drawn, so even without a drawing program they come back.
        const QString programm = imaging::pdfraster::programm();
        imaging::pdfraster::setzeProgramm(QStringLiteral("/nicht/vorhanden/archiv"));
        const QList<imaging::Seite> vorlage = imaging::TiffDatei::lesen(imaging::TiffDatei::schreibenG4({imaging::Seite(QImage(200, 300, QImage::Format_Mono), 200, 200)}), QStringLiteral("s.tif"));
        imaging::Seitenliste eigene;
        eigene.einfuegen(0, vorlage.first());
        QTemporaryDir dir;
        eigene.speichern(dir.filePath(QStringLiteral("eigen.pdf")), 149);
        imaging::Seitenliste zurueck;
        zurueck.laden(dir.filePath(QStringLiteral("eigen.pdf")));
        QCOMPARE(zurueck.anzahl(), 1);
        QCOMPARE(zurueck.kodiert(0).g4, eigene.kodiert(0).g4);
        // A foreign page needs the program: a clear message when it is missing.
        try {
            imaging::Seitenliste fremd;
            fremd.laden(riesenseite(), QStringLiteral("fremd.pdf"));
            QFAIL("drawn without a program");
        } catch (const imaging::BildFehler &e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("startet nicht")), e.what());
        }
        imaging::pdfraster::setzeProgramm(programm);
    }
};

QTEST_MAIN(TestPdfRaster)
#include "tst_pdfraster.moc"
