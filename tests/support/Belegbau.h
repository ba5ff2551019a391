#pragma once

#include "imaging/Seite.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace archiv::server {
class Verbindung;
}

namespace archiv::test {

// One stored document of a Beleg: its file content goes up as the stream.
struct Dokumentdatei
{
    QString doktyp = QStringLiteral("tif");
    QString doktext;
    QByteArray inhalt; // empty: an element without file
    QString daterst = QStringLiteral("2026-12-01");
    QString dateiname = {}; // a received original: its name as it came
};

// Builds Belege in an archive through the client connection, as the editor
// will save them: header, documents in order, index values in order.
class Belegbau
{
public:
    explicit Belegbau(server::Verbindung &v, QString firma = QStringLiteral("1")) : m_v(v), m_firma(std::move(firma)) { }

    QString anlegen(const QString &typ, const QString &belnr, const QList<Dokumentdatei> &dokumente,
                    const QList<std::pair<int, QString>> &werte = {}, const QString &datum = QStringLiteral("2026-12-01"),
                    const QString &zeit = QStringLiteral("10:30:00"));

    // A G4 TIFF of n A4 pages at 200 dpi, page i showing i + 1 bars, so a
    // test can tell the pages apart.
    static QByteArray tiff(int seiten, int dpi = 200);
    // The number of bars on a page made by tiff().
    static int balken(const QImage &seite);
    // The page with barcodes stuck on its top right, one under the other:
    // 12 or 13 digits as an EAN-13 label, any other text as Code 128.
    static imaging::Seite beklebt(const imaging::Seite &seite, const QStringList &codes);

private:
    server::Verbindung &m_v;
    QString m_firma;
};

} // namespace archiv::test
