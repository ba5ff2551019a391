#pragma once

#include "imaging/Seitenquelle.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;

namespace archiv::app {

// The scanner settings ("Einstellungen Scanner"): the page source (SANE
// devices and folders a network scanner delivers to, listed together by
// name), resolution, brightness and contrast, turning pages by 180 degrees
// the scanner's own dialog and how the scan station files pages without a
// label; section "Scanner" of the settings.
class EinstScan : public QDialog
{
    Q_OBJECT
public:
    // quellen: the sources to offer; by default those the system has.
    explicit EinstScan(QWidget *parent = nullptr, std::optional<QStringList> quellen = std::nullopt);

    void speichern(); // BUSpeich
    void ordnerWaehlen(); // "Ordner …": a folder as a source

    static const QStringList &aufloesungen();

private:
    void felderAnlegen();
    void anordnen();
    void quellenLaden(const std::optional<QStringList> &quellen);
    void werteLaden();

    QComboBox *m_quelle;
    QComboBox *m_dpi;
    QScrollBar *m_bright;
    QLabel *m_brightText;
    QScrollBar *m_kontr;
    QLabel *m_kontrText;
    QCheckBox *m_drehen;
    QCheckBox *m_oberflaeche;
    QCheckBox *m_barcode; // section "Allgemein": read barcodes in batch scans
    QCheckBox *m_folgeseiten;
    QPushButton *m_speichern;
    QPushButton *m_schliessen;
    QPushButton *m_ordner;
};

void einstscanZeigen(QWidget *besitzer);

// The stored scanner settings as a scan takes them: "Quelle" (empty = no
// source defined), the device values, and turning pages.
struct Scannereinstellungen
{
    QString quelle;
    imaging::Scaneinstellungen geraet; // with the device options remembered for it
    bool drehen = false;
    // At the scan station: a page without a label belongs to the Beleg of
    // the page before it (key "Folgeseiten", on unless switched off).
    bool folgeseiten = true;
};
Scannereinstellungen scannereinstellungen();

} // namespace archiv::app
