#include "editor/Editorregeln.h"
#include "common/Kennungen.h"

#include <algorithm>

#include <cmath>

namespace archiv::editor {

Steuerung Zustand(const Editorstand &s)
{
    const bool bearbeiten = s.modus == common::modus::Bearbeiten;
    Steuerung z;
    z.speichernAn = bearbeiten && !s.aktBelart.isEmpty() && s.datumGesetzt && !s.belnr.trimmed().isEmpty();
    z.seitenansichtSichtbar = s.seiten > 0;
    z.seitenanzeigeSichtbar = s.seiten >= 2;
    z.werkzeugeAn = s.seiten > 0;
    z.loeschenAngeboten = bearbeiten && s.seiten > 0;
    z.druckenAn = s.seiten > 0;
    z.kopfAn = bearbeiten;
    z.neuSichtbar = s.dokId.isEmpty();
    z.dokumentKnoepfeSichtbar = bearbeiten && s.dokAnz > 0;
    return z;
}

std::optional<Editorlayout> layout(double w, double h, double knopfBreite)
{
    Editorlayout l;
    l.tab1 = {50, 50, w - 150, h - 400};
    // The button column keeps its right edge; wider buttons take room from
    // the frames.
    knopfBreite = qMax(knopfBreite, KnopfBreite);
    l.knopfLinks = l.tab1.breite + 100 - knopfBreite;
    l.knopfBreite = knopfBreite;
    l.rahmen = {l.tab1.links + 20, l.tab1.oben + 360, l.tab1.breite - 200 - knopfBreite, l.tab1.hoehe - 400};
    l.spinLinks = l.rahmen.breite - 600;
    l.muellLinks = l.rahmen.breite - 610;
    // The page view sits 150 + 300 below the frame's top, 600 + 500 shorter.
    l.image1 = {l.rahmen.links + 50, l.rahmen.oben + 450, l.rahmen.breite - 150, l.rahmen.hoehe - 1100};
    if (l.tab1.breite <= 0 || l.tab1.hoehe <= 0 || l.rahmen.breite <= 0 || l.rahmen.hoehe <= 0 || l.image1.breite <= 0 ||
        l.image1.hoehe <= 0 || l.knopfLinks < 0)
        return std::nullopt;
    return l;
}

QList<Vorschauplatz> vorschauLayout(int anzahl, double zoomfaktor, double links0, double oben0, double rahmenBreite)
{
    QList<Vorschauplatz> plaetze;
    const double breite = 2500 * zoomfaktor;
    const double hoehe = 2500 * zoomfaktor * 1.42;
    for (int i = 0; i < anzahl; ++i) {
        Vorschauplatz p;
        p.bild.breite = breite;
        p.bild.hoehe = hoehe;
        if (i == 0) {
            p.bild.links = links0;
            p.bild.oben = oben0;
        } else {
            const Rechteck &vorher = plaetze.last().bild;
            const double kandidat = vorher.links + vorher.breite + 100;
            if (kandidat + breite + 300 > rahmenBreite) {
                p.bild.links = links0;
                p.bild.oben = vorher.oben + hoehe + 300;
            } else {
                p.bild.links = kandidat;
                p.bild.oben = vorher.oben;
            }
        }
        p.textLinks = p.bild.links + p.bild.breite / 2 - 250;
        p.textOben = p.bild.oben + p.bild.hoehe + 50;
        plaetze.append(p);
    }
    return plaetze;
}

double spinSchritt(double zoomfaktor, int richtung)
{
    return std::clamp(richtung == 1 ? zoomfaktor * 1.05 : zoomfaktor / 1.05, MinZoomfaktor, MaxZoomfaktor);
}

QString ziehSymbol(Ziehzustand zustand, int ueber, int gezogen)
{
    if (ueber != gezogen && zustand == Ziehzustand::Bewegen)
        return QStringLiteral("paperkl.ico");
    return QStringLiteral("papergr.ico");
}

int panPosition(int startPosition, double mausStart, double maus, int minimum, int maximum, double ansicht, double zoomWert, double teiler)
{
    const double nenner = ansicht * zoomWert / teiler;
    if (nenner <= 0)
        return startPosition;
    return int(std::lround(startPosition + (mausStart - maus) * (maximum - minimum + 1) / nenner));
}

std::optional<Speicheroptionen> speicheroptionen(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QStringList teile = text.split(u'|');
    const auto zahl = [&teile](int i) { return teile.value(i).trimmed().toDouble() != 0; };
    // The version text may hold a "|" of its own: the last field is the flag.
    return Speicheroptionen{zahl(0), teile.mid(1, qMax(0, int(teile.size()) - 2)).join(u'|'), teile.size() >= 3 && zahl(int(teile.size()) - 1)};
}

Elementwahl elementWaehlen(bool neueVersion, int aktDok, int doksAnzahl, const QString &vorigerTyp)
{
    Elementwahl w;
    w.neu = neueVersion || aktDok == 0 || aktDok > doksAnzahl;
    if (!w.neu)
        return w;
    w.ersteDatei = aktDok == 0;
    w.doktyp = aktDok != 0 && vorigerTyp == QLatin1String("pdf") ? QStringLiteral("pdf") : QStringLiteral("tif");
    return w;
}

} // namespace archiv::editor
