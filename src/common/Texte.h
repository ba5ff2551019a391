#pragma once

#include <QString>

namespace archiv::common {

// Caption of the main window; every message of the program carries it as
// its title. Two blanks, as the product has always written it.
inline const QString HauptTitel = QStringLiteral("Tessam  Archivsystem");

} // namespace archiv::common
