#pragma once

#include <QByteArray>
#include <QString>

// A received file kept as it came (an e-mailed PDF, an e-invoice XML, a
// photo): the archive stores its bytes unchanged as a document element and
// never draws, encodes or repairs it on the way in.
namespace archiv::common::original {

// Larger files are refused with a message: no invoice or delivery note is
// that big, and the whole file travels in one piece.
inline constexpr qint64 HoechstGroesse = 100LL * 1024 * 1024;

// The kind of a file from its first bytes (never from its name): one of the
// doktyp codes, or empty when the archive does not keep such files.
QString artAusInhalt(const QByteArray &anfang);

// How a kind is named to the user: "PDF", "XML", "TIFF", "PNG", "JPEG".
QString artName(const QString &doktyp);

// The file suffix a kind is written with ("pdf", "xml", "tif", "png", "jpg").
QString endung(const QString &doktyp);

// A file read for the archive: its bytes, kind and name, or why not.
struct Datei
{
    QString name; // file name without folder, as received
    QString doktyp; // empty when refused
    QByteArray inhalt;
    QString fehler; // German, when refused
    bool gelesen() const { return fehler.isEmpty(); }
};
Datei lesen(const QString &pfad);

} // namespace archiv::common::original
