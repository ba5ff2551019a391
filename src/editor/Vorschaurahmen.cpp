#include "editor/Vorschaurahmen.h"

#include "common/Programmzustand.h"
#include "common/Twips.h"
#include "editor/Editorbilder.h"
#include "editor/Editorregeln.h"
#include "imaging/Seitenbearbeitung.h"
#include "imaging/TiffDatei.h"

#include <QDrag>
#include <QHash>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace archiv::editor {

using common::pixelZuTwips;
using common::twipsZuPixel;

namespace {

const QString ZiehTyp = QStringLiteral("application/x-archiv-vorschau");

// The designed place of thumbnail 0 inside the frame, in twips.
constexpr double Links0 = 200;
constexpr double Oben0 = 200;

int gezogenerIndex(const QMimeData *m)
{
    return m && m->hasFormat(ZiehTyp) ? QString::fromLatin1(m->data(ZiehTyp)).toInt() : -1;
}

} // namespace

Vorschaubild::Vorschaubild(int index, QWidget *parent) : QLabel(parent), m_index(index)
{
    setObjectName(QStringLiteral("Vorschau1"));
    setProperty("index", index);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::Box);
    setStyleSheet(QStringLiteral("background: white;"));
    setAcceptDrops(true);
}

void Vorschaubild::setzeSeite(const imaging::KodierteSeite &seite, const QImage &grau)
{
    m_seite = seite;
    // Large enough for bigger boxes after a few spin steps; the page itself
    // stays in m_seite for the page move.
    m_grau = grau.isNull() ? imaging::vorschau(imaging::TiffDatei::dekodieren(seite), QSize(480, 680)) : grau;
}

void Vorschaubild::einpassen()
{
    setUpdatesEnabled(false);
    const QSize box = contentsRect().size();
    if (!m_grau.isNull() && !box.isEmpty())
        setPixmap(QPixmap::fromImage(m_grau.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    setUpdatesEnabled(true);
    update();
}

void Vorschaubild::mousePressEvent(QMouseEvent *event)
{
    m_druckPunkt = event->position().toPoint();
    QLabel::mousePressEvent(event);
}

void Vorschaubild::mouseMoveEvent(QMouseEvent *event)
{
    // Only the left button alone drags.
    if (event->buttons() != Qt::LeftButton || (event->position().toPoint() - m_druckPunkt).manhattanLength() < 4)
        return;
    auto *daten = new QMimeData;
    daten->setData(ZiehTyp, QByteArray::number(m_index));
    QDrag drag(this);
    drag.setMimeData(daten);
    const QPixmap gross = bildDatei(QStringLiteral("papergr.ico"));
    drag.setPixmap(gross);
    drag.setHotSpot(QPoint(gross.width() / 2, gross.height() / 2));
    drag.setDragCursor(bildDatei(QStringLiteral("paperkl.ico")), Qt::MoveAction);
    drag.setDragCursor(gross, Qt::IgnoreAction);
    drag.exec(Qt::MoveAction);
}

void Vorschaubild::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT doppelklick(m_index);
}

void Vorschaubild::dragEnterEvent(QDragEnterEvent *event)
{
    const int von = gezogenerIndex(event->mimeData());
    if (von >= 0)
        event->accept(); // the icon stays the big sheet until a move
}

void Vorschaubild::dragMoveEvent(QDragMoveEvent *event)
{
    const int von = gezogenerIndex(event->mimeData());
    // The drag shows the small sheet while accepted (the move cursor) and
    // the big one while refused.
    if (von >= 0 && ziehSymbol(Ziehzustand::Bewegen, m_index, von) == QLatin1String("paperkl.ico"))
        event->acceptProposedAction();
    else
        event->ignore();
}

void Vorschaubild::dropEvent(QDropEvent *event)
{
    const int von = gezogenerIndex(event->mimeData());
    if (von < 0 || von == m_index)
        return;
    event->acceptProposedAction();
    Q_EMIT abgelegt(von, m_index);
}

Muelleimer::Muelleimer(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("PicMuell"));
    setPixmap(bildDatei(QStringLiteral("muell.ico")));
    adjustSize();
    setAcceptDrops(true);
}

void Muelleimer::dragEnterEvent(QDragEnterEvent *event)
{
    // The enter changes nothing yet; the first move opens the bin.
    if (gezogenerIndex(event->mimeData()) >= 0)
        event->acceptProposedAction();
}

void Muelleimer::dragMoveEvent(QDragMoveEvent *event)
{
    if (gezogenerIndex(event->mimeData()) < 0) {
        event->ignore();
        return;
    }
    setPixmap(bildDatei(QStringLiteral("muellop.ico")));
    event->acceptProposedAction(); // the drag shows the small sheet
}

void Muelleimer::dragLeaveEvent(QDragLeaveEvent *)
{
    setPixmap(bildDatei(QStringLiteral("muell.ico")));
}

void Muelleimer::dropEvent(QDropEvent *event)
{
    const int index = gezogenerIndex(event->mimeData());
    if (index < 0)
        return;
    event->acceptProposedAction();
    Q_EMIT weggeworfen(index);
}

