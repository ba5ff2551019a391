#pragma once

#include "einvoice/Rechnung.h"

#include <QByteArray>
#include <QHash>
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

// What became of one received file.
struct Aufnahme
{
    enum class Art {
        Beleg, // an e-invoice whose supplier was found: a Beleg of its own
        Scanspeicher, // anything else: a digital record for a person to assign
        Abgelehnt, // cannot be taken (unreadable, too large, archived already)
    };
    Art art = Art::Abgelehnt;
    QString text; // the Beleg ("ER 10234"), the record id, or why it was refused (German)
};

// Archives one received file of a company as it came, in one transaction
// audited under the server's name and "Posteingang": an e-invoice whose type
// and supplier are known becomes a Beleg (its number from the type's label
// counter, its data as index values), anything else a digital record of the
// scan store. Throws for a database that fails (the file then stays).
Aufnahme aufnehmen(Datenbank &db, qint64 firma, const QString &name, const QByteArray &inhalt);

// A watched intake folder: every file that appears and is written completely
// (its size and time unchanged since the last look) is archived and moved to
// archiviert/, or, when it cannot be taken, to abgelehnt/ with a .txt beside
// it saying why. Nothing is deleted. Hidden files and names ending in .part,
// .tmp or ~ are files still being written.
class Eingangsordner
{
public:
    Eingangsordner(Datenbank &db, QString ordner, qint64 firma);

    struct Stand
    {
        int belege = 0, scanspeicher = 0, abgelehnt = 0, fehler = 0;
        int wartend = 0; // still being written
    };
    // One look at the folder.
    Stand durchgang();
    QString ordner() const { return m_ordner; }

private:
    void verschieben(const QString &pfad, const QString &unterordner, const QString &grund = {});

    Datenbank &m_db;
    QString m_ordner;
    qint64 m_firma;
    struct Gesehen
    {
        qint64 groesse = -1;
        qint64 zeit = 0;
        int fehlversuche = 0;
    };
    QHash<QString, Gesehen> m_gesehen;
};

} // namespace posteingang

} // namespace archiv::archivd
