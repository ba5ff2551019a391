// Reading e-invoices on one core: the KoSIT XML samples (UBL and CII) and
// the hybrid PDFs (embedded XML found through QPDF and read), each set read
// over and over for a few seconds. Samples from ARCHIV_EINVOICE or
// ../shared/einvoice beside the repository.
#include "einvoice/Ansicht.h"
#include "einvoice/Originalansicht.h"
#include "einvoice/Rechnungsleser.h"

#include <QGuiApplication>
#include <QTextDocument>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

using namespace archiv;

namespace {

QList<QByteArray> dateien(const QString &ordner, const QStringList &muster)
{
    QList<QByteArray> liste;
    QDirIterator it(ordner, muster, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly))
            liste << f.readAll();
    }
    return liste;
}

// Files read per second, and how many of them gave an invoice.
std::pair<double, int> messen(const QList<QByteArray> &liste)
{
    QElapsedTimer uhr;
    uhr.start();
    qint64 gelesen = 0;
    int rechnungen = 0;
    while (uhr.elapsed() < 3000) {
        rechnungen = 0;
        for (const QByteArray &d : liste)
            rechnungen += einvoice::lesen(d).rechnung.has_value();
        gelesen += liste.size();
    }
    return {gelesen * 1000.0 / uhr.elapsed(), rechnungen};
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTextStream aus(stdout);
    QString ordner = qEnvironmentVariable("ARCHIV_EINVOICE");
    if (ordner.isEmpty())
        ordner = QStringLiteral(ARCHIV_QUELLE "/../shared/einvoice");
    const QList<QByteArray> xml = dateien(ordner + QStringLiteral("/kosit"), {"*.xml"});
    const QList<QByteArray> pdf = dateien(ordner + QStringLiteral("/zugferd"), {"*.pdf"});
    if (xml.isEmpty() || pdf.isEmpty()) {
        aus << "bench_rechnung: keine Beispiele in " << ordner << Qt::endl;
        return 1;
    }
    const auto [xmlRate, xmlGut] = messen(xml);
    aus << QStringLiteral("XML (KoSIT): %1 Dateien, %2 gelesen, %3 Rechnungen/s").arg(xml.size()).arg(xmlGut).arg(xmlRate, 0, 'f', 0) << Qt::endl;
    const auto [pdfRate, pdfGut] = messen(pdf);
    aus << QStringLiteral("hybride PDF: %1 Dateien, %2 gelesen, %3 Rechnungen/s").arg(pdf.size()).arg(pdfGut).arg(pdfRate, 0, 'f', 0) << Qt::endl;
    // The readable view of the largest XML invoice: read, HTML, laid out.
    QByteArray groesste;
    for (const QByteArray &d : xml)
        if (d.size() > groesste.size())
            groesste = d;
    QElapsedTimer uhr;
    uhr.start();
    constexpr int Runden = 20;
    for (int i = 0; i < Runden; ++i) {
        QTextDocument doc;
        doc.setHtml(einvoice::alsHtml(*einvoice::lesen(groesste).rechnung));
        doc.setTextWidth(800);
        doc.size();
    }
    aus << QStringLiteral("lesbare Ansicht (%1 KiB): %2 ms").arg(groesste.size() / 1024).arg(double(uhr.elapsed()) / Runden, 0, 'f', 1) << Qt::endl;
    // What the editor does to show it: read, laid out as A4 pages at screen
    // resolution, each page as a colour picture and its bilevel form.
    uhr.restart();
    int seiten = 0;
    for (int i = 0; i < Runden; ++i)
        seiten = int(einvoice::bildschirmseiten(einvoice::original(QStringLiteral("r.xml"), QStringLiteral("xml"), groesste), 120).seiten.size());
    aus << QStringLiteral("im Editor geöffnet (%1 Seiten bei 120 dpi): %2 ms").arg(seiten).arg(double(uhr.elapsed()) / Runden, 0, 'f', 1)
        << Qt::endl;
    return 0;
}
