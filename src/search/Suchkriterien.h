#pragma once

#include "common/Protokoll.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace archiv::search {

// One index-property row of the main window as the search reads it.
struct EigenschaftsZeile
{
    QString suchTyp; // "T" text, "S" text with lookup, "C" choice
    int eigenId = 0;
    QString text; // EigenTxt
    QString comboText; // EigenCombo
};

// The checked rows' data strings of the three tab lists.
struct ListenAuswahl
{
    bool sichtbar = false; // the tab strip is shown
    QStringList profitcenter; // LIPc, code 16
    QStringList abteilungen; // LIAbt, code 17
    QStringList mitarbeiter; // LIPers, code 3
};

// The criteria string K of the search: rows 1 to the highest ever created
// (hidden ones included), commas in values as backquotes, then the list
// entries "16|", "17|", "3|" with a backquote after every key.
QString kriterienString(const QList<EigenschaftsZeile> &zeilen, const ListenAuswahl &listen);

// One hit of the search as the result list shows it.
struct Trefferzeile
{
    QString text; // columns joined by line feeds
    QString daten; // object id + "|" + status
    int statusMarke = 0; // 1 to 5, 0 = none
    bool durchgestrichen = false;
    QString fundstelle; // the pages a full-text search's words are on: "S. 1, 3"
};
Trefferzeile trefferZeile(const QStringList &spalten); // the seven columns of "Suche"

// A node of the tree of linked Belege.
struct Knoten
{
    QString text;
    int bild = 1;
    int ebene = 1;
    QString dokId;
    int nummer = 1; // stored with the node, not shown
    int eltern = -1; // index of the parent node, -1 for the root
};

// The linked Belege below the Beleg with object id `id`, depth first, each
// Beleg once (by object id), appended to `knoten` and `knotenDokId`. Works
// with an explicit stack: a chain of any length cannot overflow it.
using Verknuepfungsabfrage = std::function<protokoll::Zeilen(const QString &firma, const QString &id)>;
void holeElement(const Verknuepfungsabfrage &abfrage, const QString &firma, const QString &c1, const QString &c2, const QString &id,
                 int elternKnoten, int ebene, QList<Knoten> &knoten, QStringList &knotenDokId);

// The supplier types argument of the supplier lookup: the marked keys, or
// all keys when none is marked, joined by single blanks.
QString lieferantenTypen(const QList<std::pair<QString, bool>> &typen);

} // namespace archiv::search
