#pragma once

#include <QDialog>
#include <QImage>

#include <optional>

class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace archiv::scan {

// The scan intake window ("Tessam Archivsystem - Scandokumente"): the
// pages waiting in the scan store with their Belegnummern, a preview of the
// selected page, and the commands on them. Opened by the editor (Startmodus
// "archiv") it only lets the user pick a Belegnummer, which it leaves in
// ScanBarcode; at a scan station it transfers the pages itself.
class Scandatabase : public QDialog
{
    Q_OBJECT
public:
    explicit Scandatabase(QWidget *parent = nullptr);

    bool editormodus() const { return m_editormodus; }
    QTreeWidget *liste() const { return m_liste; }

    void aktualisieren();
    void vorschauladen(int zeile);
    void loeschen();
    void belegzuordnungloeschen();
    void uebernahmeeinzeln();
    void uebernahmealle();
    void belegsuche();
    void allesLoeschen();
    void setbusy(bool bereit);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Beschaeftigt;
    // Field i (from 1) of the selected row's data string (id|Belegnummer|Seite);
    // nullopt, after the message, when no row is selected.
    std::optional<QString> auswahl(int feld, bool melden = true);
    void popupZeigen(const QPoint &punkt);
    void uebernahmeMelden(int uebernommen, const QStringList &fehler);

    bool m_editormodus;
    QTreeWidget *m_liste;
    QLabel *m_vorschau;
    QImage m_bild;
    QMenu *m_popup;
    QList<QPushButton *> m_knoepfe;
};

} // namespace archiv::scan
