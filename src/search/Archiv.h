#pragma once

#include <QMainWindow>

class QComboBox;
class QPushButton;
class QStatusBar;
class QTimer;
class QAction;

namespace archiv::search {

// The main window. Loading it is the program's start: settings, the archive
// connection, the company list and the WWS login.
class Archiv : public QMainWindow
{
    Q_OBJECT
public:
    explicit Archiv(QWidget *parent = nullptr);
    ~Archiv() override;

    // The main window of the running program (other windows read the
    // selected company from it).
    static Archiv *hauptfenster();

    // The start-up; false when no archive server could be reached, and the
    // program then ends without a message.
    bool laden();

    QString firmaSchluessel() const;

    // One step of the login countdown (timer1, every 5 seconds).
    void timer1Abgelaufen();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void menueAnlegen();
    void firmenFuellen();
    void beenden();
    void entladen();

    QComboBox *m_firma;
    QPushButton *m_neu;
    QPushButton *m_ende;
    QStatusBar *m_status;
    QTimer *m_timer;
    QAction *m_menueNeu = nullptr;
    bool m_entladen = false;
};

} // namespace archiv::search
