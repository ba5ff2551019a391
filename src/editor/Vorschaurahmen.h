#pragma once

#include "imaging/KodierteSeite.h"
#include "imaging/Seitenliste.h"

#include <QFrame>
#include <QImage>
#include <QLabel>

class QScrollArea;
class QToolButton;

namespace archiv::editor {

// One thumbnail Vorschau1(i): a copy of its page (kept encoded, so putting
// it back into the page list loses nothing) and the small picture shown.
class Vorschaubild : public QLabel
{
    Q_OBJECT
public:
    Vorschaubild(int index, QWidget *parent);
    int index() const { return m_index; }

    // With grau given (the picture of the same page from before) the page is
    // not decoded again.
    void setzeSeite(const imaging::KodierteSeite &seite, const QImage &grau = {});
    const imaging::KodierteSeite &seite() const { return m_seite; }
    const QImage &grau() const { return m_grau; }
    // Scales the kept picture into the current box and repaints once.
    void einpassen();

Q_SIGNALS:
    void doppelklick(int index);
    void abgelegt(int von, int auf);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    int m_index;
    imaging::KodierteSeite m_seite;
    QImage m_grau; // a mid-size grey copy; spin steps scale from it
    QPoint m_druckPunkt;
};

// The preview frame Fransicht: the thumbnail strip, Spin1 and the waste bin.
// The waste bin: a thumbnail dropped on it is deleted. It shows the open
// bin while one is dragged over it.
class Muelleimer : public QLabel
{
    Q_OBJECT
public:
    explicit Muelleimer(QWidget *parent = nullptr);

Q_SIGNALS:
    void weggeworfen(int index);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

class Vorschaurahmen : public QFrame
{
    Q_OBJECT
public:
    explicit Vorschaurahmen(QWidget *parent = nullptr);

    // Hides all thumbnails and shows one per page of the list, built anew
    // from the pages (steps 1 and 3 of the rebuild; the current item of the
    // list is left as it was).
    void aufbauen(const imaging::Seitenliste &seiten);
    // A spin step: 1 grows the thumbnails by 1.05, anything else shrinks them.
    void spin(int richtung);

    int anzahl() const { return m_anzahl; } // thumbnails shown
    Vorschaubild *bild(int i) const { return m_bilder.value(i); }
    QLabel *text(int i) const { return m_texte.value(i); }
    int elemente() const { return int(m_bilder.size()); } // created, shown or not

    // Spin1 and the bin at the window layout's places (twips from the
    // frame's left edge); the strip takes the rest. The editor runs it on
    // every layout, also while the frame is hidden.
    void anordnen(double spinLinks, double muellLinks);

Q_SIGNALS:
    void doppelklick(int index);
    void abgelegt(int von, int auf);
    void weggeworfen(int index); // a thumbnail dropped on the waste bin

private:
    void element(int i);
    void platzieren();

    QScrollArea *m_flaeche;
    QWidget *m_leinwand;
    QWidget *m_spin;
    QLabel *m_muell;
    QList<Vorschaubild *> m_bilder;
    QList<QLabel *> m_texte;
    int m_anzahl = 0;
};

} // namespace archiv::editor
