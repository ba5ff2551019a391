#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace archiv::app {

// The login dialog: user code and password of the WWS, checked on the WWS
// server for the company selected in the main window.
class AnmeldDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AnmeldDialog(QString firma, QWidget *parent = nullptr);

    // BUSpeich: connects to the WWS (two attempts, the server settings in
    // between), checks the user and hands the answer back in Anmeldeantwort.
    void speichern();

private:
    void pruefen(class WwsSitzung &wws);

    QString m_firma;
    QLineEdit *m_code;
    QLineEdit *m_passwort;
    QPushButton *m_speichern;
    QPushButton *m_schliessen;
};

// Shows the login dialog; true when a user logged in. Sets Anmeldung,
// AnmeldName and AnmeldRest (300 seconds); the server's answer carries the
// session the user's writes go with.
bool Anmelden(const QString &firma);

// Ends the login: the countdown ran out, the session is dropped.
void Abmelden();

// When the server refuses a write because no one is logged in (the scan
// station, a label run, a session that lapsed), the login dialog is shown
// for the company of the last login (or the first company) and the write
// is sent again after it.
void anmeldungFuerSchreibenEinrichten();

} // namespace archiv::app
