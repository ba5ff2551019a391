#pragma once

#include <QWidget>

#include <functional>

class QMenu;
class QTimer;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace archiv::server {
class Verbindung;
}

namespace archiv::search {

class TrefferModell;

// The result window: the hits of the last search and, beside them, the tree
// of the Belege linked to the one clicked. Not modal; loaded once.
class Ergebnis : public QWidget
{
    Q_OBJECT
public:
    // firma gives the company key selected in the main window when the
    // tree of linked Belege is built.
    Ergebnis(QWidget *hauptfenster, std::function<QString()> firma);

    TrefferModell *modell() const { return m_modell; }
    QTreeWidget *baum() const { return m_baum; }
    void leeren();

    // The handling behind the two one-shot timers, callable by tests.
    void zeileGeklickt(int zeile, int spalte); // what Timer2 runs
    void zeileRechtsGeklickt(int zeile, int spalte); // what timer1 runs (shows popup1)
    void knotenGeklickt(int knoten, Qt::MouseButton knopf);
    void knotenAufZu();

    QMenu *popup() const { return m_popup; }
    QTreeView *liste() const { return m_liste; }

    // The popup's commands on row ErgZeile.
    void infoId(int zeile);
    void speichals(const QString &format);
    void drucken();
    void infoDvd();

Q_SIGNALS:
    // The newest document of a Beleg is to be opened / the Beleg edited
    // (the main window does it, with the editor).
    void oeffnen(const QString &dokId);
    void bearbeiten(int zeile);

protected:
    bool eventFilter(QObject *objekt, QEvent *ereignis) override;

private:
    void popupAnlegen();
    void klicksVerbinden();
    void baumAufbauen();
    void statusZelleOeffnen(int zeile, int spalte);
    QString zeilenFeld(int zeile, int feld) const; // of the row's data string
    // The export's save-file dialog; empty when cancelled.
    QString exportZiel(const QString &vorschlag);

    TrefferModell *m_modell;
    QTreeView *m_liste;
    QTreeWidget *m_baum;
    QTimer *m_timer1;
    QTimer *m_timer2;
    QMenu *m_popup;
    QList<QTreeWidgetItem *> m_knoten; // by node number
    std::function<QString()> m_firma;
    bool m_listeMaus = false; // a mouse button is down on the result list
};

// What "Info ID" tells about a Beleg: its id and, when the server has it on
// record, its last change (local time, user code, workstation).
QString infoIdText(server::Verbindung &v, const QString &id);

} // namespace archiv::search
