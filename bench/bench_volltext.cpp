// OCR for the full-text search on A4 pages at 300 dpi, bilevel as scanned:
// generated German business text at 10 to 12 pt, clean and with noise.
// Pages per second of the server's reader (the child "archivd volltext-lesen",
// one thread) beside the tesseract command on the same pages, and the share
// of the known words the reader found. Run on one core: taskset -c 0.
#include "imaging/Bilddatei.h"
#include "server/ErgebnisMenge.h"
#include "server/Verbindung.h"
#include "support/ArchivServer.h"
#include "support/Belegbau.h"
#include "imaging/Seite.h"
#include "imaging/TiffDatei.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

using namespace archiv;

namespace {

const QStringList Woerter{"Rechnung", "Lieferschein", "Rohrschelle", "verzinkt", "Schraube", "Dübel", "Kabeltrommel", "Spanplatte",
                          "Straße", "Müller", "Größe", "Überweisung", "Zahlungsziel", "Skonto", "Menge", "Einzelpreis", "Gesamtbetrag",
                          "Kupferrohr", "Winkelschleifer", "Kopierpapier", "Versandkosten", "Bestellung", "Lieferung", "Kunde", "Steuer"};

QString falten(const QString &t)
{
    QString z = t.toCaseFolded().replace(QStringLiteral("ß"), QStringLiteral("ss")).normalized(QString::NormalizationForm_D);
    QString f;
    for (const QChar c : z)
        if (c.category() != QChar::Mark_NonSpacing)
            f += c;
    return f;
}

// One page: lines of words, and the words written on it.
imaging::KodierteSeite kodierteSeite(QRandomGenerator &zufall, bool rauschen, QStringList *geschrieben)
{
    QImage bild(2480, 3508, QImage::Format_Grayscale8);
    bild.fill(Qt::white);
    {
        QPainter p(&bild);
        p.setPen(Qt::black);
        int y = 300;
        for (int zeile = 0; zeile < 40; ++zeile) {
            QFont f(QStringLiteral("DejaVu Sans"));
            f.setPixelSize(42 + int(zufall.bounded(9))); // 10 to 12 pt at 300 dpi
            p.setFont(f);
            QStringList z;
            for (int w = 0; w < 6; ++w)
                z << Woerter.at(int(zufall.bounded(Woerter.size())));
            p.drawText(200, y, z.join(u' '));
            *geschrieben << z;
            y += 75;
        }
    }
    imaging::Seite s(bild, 300, 300);
    if (rauschen) {
        QImage &b = s.bild();
        for (int i = 0; i < b.width() * b.height() / 400; ++i)
            b.setPixel(int(zufall.bounded(b.width())), int(zufall.bounded(b.height())), zufall.bounded(2));
    }
    return imaging::TiffDatei::kodieren(s);
}

QByteArray seite(QRandomGenerator &zufall, bool rauschen, QStringList *geschrieben)
{
    return imaging::Bilddatei::kodieren({kodierteSeite(zufall, rauschen, geschrieben)}, imaging::MehrseitigesTiff);
}

// A new 3-page Beleg saved to an otherwise idle server (one OCR thread):
// seconds until the search finds the words of its last page's first line.
void durchsuchbarNach(QTextStream &aus, QRandomGenerator &zufall)
{
    qputenv("ARCHIVD_BIN", ARCHIVD_PFAD);
    test::ArchivServer server(test::ArchivServer::Inhalt::Demo, 30);
    if (!server.starten({QStringLiteral("--ocr-threads"), QStringLiteral("1")})) {
        aus << "bench_volltext: " << server.fehler() << Qt::endl;
        return;
    }
    server::Verbindung v;
    if (!v.Connect(server.verbindungstext()))
        return;
    QList<imaging::KodierteSeite> seiten;
    QStringList geschrieben;
    for (int i = 0; i < 3; ++i) {
        geschrieben.clear();
        seiten << kodierteSeite(zufall, false, &geschrieben);
    }
    const QString woerter = geschrieben.mid(0, 6).join(u' ');
    QElapsedTimer uhr;
    uhr.start();
    test::Belegbau(v).anlegen(QStringLiteral("LS"), QStringLiteral("BV-3"),
                              {{QStringLiteral("tif"), {}, imaging::Bilddatei::kodieren(seiten, imaging::MehrseitigesTiff)}});
    const double gespeichert = uhr.nsecsElapsed() / 1e9;
    while (uhr.elapsed() < 120000) {
        server::ErgebnisMenge rs = v.ResultSet(QStringLiteral("AR.Dokumente"), QStringLiteral("Suche"));
        rs.Execute(QStringList{"1", "", "", "", "", "", "10", woerter});
        const bool da = rs.Next();
        rs.Close();
        if (da) {
            aus << QStringLiteral("neuer Beleg mit 3 Seiten: gespeichert nach %1 s, durchsuchbar nach %2 s (\"%3\")")
                       .arg(gespeichert, 0, 'f', 2)
                       .arg(uhr.nsecsElapsed() / 1e9, 0, 'f', 1)
                       .arg(woerter)
                << Qt::endl;
            return;
        }
        QThread::msleep(200);
    }
    aus << "neuer Beleg mit 3 Seiten: nach 120 s nicht gefunden (\"" << woerter << "\")" << Qt::endl;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QTextStream aus(stdout);
    const int anzahl = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 4;
    QTemporaryDir dir;
    QRandomGenerator zufall(1972);
    qputenv("OMP_THREAD_LIMIT", "1");
    for (const bool rauschen : {false, true}) {
        QStringList pfade;
        QList<QStringList> texte;
        for (int i = 0; i < anzahl; ++i) {
            QStringList w;
            const QString pfad = dir.filePath(QStringLiteral("s%1%2.tif").arg(rauschen).arg(i));
            QFile f(pfad);
            f.open(QIODevice::WriteOnly);
            f.write(seite(zufall, rauschen, &w));
            pfade << pfad;
            texte << w;
        }
        QElapsedTimer uhr;
        uhr.start();
        qint64 gefunden = 0, gesamt = 0;
        for (int i = 0; i < pfade.size(); ++i) {
            QProcess p;
            p.setStandardInputFile(pfade.at(i));
            p.start(QStringLiteral(ARCHIVD_PFAD), {QStringLiteral("volltext-lesen"), QStringLiteral("tif")});
            p.waitForFinished(600000);
            const QString gelesen = falten(QString::fromUtf8(p.readAllStandardOutput()));
            QSet<QString> da;
            static const QRegularExpression wort(QStringLiteral("[\\p{L}\\p{N}]+"));
            for (auto it = wort.globalMatch(gelesen); it.hasNext();)
                da.insert(it.next().captured(0));
            for (const QString &w : texte.at(i)) {
                ++gesamt;
                gefunden += da.contains(falten(w));
            }
        }
        const double unsere = pfade.size() * 1000.0 / uhr.elapsed();
        uhr.restart();
        for (const QString &pfad : pfade) {
            QProcess p;
            p.start(QStringLiteral("tesseract"), {pfad, QStringLiteral("-"), QStringLiteral("-l"), QStringLiteral("deu+eng")});
            p.waitForFinished(600000);
        }
        const double ihre = pfade.size() * 1000.0 / uhr.elapsed();
        aus << QStringLiteral("%1: Leser %2 Seiten/s, tesseract %3 Seiten/s (%4 %), Wörter gefunden %5 %")
                   .arg(rauschen ? QStringLiteral("mit Rauschen") : QStringLiteral("sauber"))
                   .arg(unsere, 0, 'f', 2)
                   .arg(ihre, 0, 'f', 2)
                   .arg(100.0 * unsere / ihre, 0, 'f', 0)
                   .arg(100.0 * double(gefunden) / double(qMax<qint64>(1, gesamt)), 0, 'f', 1)
            << Qt::endl;
    }
    durchsuchbarNach(aus, zufall);
    return 0;
}
