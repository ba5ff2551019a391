#pragma once

#include <QList>
#include <QString>

#include <optional>

// The editor's rules that need no widget: which controls are usable, where
// the frames, the page view and the thumbnails go (all in twips), and how
// panning moves the page. The editor window applies them.
namespace archiv::editor {

// What the control rule reads.
struct Editorstand
{
    QString modus; // "bearbeiten" = edit mode
    QString aktBelart;
    bool datumGesetzt = false;
    QString belnr;
    int seiten = 0; // pages in the view
    QString dokId; // empty = a new Beleg
    int dokAnz = 0;
};

// What the control rule decides, in its seven steps.
struct Steuerung
{
    bool speichernAn = false; // BUSpeich enabled
    bool seitenansichtSichtbar = false; // Image1
    bool seitenanzeigeSichtbar = false; // labseit and Scroll1
    bool werkzeugeAn = false; // Drehen, Verkleinern, Vergrössern, Zoom auf Breite/Höhe
    bool loeschenAngeboten = false; // toolbar item "Löschen"
    bool druckenAn = false; // "Drucken" enabled, "Kopieren" offered
    bool kopfAn = false; // Belnr, Beldat, the time and the type box enabled
    bool neuSichtbar = false; // BUNeu and BUSubeleg
    bool dokumentKnoepfeSichtbar = false; // budoknreinf and budoknrloe
};
Steuerung Zustand(const Editorstand &s);

// What the save dialog hands back ("newversjn|verstxt|privatjn"); nullopt
// for the empty text of a cancelled dialog.
struct Speicheroptionen
{
    bool neueVersion = false;
    QString versionstext;
    bool privat = false;
};
std::optional<Speicheroptionen> speicheroptionen(const QString &text);

// Which document element a save writes: a new one (a new version, a Beleg
// without documents, or a row added with "Anfügen" not stored yet) or the
// current one, whose file is replaced.
struct Elementwahl
{
    bool neu = false;
    QString doktyp; // of a new element: "tif", or "pdf" when the document before was one
    bool ersteDatei = false; // the Beleg's first document: its picture kind becomes 1
};
Elementwahl elementWaehlen(bool neueVersion, int aktDok, int doksAnzahl, const QString &vorigerTyp);

struct Rechteck
{
    double links = 0, oben = 0, breite = 0, hoehe = 0;
    friend bool operator==(const Rechteck &, const Rechteck &) = default;
};

struct Editorlayout
{
    Rechteck tab1;
    double knopfLinks = 0; // BUClose, BUSpeich, BUScan, BUScandatabase
    double knopfBreite = 0;
    Rechteck rahmen; // FRBeleg, FRDokument and Fransicht alike
    Rechteck image1;
    double spinLinks = 0; // inside Fransicht
    double muellLinks = 0;
};
// For a window W × H twips, with buttons at least KnopfBreite twips wide
// (wider when their captions need it); nullopt when it is too small for the
// layout, and the window then keeps its last valid sizes.
inline constexpr double KnopfBreite = 1400;
std::optional<Editorlayout> layout(double breite, double hoehe, double knopfBreite = KnopfBreite);

struct Vorschauplatz
{
    Rechteck bild;
    double textLinks = 0, textOben = 0; // "Seite " + (i + 1)
};
// Thumbnail boxes 2500 × Zoomfaktor wide, 1.42 times as high, in rows that
// wrap when the next one would pass the frame's width; element 0 at its
// designed place.
QList<Vorschauplatz> vorschauLayout(int anzahl, double zoomfaktor, double links0, double oben0, double rahmenBreite);

// The thumbnail size factor after one spin step (1 = up): × or ÷ 1.05,
// kept between the bounds (a held arrow would otherwise grow each thumbnail
// picture to hundreds of megabytes).
inline constexpr double MinZoomfaktor = 0.2;
inline constexpr double MaxZoomfaktor = 5.0;
double spinSchritt(double zoomfaktor, int richtung);

// The drag icon while a thumbnail is dragged over thumbnail "ueber": every
// notification starts from the big sheet; a move over another thumbnail shows
// the small one, leaving it the big one again.
enum class Ziehzustand { Betreten, Bewegen, Verlassen };
QString ziehSymbol(Ziehzustand zustand, int ueber, int gezogen);

// A pan: the new scroll position for a mouse that moved from start to now
// in a view of the given extent; the divisor is 4 horizontally, 3 vertically.
int panPosition(int startPosition, double mausStart, double maus, int minimum, int maximum, double ansicht, double zoomWert, double teiler);

} // namespace archiv::editor
