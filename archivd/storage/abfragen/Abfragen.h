#pragma once

namespace archiv::archivd {

class Registry;

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
