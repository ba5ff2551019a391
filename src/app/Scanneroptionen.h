#pragma once

#include "imaging/Seitenquelle.h"

#include <QDialog>
#include <QHash>

namespace archiv::app {

struct Scannereinstellungen;

// The scanner's own options before an acquisition ("User Interface" in the
// scanner settings): built from what the device says it has (mode, source
// such as flatbed or feeder, duplex, page size, resolution and whatever
// else it lists), grouped as the device groups them. The values chosen are
// remembered for that device.
class Scanneroptionen : public QDialog
{
    Q_OBJECT
public:
    Scanneroptionen(const QString &geraet, const QList<imaging::Geraeteoption> &optionen, QWidget *parent = nullptr);

    // The values to set, in the device's order: those the user changed and
    // those remembered before.
    QList<std::pair<QString, QString>> werte(const QList<std::pair<QString, QString>> &bisher) const;

private:
    QWidget *feld(const imaging::Geraeteoption &o);
    QString wert(const QString &name) const;

    QList<imaging::Geraeteoption> m_optionen;
    QHash<QString, QWidget *> m_felder;
};

// The device options remembered for a device (section "Scanner").
QList<std::pair<QString, QString>> gespeicherteGeraeteoptionen(const QString &geraet);
void geraeteoptionenSpeichern(const QString &geraet, const QList<std::pair<QString, QString>> &werte);

// Before an acquisition: with "User Interface" on and a device that has
// options, the options dialog; the values chosen go into the settings and
// are remembered. False when the user cancelled (no scan then).
bool scanneroptionenFragen(QWidget *besitzer, Scannereinstellungen &scanner);

// A German caption for the options every device names alike; the device's
// own title otherwise.
QString optionTitel(const imaging::Geraeteoption &o);

} // namespace archiv::app
