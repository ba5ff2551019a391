#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace archiv::einvoice {

// What a file is, read from its content (never from its name).
enum class Art {
    Unbekannt, // none of the kinds below
    Ubl, // UBL 2.1 Invoice or CreditNote (XRechnung UBL)
    Cii, // UN/CEFACT CrossIndustryInvoice (XRechnung CII, ZUGFeRD 2.x, Factur-X)
    Zugferd1, // ZUGFeRD 1.0 CrossIndustryDocument
    HybridPdf, // a PDF carrying one of the XML kinds as an embedded file
    Pdf, // a PDF without an invoice inside
};
QString artName(Art art); // "UBL", "CII", "ZUGFeRD 1.0", "hybrid PDF", "plain PDF", "other"

struct Anschrift
{
    QString strasse, plz, ort, land;
};

struct Partei
{
    QString name; // BT-27 / BT-44
    Anschrift anschrift;
    QString ustId; // BT-31 (VAT identifier)
    QString steuernummer; // BT-32 (tax registration number)
};

struct Position
{
    QString id; // BT-126
    QString notiz; // BT-127
    QString menge; // BT-129
    QString einheit; // BT-130
    QString betrag; // BT-131, net
    QString name; // BT-153
};

struct Steuerzeile // BG-23
{
    QString kategorie; // BT-118
    QString satz; // BT-119, percent
    QString basis; // BT-116
    QString betrag; // BT-117
};

// One invoice as EN 16931 names its parts, for both syntaxes. Amounts and
// dates stay as the file writes them (decimal text, ISO date), so nothing is
// rounded on the way.
struct Rechnung
{
    QString profil; // BT-24 (the profile the invoice follows)
    QString nummer; // BT-1
    QString datum; // BT-2, YYYY-MM-DD
    QString typ; // BT-3: 380 invoice, 381 credit note, 384 corrected, 326 partial, ...
    QString waehrung; // BT-5
    QString faellig; // BT-9, YYYY-MM-DD
    QString kaeuferReferenz; // BT-10, the Leitweg-ID of public buyers
    QString bestellung; // BT-13
    QString lieferschein; // BT-16
    QString vorherigeRechnung; // BT-25
    Partei verkaeufer;
    Partei kaeufer;
    QString zahlungsart; // BT-81
    QString iban; // BT-84
    QList<Position> positionen;
    QList<Steuerzeile> steuern;
    QString summePositionen; // BT-106
    QString summeAbschlaege; // BT-107, allowances on document level
    QString summeZuschlaege; // BT-108, charges on document level
    QString summeNetto; // BT-109
    QString summeSteuer; // BT-110
    QString summeBrutto; // BT-112
    QString vorausbezahlt; // BT-113
    QString rundung; // BT-114
    QString zahlbetrag; // BT-115
    QStringList notizen; // BT-22
    QStringList anhaenge; // BG-24: file names of the attachments (kept inside the original)
};

// An amount and a date as index values are typed and read in the archive:
// "1234.5" as "1234,50" (no thousands mark, so a search finds what is typed),
// "2026-05-02" as "02.05.2026"; a text that is neither stays as it is.
QString indexBetrag(const QString &betrag);
QString indexDatum(const QString &iso);

} // namespace archiv::einvoice
