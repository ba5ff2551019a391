#pragma once

#include <QDate>
#include <QDialog>
#include <QStringList>

#include <functional>
#include <optional>

namespace archiv::about {

// The program of the desktop that shows system information: the first of
// the known ones found on the PATH (KDE's, GNOME's, the hardware lister's
// window), nullopt when there is none. finden: how a name is looked up.
std::optional<QString> systeminfoProgramm(const std::function<QString(const QString &)> &finden = {});
QStringList bekannteSysteminfoProgramme();

// The day the program was built.
QDate bauDatum();

// The support's addresses given when the program was built; empty ones are
// not shown.
struct Kontakt
{
    QString mail;
    QString web;
};
Kontakt kontaktDesBaus();

// "Info zu Tessam Archivsystem": title, version, the maker's addresses and
// the button that starts the system-information program.
class FrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget *parent = nullptr);

    // Starts the system-information program, or says that there is none
    // (the button is disabled then; a program removed since still gets the
    // message). false when none was started.
    bool StartSysInfo();
};

} // namespace archiv::about
