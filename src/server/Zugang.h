#pragma once

#include <QString>

#include <functional>

// What a workstation shows the archive server: its access key on every
// request, and the session of the logged-in WWS user on every request while
// the login lasts. Process-wide: every connection of the program uses them.
namespace archiv::server {

// The workstation's key (one line, as "archivd client add" printed it), for
// every server unless one was given for an address.
void setzeZugang(const QString &schluessel);
// A key for one server address (a workstation, or a test, that talks to
// more than one server).
void setzeZugangFuer(const QString &host, int port, const QString &schluessel);
QString zugangFuer(const QString &host, int port);

// The session a successful password check opened, for the server that
// opened it and for every other one (the WWS and the archive are usually
// one server under two names); empty when none.
void setzeSitzung(const QString &host, int port, const QString &sitzung);
QString sitzungFuer(const QString &host, int port);
void sitzungBeenden();
// Whether a login opened a session (it may have lapsed on the server).
bool hatSitzung();

// Asked when the server refuses a write for want of a login (none yet, or
// it lapsed): shows the login and answers whether it succeeded; the write
// is then sent once more. Without one the refusal reaches the caller.
void setzeAnmelder(std::function<bool()> anmelder);
bool anmelden();

// While one lives on a thread, a refused write is not answered with the
// login dialog there: it fails at once (giving pages back to the scan store,
// or pages of a batch after the user declined to log in).
class OhneAnmeldung
{
public:
    OhneAnmeldung();
    ~OhneAnmeldung();
    OhneAnmeldung(const OhneAnmeldung &) = delete;
    OhneAnmeldung &operator=(const OhneAnmeldung &) = delete;
};

} // namespace archiv::server
