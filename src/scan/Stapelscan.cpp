#include "scan/Stapelscan.h"

#include "server/KlassenMethoden.h"
#include "server/ServerFehler.h"
#include "server/Verbindung.h"

namespace archiv::scan {

QString belegAusBarcodes(server::Verbindung &v, const QStringList &barcodes, qsizetype kurz)
{
    server::KlassenMethoden scandat = v.ClassMethods(QStringLiteral("AR.Scandat"));
    for (const QString &code : barcodes) {
        if (code.size() <= kurz)
            continue;
        const QString beleg = scandat.call(QStringLiteral("GetBelegFromBarcode"), {code}).wert();
        if (!beleg.isEmpty())
            return beleg;
    }
    return {};
}

Seitenzaehler::Seitenzaehler(const QList<std::pair<QString, int>> &liste)
{
    for (const auto &[schluessel, seite] : liste)
        m_hoechste[schluessel] = qMax(m_hoechste.value(schluessel), seite);
}

int Seitenzaehler::naechste(const QString &schluessel)
{
    const int seite = m_hoechste.value(schluessel) + 1;
    m_hoechste[schluessel] = seite;
    m_letzte[schluessel] = seite;
    return seite;
}

QString scanAblegen(server::Verbindung &v, const QByteArray &tiff, int seite, const QString &schluessel)
{
    server::Objekt scan = v.New(QStringLiteral("AR.Scandat"));
    scan.strom(QStringLiteral("dok")).Write(tiff);
    scan.set(QStringLiteral("seite"), QString::number(seite));
    scan.set(QStringLiteral("dokument"), schluessel);
    if (scan.SYS_Save() != 1)
        throw server::ServerFehler(0, QStringLiteral("save"), scan.letzterFehler());
    const QString id = scan.SYS_Id();
    scan.SYS_Close();
    return id;
}

} // namespace archiv::scan
