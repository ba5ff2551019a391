#pragma once

#include <QMainWindow>

class QComboBox;

namespace archiv::app {

// The main window: connects to the archive server named in the settings and
// lists the companies.
class Hauptfenster : public QMainWindow
{
    Q_OBJECT
public:
    explicit Hauptfenster(QWidget *parent = nullptr);

    // Connects with section "Server" and fills the company list; false when
    // the archive server could not be reached.
    bool starten();

private:
    QComboBox *m_firma;
};

// The company rows of the main window: number with at least two digits, two
// blanks, name; the key is the number as the server sent it.
struct FirmenZeile
{
    QString text;
    QString schluessel;
};
QList<FirmenZeile> firmenLaden();

} // namespace archiv::app
