#pragma once

#include <QDialog>
#include <QImage>

#include <optional>

class QLabel;
class QLineEdit;
class QSpinBox;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace archiv::scan {

// The scan intake window ("Tessam Archivsystem - Scandokumente"): the
// pages waiting in the scan store with their Belegnummern, a preview of the
// selected page, and the commands on them. Opened by the editor (Startmodus
// "archiv") it only lets the user pick a Belegnummer, which it leaves in
// ScanBarcode; at a scan station it transfers the pages itself.
// The edit dialog of one scan-store record: its Belegnummer and page. A
// changed Belegnummer also drops the record's assignment to a Beleg, which
// belonged to the old number.
class Scanbearbeitung : public QDialog
{
    Q_OBJECT
public:
    Scanbearbeitung(const QString &id, const QString &belegnummer, const QString &seite, QWidget *parent = nullptr);
    bool speichern(); // BUSpeich; false with a message when the server refused

private:
    QLineEdit *m_id;
    QLineEdit *m_dokument;
    QLineEdit *m_alt;
    QSpinBox *m_seite;
};

class Scandatabase : public QDialog
{
    Q_OBJECT
public:
    explicit Scandatabase(QWidget *parent = nullptr);

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
