#pragma once

#include <QDialog>

class QLineEdit;

namespace archiv::common {
struct Zugangsdatei;
}

namespace archiv::app {

// The server settings dialog: addresses and ports of the WWS and archive
// servers, stored exactly as typed once the ports are valid, and the
// workstation's access key.
class EinstServ : public QDialog
{
    Q_OBJECT
public:
    explicit EinstServ(QWidget *parent = nullptr);

    // Fills address, port and key from an enrolment file; a file that is
    // none is explained and changes nothing. False then.
    bool zugangsdateiUebernehmen(const QString &pfad);

private:
    void speichern();
    void zugangsdateiWaehlen();

    QLineEdit *m_wwsip;
    QLineEdit *m_wwsport;
    QLineEdit *m_arip;
    QLineEdit *m_arport;
    QLineEdit *m_zugang;
};

// An empty port (not configured) or a number from 1 to 65535.
bool portGueltig(const QString &port);

// Settings "Server"/"zugang": the workstation's access key. Stored, it is
// used by every connection of the program at once.
void zugangSpeichern(const QString &schluessel);
// Makes the stored key the one the connections use.
void zugangLaden();

// Stores what an enrolment file says: the archive server (and the WWS
// server, which the same archivd serves) at its address and port, and the
// key.
void zugangsdateiSpeichern(const common::Zugangsdatei &datei);

// Shows the dialog modally and unloads it.
void einstservZeigen(QWidget *besitzer);

// Connects the program to the archive server of the settings (section
// "Server"): without an address the window hides while the server settings
// are asked for; then up to two attempts, the settings dialog after a failed
// one. False when the program has no connection.
bool archivVerbinden(QWidget *fenster);

} // namespace archiv::app
