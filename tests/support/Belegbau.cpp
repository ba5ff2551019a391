#include "support/Belegbau.h"

#include "imaging/TiffDatei.h"
#include "server/Objekt.h"
#include "server/Verbindung.h"

#include <QFile>
#include <QTemporaryDir>

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

} // namespace archiv::test
