#pragma once

#include "einvoice/Rechnung.h"

#include <QByteArray>
#include <optional>

namespace archiv::einvoice {

// Larger files are not read (they are archived as received all the same).
inline constexpr qsizetype HoechstGroesse = 100 * 1024 * 1024;
// Of an embedded file of a PDF at most this much is read.
inline constexpr qsizetype HoechstEingebettet = 20 * 1024 * 1024;

struct Leseergebnis
{
    Art art = Art::Unbekannt;
    Art eingebettet = Art::Unbekannt; // a hybrid PDF: the kind of its XML
    QString anhangName; // a hybrid PDF: the name of the embedded invoice file
    std::optional<Rechnung> rechnung; // when the file is an invoice that could be read
    QStringList befunde; // why it could not be read, or what is missing (German)
};

// Reads an invoice from a file's bytes: UBL, CII, ZUGFeRD 1.0 or a PDF with
// one of them embedded. Streaming; a DTD (and so every entity declaration)
// is refused, nothing outside the bytes is ever opened.
Leseergebnis lesen(const QByteArray &inhalt);

// The XML kinds alone.
Leseergebnis xmlLesen(const QByteArray &xml);

} // namespace archiv::einvoice

class QJsonObject;

namespace archiv::einvoice {

// What the reader made of one file, as one JSON object (for "archivd
// rechnung"): the path as given, kind, profile, number, date, type, currency,
// seller, the amounts and the findings.
QJsonObject alsJson(const QString &pfad, const Leseergebnis &e);

} // namespace archiv::einvoice
