#pragma once

#include <QMainWindow>
#include <QPointer>

#include "tools/Vollstaendigkeitstest.h"

class QComboBox;
class QPushButton;
class QStatusBar;
class QTimer;
class QAction;
class QGridLayout;
class QLabel;
class QLineEdit;
class QTabBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace archiv::app {
class DatumFeld;
class Eigenschaftszeilen;
} // namespace archiv::app

namespace archiv::search {

class Ergebnis;

// The main window. Loading it is the program's start: settings, the archive
// connection, the company list and the WWS login.
class Archiv : public QMainWindow
{
    Q_OBJECT
public:
    explicit Archiv(QWidget *parent = nullptr);
    ~Archiv() override;

    // The start-up; false when no archive server could be reached, and the
    // program then ends without a message.
    bool laden();

    QString firmaSchluessel() const;

    // One step of the login countdown (timer1, every 5 seconds).
    void timer1Abgelaufen();

    // The search: the company's types, the rows of the selected types'
    // index properties and lists, and the request itself.
    void firmaGewaehlt();
    void typAuswahlGeaendert();
    int Suchen(int grenze); // hits written to the result window
    void busuch();
    void buplus();
    void bualle();
    void buloe();
    void buwws();
    Ergebnis *ergebnis();

    // The editor: a stored Beleg shown from the result window (its type
    // "tif", "pdf" or "" when it has no document), edited from a result row,
    // or a new one (BUNeu sets edit mode, the menu entry keeps the mode).
    QString belegOeffnen(const QString &dokId);
    void belegBearbeiten(int zeile);
    void neuerBeleg(bool bearbeiten);
    int eigenschaftsZeilen() const; // created rows, without the template

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void menueAnlegen();
    void editorVerbinden(Ergebnis *e);
    void sucheAnlegen(QGridLayout *g);
    void zeilenAnlegen(QWidget *mitte, QGridLayout *g);
    void knoepfeAnlegen(QWidget *mitte);
    void auswahlFuellen(int i, int code, const QString &firma);
    void suchenMit(int grenze, bool plusFrei);
    void listeFuellen(int code, const QString &firma, const QString &typen);
    void firmenFuellen();
    void beenden();
    void entladen();

    QComboBox *m_firma;
    QPushButton *m_neu;
    QPushButton *m_ende;
    QStatusBar *m_status;
    QTimer *m_timer;
    QPointer<QDialog> m_info; // the about box, opened not modally
    QPointer<tools::Vollstaendigkeitstest> m_vollst; // kept with its report
    QAction *m_menueNeu = nullptr;
    bool m_entladen = false;

    QTreeWidget *m_belart = nullptr;
    app::DatumFeld *m_datvon = nullptr;
    app::DatumFeld *m_datbis = nullptr;
    QLineEdit *m_belnr = nullptr;
    QLineEdit *m_volltext = nullptr;
    QWidget *m_zeilenFlaeche = nullptr;
    // They keep their property codes themselves: the editor fills the
    // program-wide EigenId with its own rows.
    app::Eigenschaftszeilen *m_zeilen = nullptr;
    QTabBar *m_tab = nullptr;
    QTreeWidget *m_pers = nullptr;
    QTreeWidget *m_abt = nullptr;
    QTreeWidget *m_pc = nullptr;
    QPushButton *m_suchen = nullptr;
    QPushButton *m_alle = nullptr;
    QPushButton *m_plus = nullptr;
    QPushButton *m_loe = nullptr;
    QPushButton *m_wws = nullptr;
    Ergebnis *m_ergebnis = nullptr;
    bool m_typenSperre = false;
};

} // namespace archiv::search
