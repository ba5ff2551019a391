#pragma once

#include "einvoice/Rechnung.h"

#include <QList>
#include <QString>

#include <optional>

namespace archiv::archivd {

class Datenbank;

// Where an e-invoice goes in the archive of a company: the type that takes
// it, the supplier it came from, and whether it is archived already (an
// e-mailed and a paper copy of one invoice are common).
namespace posteingang {

struct Lieferant
{
    qint64 nummer = 0;
    QString name;
};

struct Vorhanden
{
    qint64 beleg = 0;
    QString belart, belnr, datum;
};

struct Zuordnung
{
    QString belart; // empty: the company has no type for e-invoices
    QList<Lieferant> lieferanten; // none, one, or several that fit alike
    std::optional<Vorhanden> vorhanden; // the same supplier's invoice of that number
    bool bestellungDa = false; // a Beleg with the order reference (BT-13) exists
    bool lieferscheinDa = false; // a Beleg with the despatch advice reference (BT-16) exists
};

// A VAT ID or tax number as compared: upper case, without blanks, dots,
// dashes and slashes.
QString kennungNormal(const QString &kennung);

// The type (a credit note, 381, to the company's credit-note type when one
// is configured for e-invoices, everything else to its invoice type, "ER"
// when none is configured); the supplier by VAT ID, else by tax number,
// else by name and postcode; the duplicate check by supplier and the
// supplier's invoice number.
Zuordnung zuordnen(Datenbank &db, qint64 firma, const einvoice::Rechnung &r);

} // namespace posteingang

} // namespace archiv::archivd
