#pragma once

#include "imaging/KodierteSeite.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <chrono>

// Drawing the pages of a PDF that did not come from our own writer (our
// pages are read back from their G4 data and never drawn). Such a file is
// untrusted: it is drawn in a child process of its own, the program started
// again in its render mode, which may use at most MaxSpeicher of memory and
// must deliver each page within Frist; otherwise it is killed and the file
// is refused with a message. Pages come back over a pipe as G4 data.
namespace archiv::imaging::pdfraster {

inline constexpr qint64 MaxSpeicher = 1024LL * 1024 * 1024;
inline constexpr std::chrono::seconds Frist{20};
// The option that starts a program in its render mode.
inline constexpr auto Schalter = "--pdf-rendern";

// Tighter bounds for tests (a bomb need not take 20 s to be stopped);
// zero values restore the defaults.
void setzeGrenzen(std::chrono::milliseconds frist, qint64 speicher);

// The program that draws (normally the running client); empty draws in
// this process, with the same bounds on pixels but none on memory. Without
// a call the environment variable ARCHIV_RENDER names it.
void setzeProgramm(const QString &programm);
QString programm();

// Pages erste.. (at most anzahl, -1 = all) of the file, or exactly the pages
// listed when seiten is not empty. Throws BildFehler.
QList<KodierteSeite> rastern(const QByteArray &daten, const QString &name, const QList<int> &seiten, int erste = 0, int anzahl = -1);

// A page drawn for the screen: the colour picture (PNG) and its bilevel form
// of the same size (thumbnails, and what needs bilevel pages).
struct Farbseite
{
    QByteArray bild;
    KodierteSeite bilevel;
};
Farbseite farbseite(const QImage &bild, int dpi);

// Every page of the file in colour at dpi (bounded as above), for showing a
// received PDF as it is. Throws BildFehler.
QList<Farbseite> farbigRastern(const QByteArray &daten, const QString &name, int dpi);

// The render mode: the request on standard input, the pages on standard
// output; the exit code. Call it first in main, before any window.
int modus();

} // namespace archiv::imaging::pdfraster
