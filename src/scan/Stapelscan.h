#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace archiv::server {
class Verbindung;
}

namespace archiv::scan {

// Barcodes of this many characters or fewer are never looked up at the scan
// station: they are article and page codes, not Belege.
inline constexpr qsizetype KurzerBarcode = 7;

// The Beleg key (type code + number) the first barcode the archive knows
// names, or "" when none does; codes of at most `kurz` characters are
// skipped without asking.
QString belegAusBarcodes(server::Verbindung &v, const QStringList &barcodes, qsizetype kurz = 0);

// Page numbers for the pages of one acquisition: a key's first page comes
// after the highest page the scan store listed for it before, and the
// pages of the acquisition count on from each other.
class Seitenzaehler
{
public:
    // (Belegnummer, Seite) of the rows listed before the acquisition.
    explicit Seitenzaehler(const QList<std::pair<QString, int>> &liste);
    int naechste(const QString &schluessel);
    // The page number given last to the key (0 when none).
    int letzte(const QString &schluessel) const { return m_letzte.value(schluessel); }

private:
    QHash<QString, int> m_hoechste;
    QHash<QString, int> m_letzte;
};

// One scanned page (a single-page TIFF) into the scan store as a new
// record; its id. Throws server::ServerFehler when the server refuses.
QString scanAblegen(server::Verbindung &v, const QByteArray &tiff, int seite, const QString &schluessel);

} // namespace archiv::scan
