#pragma once

#include <QDialog>

class QRadioButton;

namespace archiv::app {

// The general settings dialog: zoom to width ("B") or to height ("H").
class EinstAg : public QDialog
{
    Q_OBJECT
public:
    explicit EinstAg(QWidget *parent = nullptr);

private:
    void speichern();

    QRadioButton *m_breite;
    QRadioButton *m_hoehe;
};

void einstagZeigen(QWidget *besitzer);

} // namespace archiv::app
