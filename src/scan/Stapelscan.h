#pragma once

#include "imaging/Seite.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
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
    // The number given last was not used (the page was not stored).
    void zuruecknehmen(const QString &schluessel);
    // The page number given last to the key (0 when none).
    int letzte(const QString &schluessel) const { return m_letzte.value(schluessel); }

private:
    QHash<QString, int> m_hoechste;
    QHash<QString, int> m_letzte;
};

// One scanned page (a single-page TIFF) into the scan store as a new
// record; its id. Throws server::ServerFehler when the server refuses.
QString scanAblegen(server::Verbindung &v, const QByteArray &tiff, int seite, const QString &schluessel);

// A received file into the scan store as a digital record, stored as it
// came: its name and kind beside it, no Belegnummer yet (the user assigns
// it). The record's id; throws server::ServerFehler.
QString dateiAblegen(server::Verbindung &v, const QString &dateiname, const QString &doktyp, const QByteArray &inhalt);

// The pages of a batch scan into the scan store, one at a time in the order
// scanned. A page that arrives while another is being stored (a login dialog
// may be open for it) waits its turn, so the user is asked to log in once,
// not once a page. A page that cannot be stored is kept and counted, and can
// be tried again; after the user declined to log in, the following pages
// fail at once instead of asking again.
class Stapelablage
{
public:
    struct Seite
    {
        QByteArray tiff; // the page as a single-page G4 TIFF
        QStringList codes; // barcodes found on it, in order
        imaging::Seite bild; // for the preview; not kept for a page that failed
        // Set by the Stapelablage: the acquisition and the place in it, and
        // the Belegnummer once it is known (kept for another try).
        int erfassung = -1;
        int position = -1;
        std::optional<QString> schluessel = std::nullopt;
    };
    // A page stored: its record id, Belegnummer and page number.
    using Abgelegt = std::function<void(const QString &id, const QString &schluessel, int nummer, const imaging::Seite &bild)>;

    // folgeseiten: a page without a label the archive knows belongs to the
    // Beleg of the page before it in the same acquisition.
    Stapelablage(server::Verbindung &v, bool barcodes, bool folgeseiten, Abgelegt abgelegt);

    // A new acquisition: page numbers count on from the rows listed now.
    void neueErfassung(const QList<std::pair<QString, int>> &liste);
    void annehmen(Seite seite);
    // The pages that failed, tried once more (a login may be asked again).
    void wiederholen();
    int fehlgeschlagen() const { return int(m_fehlgeschlagen.size()); }
    QString grund() const { return m_grund; }
    void verwerfen() { m_fehlgeschlagen.clear(); }
    // The page number given last to a Belegnummer in this batch (0: none).
    int letzte(const QString &schluessel) const { return m_letzte.value(schluessel); }

private:
    void ablegen(Seite seite);
    QString schluesselFuer(const Seite &seite);

    server::Verbindung &m_v;
    bool m_barcodes;
    bool m_folgeseiten;
    int m_erfassung = 0;
    int m_position = 0;
    // The keys found so far by (acquisition, place): a page inherits the
    // key of the page before it only once that key is known.
    QHash<std::pair<int, int>, QString> m_schluessel;
    Abgelegt m_abgelegt;
    Seitenzaehler m_zaehler{{}};
    QHash<QString, int> m_letzte;
    QList<Seite> m_wartend;
    QList<Seite> m_fehlgeschlagen;
    bool m_laeuft = false;
    bool m_ohneAnmeldung = false;
    QString m_grund;
};

} // namespace archiv::scan
