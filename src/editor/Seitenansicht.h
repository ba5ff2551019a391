#pragma once

#include "imaging/Seitenliste.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>

namespace archiv::editor {

// The page view Image1: holds the pages of the current document and shows
// the current one in a destination size set by Zoomen, with scroll bars when
// it is larger than the view. The left mouse button grabs and pans the page.
class Seitenansicht : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit Seitenansicht(QWidget *parent = nullptr);

    imaging::Seitenliste &seiten() { return m_seiten; }
    const imaging::Seitenliste &seiten() const { return m_seiten; }

    // Makes list item index the current one and shows it.
    void waehlen(int index);
    // Releases every page.
    void leeren();
    // After the list was changed from outside (pages moved, deleted, turned).
    void seitenGeaendert();
    // A received original is shown in colour: one encoded picture (PNG or
    // JPEG) per page of the list, drawn in place of the bilevel page. The
    // list then only pages; leeren() ends it.
    void farbeSetzen(QList<QByteArray> bilder);
    // Found words marked on pages (index from 0): boxes in pixels of the
    // page as listed; leeren() ends them.
    void markierungenSetzen(QHash<int, QList<QRect>> jeSeite);
    const QHash<int, QList<QRect>> &markierungen() const { return m_markierungen; }
    bool zeigtFarbe() const { return !m_farbe.isEmpty(); }

    // Fits the current page by kind "B" (width) or "H" (height) times the
    // zoom value; any other kind keeps the size. Repaints once.
    void zoomen(const QString &art, double zoomWert);
    QSize zielGroesse() const { return m_ziel; }

    // Panning as the mouse does it (also for tests): begin at a point, move,
    // end. Moves only while the move pointer is set.
    void panBeginn(QPointF punkt);
    void panBewegung(QPointF punkt);
    void panEnde();

Q_SIGNALS:
    // Key-down in the view, as the key code the handlers test (37 cursor
    // left, 39 cursor right, others as Qt gives them).
    void taste(int code);
    // Files from the desktop dropped on the view (local paths).
    void dateienAbgelegt(const QStringList &pfade);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void bereicheSetzen();
    const QImage &angezeigt();

    imaging::Seitenliste m_seiten;
    QList<QByteArray> m_farbe;
    QHash<int, QList<QRect>> m_markierungen;
    int m_farbIndex = -1; // the colour page in m_bild
    QSize m_ziel;
    // The scaled current page, kept while page and size stay the same.
    QImage m_bild;
    const char *m_bildDaten = nullptr;
    QSize m_bildGroesse;

    QPointF m_mausStart;
    int m_scrollStartH = 0;
    int m_scrollStartV = 0;
    double m_zoomWert = 1.0;
    QString m_art; // the last fit, applied again when the view's size changes
};

} // namespace archiv::editor
