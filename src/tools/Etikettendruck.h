#pragma once

#include <QDialog>
#include <QList>
#include <QPrinter>

#include <optional>

class QComboBox;
class QLineEdit;
class QPagedPaintDevice;
class QPrintPreviewWidget;

namespace archiv::server {
class Verbindung;
}

namespace archiv::tools {

// Where a label goes on the sheet, in twips from the page's top left corner.
struct Etikettplatz
{
    int seite = 0; // from 0
    double links = 0;
    double oben = 0;
    qint64 nummer = 0;
    friend bool operator==(const Etikettplatz &, const Etikettplatz &) = default;
};
// Seven labels a row, 27 rows a page, numbers from start on.
QList<Etikettplatz> etikettenLayout(qint64 start, qint64 anzahl);

// The labels drawn onto a printer or PDF: each the plain number over its
// EAN-13 barcode (1200 x 300 twips).
void etikettenZeichnen(QPagedPaintDevice &geraet, qint64 start, qint64 anzahl);

// A run of labels must lie within 1 .. 999999 (six digits in the code):
// nullopt when it does, else the message for the user.
std::optional<QString> etikettenBereichPruefen(qint64 start, qint64 anzahl);

// Reserves the numbers start .. start + anzahl - 1 of a type's labels on the
// server before they are printed: the type's counter moves to the last of
// them in one versioned save, so two workstations never print one number.
// nullopt when reserved, else the message for the user.
std::optional<QString> etikettenReservieren(server::Verbindung &v, const QString &firma, const QString &belart, qint64 start,
                                            qint64 anzahl);

// The next number of a type's label counter, reserved the same way for a
// Beleg that arrived without paper (an e-invoice), so that the completeness
// test sees one unbroken range of scanned and digital Belege. A run another
// workstation reserved at the same moment is stepped over. The number, or
// nullopt with the message in fehler.
std::optional<qint64> naechsteNummerReservieren(server::Verbindung &v, const QString &firma, const QString &belart, QString *fehler);

// The label printing window ("Archivserver - Etikettendruck").
class Etikettendruck : public QDialog
{
    Q_OBJECT
public:
    Etikettendruck(QString firma, QWidget *parent = nullptr);

    void laden();
    void typGewaehlt(); // LIBelart: the next free number of the type
    bool aufbauen(); // BUAufbau: false when nothing was laid out
    bool drucken(); // BUDruck: false when nothing was printed
    QPrinter &drucker() { return m_drucker; }

private:
    QString m_firma;
    QComboBox *m_belart;
    QLineEdit *m_start;
    QLineEdit *m_anzahl;
    QPrintPreviewWidget *m_vorschau;
    QPrinter m_drucker;
    // The run laid out last: what BUDruck prints and reserves.
    qint64 m_aufbauStart = 0;
    qint64 m_aufbauAnzahl = 0;
    QString m_aufbauBelart;
};

} // namespace archiv::tools
