#include "support/Belegbau.h"

#include "imaging/Barcode.h"
#include "imaging/TiffDatei.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <stdexcept>

namespace archiv::test {

QString Belegbau::anlegen(const QString &typ, const QString &belnr, const QList<Dokumentdatei> &dokumente,
                          const QList<std::pair<int, QString>> &werte, const QString &datum, const QString &zeit)
{
    QTemporaryDir dir;
    server::Objekt d = m_v.New(QStringLiteral("AR.Dokumente"));
    d.set(QStringLiteral("Firma"), m_firma);
    d.setRef(QStringLiteral("IdBelart"), m_firma + QStringLiteral("||") + typ);
    d.set(QStringLiteral("Belnr"), belnr);
    d.set(QStringLiteral("Datum"), datum);
    d.set(QStringLiteral("zeit"), zeit);
    d.set(QStringLiteral("picsw"),
          dokumente.isEmpty()                                   ? QStringLiteral("0")
              : dokumente.last().doktyp == QLatin1String("pdf") ? QStringLiteral("2")
                                                                : QStringLiteral("1"));
    int n = 0;
    for (const Dokumentdatei &datei : dokumente) {
        server::Objekt e = m_v.New(QStringLiteral("AR.Dokuments"));
        e.set(QStringLiteral("daterst"), datei.daterst);
        e.set(QStringLiteral("doktext"), datei.doktext);
        e.set(QStringLiteral("doktyp"), datei.doktyp);
        if (!datei.dateiname.isEmpty())
            e.set(QStringLiteral("dateiname"), datei.dateiname);
        d.sammlung(QStringLiteral("Doks")).Insert(e);
        if (!datei.inhalt.isEmpty()) {
            const QString pfad = dir.filePath(QStringLiteral("d%1.%2").arg(++n).arg(datei.doktyp));
            QFile f(pfad);
            if (!f.open(QIODevice::WriteOnly) || f.write(datei.inhalt) != datei.inhalt.size())
                throw std::runtime_error("cannot write the document file");
            f.close();
            e.strom(QStringLiteral("dok")).FileRead(pfad);
        }
    }
    if (d.SYS_Save() != 1)
        throw std::runtime_error(d.letzterFehler().toStdString());
    const QString id = d.SYS_Id();
    for (const auto &[eigenschaft, wert] : werte) {
        server::Objekt x = m_v.New(QStringLiteral("AR.Extind"));
        x.set(QStringLiteral("Firma"), m_firma);
        x.set(QStringLiteral("Eigenschaft"), QString::number(eigenschaft));
        x.set(QStringLiteral("Wert"), wert);
        x.setRef(QStringLiteral("IDDokumente"), id);
        if (x.SYS_Save() != 1)
            throw std::runtime_error(x.letzterFehler().toStdString());
    }
    return id;
}

QByteArray Belegbau::tiff(int seiten, int dpi)
{
    QList<imaging::Seite> liste;
    const int breite = dpi * 827 / 100, hoehe = dpi * 1169 / 100;
    for (int i = 0; i < seiten; ++i) {
        imaging::Seite s = imaging::Seite::leer(breite, hoehe, dpi);
        for (int b = 0; b <= i; ++b)
            for (int y = 100 + b * 60; y < 130 + b * 60; ++y)
                for (int x = 100; x < breite / 2; ++x)
                    s.bild().setPixel(x, y, 1);
        liste << s;
    }
    return imaging::TiffDatei::schreibenG4(liste);
}

int Belegbau::balken(const QImage &seite)
{
    // Count black runs down a column inside the bars.
    int n = 0;
    bool schwarz = false;
    for (int y = 0; y < seite.height(); ++y) {
        const bool jetzt = qGray(seite.pixel(150, y)) < 128;
        if (jetzt && !schwarz)
            ++n;
        schwarz = jetzt;
    }
    return n;
}

imaging::Seite Belegbau::beklebt(const imaging::Seite &seite, const QStringList &codes)
{
    QImage bild = seite.bild().convertToFormat(QImage::Format_RGB32);
    QPainter p(&bild);
    int oben = 60;
    for (const QString &code : codes) {
        QImage symbol = imaging::ean13Bild(code, 500, 200);
        if (symbol.isNull()) {
            ZXing::MultiFormatWriter schreiber(ZXing::BarcodeFormat::Code128);
            schreiber.setMargin(30);
            const ZXing::BitMatrix m = schreiber.encode(code.toStdString(), 0, 160);
            symbol = QImage(m.width() * 2, m.height(), QImage::Format_RGB32);
            symbol.fill(Qt::white);
            for (int y = 0; y < m.height(); ++y)
                for (int x = 0; x < m.width(); ++x)
                    if (m.get(x, y)) // modules two pixels wide
                        for (int d : {0, 1})
                            symbol.setPixel(2 * x + d, y, qRgb(0, 0, 0));
        }
        p.drawImage(QPoint(bild.width() - symbol.width() - 60, oben), symbol);
        oben += symbol.height() + 120;
    }
    p.end();
    return imaging::Seite(bild, seite.dpiX());
}

} // namespace archiv::test
