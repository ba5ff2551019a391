#pragma once

#include "common/Zugangsschluessel.h"

#include <QString>

#include <optional>

namespace archiv::common {

// The enrolment file of a workstation ("NAME.archivzugang"): what the
// administrator hands over so that the workstation finds and enters its
// archive server at once. Lines "schluessel=VALUE"; blank lines and lines
// starting with "#" are comments:
//
//   # Zugang zum Archivserver für den Arbeitsplatz Kasse-1
//   adresse=archiv.firma.lan
//   port=1972
//   schluessel=Kasse-1.SECRET.FINGERPRINT
struct Zugangsdatei
{
    QString adresse;
    QString port;
    Zugangsschluessel schluessel;

    static constexpr auto Endung = ".archivzugang";

    // Written readable by its owner only (it holds the secret). False, with
    // the reason in *fehler, when it cannot be written.
    bool schreiben(const QString &pfad, QString *fehler) const;
    // Nullopt, with a German reason in *fehler, unless the file holds an
    // address, a port from 1 to 65535 and a whole key.
    static std::optional<Zugangsdatei> lesen(const QString &pfad, QString *fehler);
    // The same for text already read (standard input, say).
    static std::optional<Zugangsdatei> ausText(const QByteArray &text, QString *fehler);
};

} // namespace archiv::common