Vorschaurahmen::Vorschaurahmen(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Fransicht"));
    setFrameShape(QFrame::NoFrame);
    m_flaeche = new QScrollArea(this);
    m_flaeche->setFrameShape(QFrame::NoFrame);
    m_flaeche->setWidgetResizable(false);
    m_leinwand = new QWidget;
    m_flaeche->setWidget(m_leinwand);
    // The tab page shows through around the thumbnails.
    m_flaeche->viewport()->setAutoFillBackground(false);
    m_leinwand->setAutoFillBackground(false);
    element(0);
    m_bilder.first()->hide();
    m_texte.first()->hide();

    m_spin = new QWidget(this);
    m_spin->setObjectName(QStringLiteral("Spin1"));
    auto *sl = new QVBoxLayout(m_spin);
    sl->setContentsMargins(0, 0, 0, 0);
    sl->setSpacing(0);
    for (const auto &[name, pfeil, richtung] : {std::tuple{"Spin1Auf", Qt::UpArrow, 1}, std::tuple{"Spin1Ab", Qt::DownArrow, 0}}) {
        auto *k = new QToolButton(m_spin);
        k->setObjectName(QLatin1String(name));
        k->setArrowType(pfeil);
        k->setAutoRepeat(true);
        k->setFixedSize(22, 16);
        sl->addWidget(k);
        connect(k, &QToolButton::clicked, this, [this, r = richtung] { spin(r); });
    }
    m_spin->setToolTip(QStringLiteral("Vorschau größer / kleiner"));
    m_spin->adjustSize();

    m_muell = new Muelleimer(this);
    connect(static_cast<Muelleimer *>(m_muell), &Muelleimer::weggeworfen, this, &Vorschaurahmen::weggeworfen);
}

void Vorschaurahmen::element(int i)
{
    while (m_bilder.size() <= i) {
        const int n = int(m_bilder.size());
        auto *b = new Vorschaubild(n, m_leinwand);
        connect(b, &Vorschaubild::doppelklick, this, &Vorschaurahmen::doppelklick);
        connect(b, &Vorschaubild::abgelegt, this, &Vorschaurahmen::abgelegt);
        auto *t = new QLabel(m_leinwand);
        t->setObjectName(QStringLiteral("Vorschau1Txt"));
        t->setProperty("index", n);
        m_bilder << b;
        m_texte << t;
    }
}

void Vorschaurahmen::aufbauen(const imaging::Seitenliste &seiten)
{
    for (int i = 0; i < m_bilder.size(); ++i) {
        m_bilder.at(i)->hide();
        m_texte.at(i)->hide();
    }
    // A page the strip showed before (same encoded data, wherever it stands
    // now) keeps its picture; only new or changed pages are decoded again.
    QHash<const char *, QImage> bekannt;
    for (int i = 0; i < m_anzahl; ++i)
        bekannt.insert(m_bilder.at(i)->seite().g4.constData(), m_bilder.at(i)->grau());
    m_anzahl = seiten.anzahl();
    if (m_anzahl > 0)
        element(m_anzahl - 1);
    for (int i = 0; i < m_anzahl; ++i) {
        const imaging::KodierteSeite &k = seiten.kodiert(i);
        m_bilder.at(i)->setzeSeite(k, bekannt.value(k.g4.constData()));
        m_texte.at(i)->setText(QStringLiteral("Seite ") + QString::number(i + 1));
    }
    platzieren();
}

void Vorschaurahmen::spin(int richtung)
{
    global::Zoomfaktor = spinSchritt(global::Zoomfaktor, richtung);
    platzieren();
}

void Vorschaurahmen::platzieren()
{
    const double dpi = logicalDpiX();
    const QList<Vorschauplatz> plaetze = vorschauLayout(m_anzahl, global::Zoomfaktor, Links0, Oben0, pixelZuTwips(width(), dpi));
    int rechts = 0, unten = 0;
    for (int i = 0; i < plaetze.size(); ++i) {
        const Vorschauplatz &p = plaetze.at(i);
        Vorschaubild *b = m_bilder.at(i);
        b->setGeometry(twipsZuPixel(p.bild.links, dpi), twipsZuPixel(p.bild.oben, dpi), twipsZuPixel(p.bild.breite, dpi),
                       twipsZuPixel(p.bild.hoehe, dpi));
        b->einpassen();
        QLabel *t = m_texte.at(i);
        t->adjustSize();
        t->move(twipsZuPixel(p.textLinks, dpi), twipsZuPixel(p.textOben, dpi));
        b->show();
        t->show();
        rechts = qMax(rechts, b->geometry().right());
        unten = qMax(unten, t->geometry().bottom());
    }
    m_leinwand->resize(rechts + twipsZuPixel(300, dpi), unten + twipsZuPixel(300, dpi));
}

void Vorschaurahmen::anordnen(double spinLinks, double muellLinks)
{
    const double dpi = logicalDpiX();
    // Spin1 and the bin keep to the right edge; the strip uses the rest.
    const int muell = twipsZuPixel(muellLinks, dpi);
    m_spin->move(twipsZuPixel(spinLinks, dpi), twipsZuPixel(200, dpi));
    m_muell->move(muell, height() - m_muell->height() - twipsZuPixel(200, dpi));
    m_flaeche->setGeometry(0, 0, qMax(0, muell - twipsZuPixel(60, dpi)), height());
    m_spin->raise();
    m_muell->raise();
}

} // namespace archiv::editor
