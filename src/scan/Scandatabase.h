#pragma once

#include "imaging/Seite.h"

#include <QDialog>
#include <QImage>
#include <QRectF>

#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QSpinBox;
class QMenu;
class QMenuBar;
class QPushButton;
class QTreeWidget;

namespace archiv::app {
struct Scannereinstellungen;
}

namespace archiv::scan {

class Stapelablage;
struct Uebernahmebericht;

// The scan intake window ("Tessam Archivsystem - Scandokumente"): the
// pages waiting in the scan store with their Belegnummern, a preview of the
// selected page, and the commands on them. Opened by the editor (Startmodus
// "archiv") it only lets the user pick a Belegnummer, which it leaves in
// ScanBarcode; at a scan station it transfers the pages itself.
// The edit dialog of one scan-store record: its Belegnummer and page. A
// changed Belegnummer also drops the record's assignment to a Beleg, which
// belonged to the old number; a Beleg picked in the Beleg lookup becomes
// the record's Beleg at once.
class Scanbearbeitung : public QDialog
{
    Q_OBJECT
public:
    Scanbearbeitung(const QString &id, const QString &belegnummer, const QString &seite, QWidget *parent = nullptr);
    bool speichern(); // BUSpeich; false with a message when the server refused
    void belegWaehlen(); // BUBeleg: the Beleg lookup

private:
    QLineEdit *m_id;
    QString m_belegId; // the Beleg picked in the lookup, for the number it gave
    QString m_belegNummer;
    QLineEdit *m_dokument;
    QLineEdit *m_alt;
    QSpinBox *m_seite;
};

// Where the window's parts lie for a window W x H twips (below its menu
// bar): the list with its caption across the top, the preview under it, the buttons in a
// column at the right edge.
struct Scanlayout
{
    QRectF titel; // the list's caption
    QRectF liste; // LIBelege
    QRectF vorschau; // Image2
    QList<QRectF> knoepfe; // BUAkt, BU_Belegsuche, buuebern, buloeall, BUClose
    QRectF scannen; // BUScan
};
inline constexpr double ScanMinBreite = 7200;
inline constexpr double ScanMinHoehe = 7200;
Scanlayout scanlayout(double breite, double hoehe);

// Asked before a batch scan: the Belegnummer expected on the stack or a name
// for the batch. An empty text cancels the scan.
class Scanvorgabe : public QDialog
{
    Q_OBJECT
public:
    explicit Scanvorgabe(QWidget *parent = nullptr);
    QString text() const;

private:
    QLineEdit *m_text;
};

class Scandatabase : public QDialog
{
    Q_OBJECT
public:
    explicit Scandatabase(QWidget *parent = nullptr);
    ~Scandatabase() override;

    // At a scan station: connects to the archive server and fills the list;
    // false when there is no connection (the program then ends).
    bool laden();

    bool editormodus() const { return m_editormodus; }
    QTreeWidget *liste() const { return m_liste; }

    void aktualisieren();
    void vorschauladen(int zeile);
    void bearbeiten(); // the edit dialog of the selected record
    void loeschen();
    void belegzuordnungloeschen();
    void uebernahmeeinzeln();
    void uebernahmealle();
    void belegsuche();
    void allesLoeschen();
    void scannen(); // BUScan: a batch scan into the scan store
    // BUDateien: received files into the scan store as digital records.
    void dateienWaehlen();
    void dateienAblegen(const QStringList &pfade);
    void setbusy(bool bereit);
    void done(int r) override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *objekt, QEvent *event) override;

private:
    struct Beschaeftigt;
    QAction *menueAnlegen(); // the "Beenden" entry
    void listeAnlegen();
    void knoepfeAnlegen();
    void popupAnlegen();
    // Field i (from 1) of the selected row's data string (id|Belegnummer|Seite);
    // nullopt, after the message, when no row is selected.
    std::optional<QString> auswahl(int feld, bool melden = true);
    void popupZeigen(const QPoint &punkt);
    void uebernahmeMelden(const Uebernahmebericht &bericht);
    // One acquisition into the store: false when the source failed.
    bool erfassen(const app::Scannereinstellungen &scanner, Stapelablage &ablage);
    void nichtAbgelegteMelden(Stapelablage &ablage);
    void vorschauEinpassen();
    void entladen();
    void anordnen();
    QRect pixel(const QRectF &twips) const;

    bool m_editormodus;
    bool m_eigeneVerbindung = false; // opened by laden(), ended by entladen()
    QMenuBar *m_menue;
    QLabel *m_listeTitel;
    QTreeWidget *m_liste;
    QLabel *m_vorschau;
    imaging::Seite m_seite; // the page previewed
    QString m_vorschauPlatz; // "left|top|height|width" while enlarged
    QMenu *m_popup;
    QPushButton *m_scannen;
    QList<QPushButton *> m_knoepfe; // in layout order, without BUScan
};

} // namespace archiv::scan
