#include "app/Ereignis.h"

#include "common/Meldung.h"
#include "common/Protokoll.h"
#include "common/Texte.h"
#include "server/ServerFehler.h"

namespace archiv::app {

using namespace archiv::common;

bool ereignis(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const server::ServerFehler &e) {
        meldung(HauptTitel, e.meldung(), MeldungsSymbol::Kritisch);
    } catch (const std::exception &e) {
        meldung(HauptTitel, QString::fromUtf8(e.what()), MeldungsSymbol::Kritisch);
    }
    return false;
}

} // namespace archiv::app
