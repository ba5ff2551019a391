#pragma once

#include <chrono>

namespace archiv::archivd {

class Registry;

// The completeness jobs of this process: a job nobody asked about for this
// long is stopped and forgotten; all of them stop before the database goes.
inline constexpr std::chrono::seconds VollstaendigkeitVerwaist{600};
void setzeVollstaendigkeitVerwaist(std::chrono::seconds zeit);
void vollstaendigkeitstestsBeenden();

// One function per area; registriereAlle is the list of all of them.
void registriereFirmaAbfragen(Registry &r);
void registriereWwsMethoden(Registry &r);
void registriereStammdaten(Registry &r);
void registriereSuche(Registry &r);
void registriereBelege(Registry &r);
void registriereVollstaendigkeit(Registry &r);

inline void registriereAlle(Registry &r)
{
    registriereFirmaAbfragen(r);
    registriereWwsMethoden(r);
    registriereStammdaten(r);
    registriereSuche(r);
    registriereBelege(r);
    registriereVollstaendigkeit(r);
}

} // namespace archiv::archivd
