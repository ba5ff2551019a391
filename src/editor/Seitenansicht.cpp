#include "editor/Seitenansicht.h"

#include "editor/Editorregeln.h"
#include "imaging/Seitenbearbeitung.h"

#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace archiv::editor {

Seitenansicht::Seitenansicht(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::ArrowCursor);
    setAcceptDrops(true);
}

namespace {

QStringList lokaleDateien(const QMimeData *daten)
{
    QStringList pfade;
    if (daten && daten->hasUrls())
        for (const QUrl &url : daten->urls())
            if (url.isLocalFile())
                pfade << url.toLocalFile();
    return pfade;
}

} // namespace

void Seitenansicht::dragEnterEvent(QDragEnterEvent *event)
{
    if (!lokaleDateien(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Seitenansicht::dragMoveEvent(QDragMoveEvent *event)
{
    if (!lokaleDateien(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Seitenansicht::dropEvent(QDropEvent *event)
{
    const QStringList pfade = lokaleDateien(event->mimeData());
    if (pfade.isEmpty())
        return;
    event->acceptProposedAction();
    Q_EMIT dateienAbgelegt(pfade);
}

void Seitenansicht::waehlen(int index)
{
    m_seiten.setzeAktuell(index);
    viewport()->update();
}

void Seitenansicht::leeren()
{
    m_seiten.leeren();
    m_farbe.clear();
    m_markierungen.clear();
    seitenGeaendert();
}

void Seitenansicht::markierungenSetzen(QHash<int, QList<QRect>> jeSeite)
{
    m_markierungen = std::move(jeSeite);
    viewport()->update();
}

void Seitenansicht::farbeSetzen(QList<QByteArray> bilder)
{
    m_farbe = std::move(bilder);
    seitenGeaendert();
}

void Seitenansicht::seitenGeaendert()
{
    m_bild = QImage();
    m_bildDaten = nullptr;
    m_farbIndex = -1;
    viewport()->update();
}

void Seitenansicht::zoomen(const QString &art, double zoomWert)
{
    if (m_seiten.istLeer() || m_seiten.aktuell() < 0)
        return;
    setUpdatesEnabled(false);
    const imaging::KodierteSeite &k = m_seiten.kodiert(m_seiten.aktuell());
    const imaging::Einpassung e = imaging::einpassen(QSizeF(k.breite, k.hoehe), viewport()->size(), art, zoomWert);
    if (e.gueltig)
        m_ziel = e.ziel.toSize().expandedTo({1, 1});
    m_zoomWert = zoomWert;
    m_art = art;
    bereicheSetzen();
    setUpdatesEnabled(true);
    viewport()->update();
}

void Seitenansicht::bereicheSetzen()
{
    const QSize v = viewport()->size();
    horizontalScrollBar()->setRange(0, qMax(0, m_ziel.width() - v.width()));
    horizontalScrollBar()->setPageStep(v.width());
    verticalScrollBar()->setRange(0, qMax(0, m_ziel.height() - v.height()));
    verticalScrollBar()->setPageStep(v.height());
    verticalScrollBar()->setSingleStep(qMax(1, v.height() / 20));
    horizontalScrollBar()->setSingleStep(qMax(1, v.width() / 20));
}

const QImage &Seitenansicht::angezeigt()
{
    const int index = m_seiten.aktuell();
    if (index < m_farbe.size()) {
        if (m_bild.isNull() || m_farbIndex != index || m_bildGroesse != m_ziel) {
            m_bild = QImage::fromData(m_farbe.at(index)).scaled(m_ziel, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            m_farbIndex = index;
            m_bildDaten = nullptr;
            m_bildGroesse = m_ziel;
        }
        return m_bild;
    }
    const imaging::KodierteSeite &k = m_seiten.kodiert(m_seiten.aktuell());
    if (m_bild.isNull() || m_bildDaten != k.g4.constData() || m_bildGroesse != m_ziel) {
        m_bild = imaging::skaliert(m_seiten.seite(m_seiten.aktuell()), m_ziel);
        m_bildDaten = k.g4.constData();
        m_farbIndex = -1;
        m_bildGroesse = m_ziel;
    }
    return m_bild;
}

void Seitenansicht::paintEvent(QPaintEvent *)
{
    if (m_seiten.istLeer() || m_seiten.aktuell() < 0 || m_ziel.isEmpty())
        return;
    QPainter p(viewport());
    const QImage &bild = angezeigt();
    const QPoint versatz(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    p.drawImage(versatz, bild);
    const auto marken = m_markierungen.constFind(m_seiten.aktuell());
    if (marken != m_markierungen.cend()) {
        // Semi-transparent over the words, scaled as the page is.
        const imaging::KodierteSeite &k = m_seiten.kodiert(m_seiten.aktuell());
        const double sx = double(m_ziel.width()) / qMax(1, k.breite), sy = double(m_ziel.height()) / qMax(1, k.hoehe);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 200, 0, 110));
        for (const QRect &r : *marken)
            p.drawRect(QRectF(versatz.x() + r.x() * sx, versatz.y() + r.y() * sy, r.width() * sx, r.height() * sy).adjusted(-2, -2, 2, 2));
    }
}

void Seitenansicht::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    // A size that arrives late (a window shown after loading) keeps the fit.
    if (!m_art.isEmpty() && !m_seiten.istLeer())
        zoomen(m_art, m_zoomWert);
    else
        bereicheSetzen();
}

void Seitenansicht::keyPressEvent(QKeyEvent *event)
{
    Q_EMIT taste(event->key());
    // Cursor left and right page; they do not scroll the page sideways.
    if (event->key() != Qt::Key_Left && event->key() != Qt::Key_Right)
        QAbstractScrollArea::keyPressEvent(event);
}

void Seitenansicht::panBeginn(QPointF punkt)
{
    viewport()->setCursor(Qt::SizeAllCursor);
    m_mausStart = punkt;
    m_scrollStartH = horizontalScrollBar()->value();
    m_scrollStartV = verticalScrollBar()->value();
}

void Seitenansicht::panBewegung(QPointF punkt)
{
    // The pointer shape is the only pan state.
    if (viewport()->cursor().shape() != Qt::SizeAllCursor)
        return;
    QScrollBar *h = horizontalScrollBar();
    QScrollBar *v = verticalScrollBar();
    h->setValue(panPosition(m_scrollStartH, m_mausStart.x(), punkt.x(), h->minimum(), h->maximum(), width(), m_zoomWert, 4));
    v->setValue(panPosition(m_scrollStartV, m_mausStart.y(), punkt.y(), v->minimum(), v->maximum(), height(), m_zoomWert, 3));
}

void Seitenansicht::panEnde()
{
    viewport()->setCursor(Qt::ArrowCursor);
}

void Seitenansicht::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        panBeginn(event->position());
    setFocus(Qt::MouseFocusReason);
}

void Seitenansicht::mouseMoveEvent(QMouseEvent *event)
{
    panBewegung(event->position());
}

void Seitenansicht::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        panEnde();
}

} // namespace archiv::editor
