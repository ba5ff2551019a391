#pragma once

#include <QString>
#include <QList>
#include <QStringList>

namespace archiv::server {
class Verbindung;
}

namespace archiv::scan {

// Pages of the scan store without a Beleg: one Belegnummer, how many
// pages, and why (a common::scanzuordnung code).
struct OhneBeleg
{
    QString nummer;
    int seiten = 0;
    QString grund;
};
// What the server says is without a Beleg now; those of one Belegnummer
// only when given.
QList<OhneBeleg> ohneBelegListe(server::Verbindung &v, const QString &nur = {});

// The Belegsuche: unassigned pages assigned to the Beleg their number
// names, and what stays without one.
struct Belegsuchbericht
{
    int zugeordnet = 0;
    QList<OhneBeleg> ohne;
};
Belegsuchbericht belegsuche(server::Verbindung &v);
QString berichtText(const Belegsuchbericht &bericht);

struct Uebernahmebericht
{
    int uebernommen = 0; // pages filed
    int ohneBeleg = 0; // pages not assigned to a Beleg: left in the store
    int fehlgeschlagen = 0; // pages that could not be filed: left in the store
    QStringList fehler; // why, one line per Beleg
    QList<OhneBeleg> ohneBelegGruende; // why the pages without a Beleg have none
};
// For the user: how many pages were filed, left without a Beleg (and why)
// and failed (and why).
QString berichtText(const Uebernahmebericht &bericht);

// Moves the scan-store pages of a Belegnummer ("" for all) into their
// assigned Belege, all pages of a Beleg in one save, in page order: when
// they start with page 1 they replace the Beleg's newest document (a Beleg
// without documents gets one), else they are appended to it. A page that
// cannot be read or saved keeps every page of its Beleg in the store, so a
// document is never replaced by part of its pages. The records leave the
// store (when loeschen) in the Beleg's own save; the file replaced stays in
// the server's history. Pages another workstation holds are left alone.
Uebernahmebericht ScanBelegUebernahme(server::Verbindung &v, const QString &belegnummer, bool loeschen);

} // namespace archiv::scan
