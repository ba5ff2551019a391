#include "support/Textbreite.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QToolButton>
#include <QTreeView>

namespace archiv::test {

namespace {

// The text as drawn: without the mnemonic marks, its widest line.
int textBreite(const QFontMetrics &fm, const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("&&"), QLatin1String("\x01"));
    t.remove(u'&');
    t.replace(u'\x01', u'&');
    int breite = 0;
    for (const QString &zeile : t.split(u'\n'))
        breite = qMax(breite, fm.horizontalAdvance(zeile));
    return breite;
}

QString name(const QWidget *w, const QWidget *fenster)
{
    QStringList pfad;
    for (const QWidget *x = w; x && x != fenster; x = x->parentWidget())
        if (!x->objectName().isEmpty() && !x->objectName().startsWith(QLatin1String("qt_")))
            pfad.prepend(x->objectName());
    return (fenster->objectName().isEmpty() ? QString::fromLatin1(fenster->metaObject()->className()) : fenster->objectName()) + u'/' +
        (pfad.isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : pfad.join(u'/'));
}

QString zeile(const QWidget *w, const QWidget *fenster, const QString &text, int noetig, int da)
{
    return QStringLiteral("%1 \"%2\": %3 px nötig, %4 px da").arg(name(w, fenster), text).arg(noetig).arg(da);
}

void knopf(const QAbstractButton *b, const QWidget *fenster, QStringList &fehler)
{
    if (b->text().isEmpty())
        return;
    const QStyle *s = b->style();
    // Measured as the button measures itself.
    int noetig = b->fontMetrics().size(Qt::TextShowMnemonic, b->text()).width();
    if (!b->icon().isNull())
        noetig += b->iconSize().width() + 4;
    if (qobject_cast<const QCheckBox *>(b))
        noetig += s->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) + s->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b);
    else if (qobject_cast<const QRadioButton *>(b))
        noetig += s->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b) + s->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, b);
    else {
        // The style's frame and margins around the text (measured on a
        // wide text: a style may give every button a least width).
        QStyleOptionButton o;
        o.initFrom(b);
        constexpr int Breit = 400;
        noetig += s->sizeFromContents(QStyle::CT_PushButton, &o, QSize(Breit, b->fontMetrics().height()), b).width() - Breit;
    }
    if (noetig > b->width())
        fehler << zeile(b, fenster, b->text(), noetig, b->width());
}

void beschriftung(const QLabel *l, const QWidget *fenster, QStringList &fehler)
{
    if (l->text().isEmpty() || l->wordWrap() || Qt::mightBeRichText(l->text()) || !l->pixmap().isNull())
        return;
    const int rand = 2 * l->margin() + qMax(0, l->indent());
    const int da = l->contentsRect().width() - rand;
    const int noetig = textBreite(l->fontMetrics(), l->text());
    if (noetig > da)
        fehler << zeile(l, fenster, l->text(), noetig, da);
    const int zeilen = int(l->text().count(u'\n')) + 1;
    if (zeilen > 1 && zeilen * l->fontMetrics().lineSpacing() > l->contentsRect().height() + 2)
        fehler << zeile(l, fenster, l->text(), zeilen * l->fontMetrics().lineSpacing(), l->contentsRect().height()) + QStringLiteral(" (Höhe)");
}

void kopf(const QHeaderView *h, const QWidget *fenster, QStringList &fehler)
{
    const QAbstractItemModel *m = h->model();
    if (!m || h->isHidden())
        return;
    const int rand = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    const int n = h->orientation() == Qt::Horizontal ? m->columnCount(h->rootIndex()) : m->rowCount(h->rootIndex());
    for (int i = 0; i < n; ++i) {
        if (h->isSectionHidden(i))
            continue;
        const QString text = m->headerData(i, h->orientation(), Qt::DisplayRole).toString();
        if (text.isEmpty())
            continue;
        int noetig = textBreite(h->fontMetrics(), text) + rand;
        if (h->isSortIndicatorShown() && h->sortIndicatorSection() == i)
            noetig += h->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, h);
        // The last column reaches to the view's edge when it stretches.
        int da = h->sectionSize(i);
        if (h->stretchLastSection() && i == n - 1)
            da = qMax(da, h->viewport()->width() - h->sectionViewportPosition(i));
        if (noetig > da)
            fehler << zeile(h, fenster, text, noetig, da);
    }
}

// The rows shown of a list or tree: each cell's text in its column, unless
// the row offers the whole text as its tooltip.
void zellen(const QAbstractItemView *v, const QWidget *fenster, QStringList &fehler)
{
    const QAbstractItemModel *m = v->model();
    if (!m)
        return;
    const int rand = 2 * (v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1);
    const QRect sichtbar = v->viewport()->rect();
    const auto pruefeEbene = [&](const QModelIndex &eltern, auto &selbst) -> void {
        for (int r = 0; r < m->rowCount(eltern); ++r) {
            for (int c = 0; c < m->columnCount(eltern); ++c) {
                const QModelIndex i = m->index(r, c, eltern);
                const QRect zelle = v->visualRect(i);
                if (!zelle.isValid() || !zelle.intersects(sichtbar))
                    continue;
                const QString text = i.data(Qt::DisplayRole).toString();
                if (text.isEmpty() || i.data(Qt::ToolTipRole).toString() == text)
                    continue;
                int noetig = textBreite(v->fontMetrics(), text) + rand;
                if (!i.data(Qt::DecorationRole).isNull())
                    noetig += v->iconSize().isValid() ? v->iconSize().width() + 4 : 20;
                if (!i.data(Qt::CheckStateRole).isNull())
                    noetig += v->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, v) + 4;
                // The part of the cell the view shows (the last column may end
                // beyond its edge); a view that scrolls sideways shows it all.
                const bool seitwaerts = v->horizontalScrollBar()->maximum() > 0;
                const int da = seitwaerts ? zelle.width() : qMin(zelle.right(), sichtbar.right()) - zelle.left() + 1;
                if (noetig > da)
                    fehler << zeile(v, fenster, text, noetig, da);
            }
            if (const auto *baum = qobject_cast<const QTreeView *>(v); baum && baum->isExpanded(m->index(r, 0, eltern)))
                selbst(m->index(r, 0, eltern), selbst);
        }
    };
    pruefeEbene(v->rootIndex(), pruefeEbene);
}

// A closed choice list's current text beside its arrow.
void auswahl(const QComboBox *c, const QWidget *fenster, QStringList &fehler)
{
    // A box that paints a text of its own names it as "anzeige".
    const QVariant eigen = c->property("anzeige");
    const QString text = eigen.isValid() ? eigen.toString() : c->currentText();
    if (text.isEmpty() || c->isEditable())
        return;
    QStyleOptionComboBox o;
    o.initFrom(c);
    const QRect feld = c->style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, c);
    int noetig = textBreite(c->fontMetrics(), text);
    if (!c->itemIcon(c->currentIndex()).isNull())
        noetig += c->iconSize().width() + 4;
    if (noetig > feld.width())
        fehler << zeile(c, fenster, text, noetig, feld.width());
}

void reiter(const QTabBar *t, const QWidget *fenster, QStringList &fehler)
{
    for (int i = 0; i < t->count(); ++i) {
        if (!t->isTabVisible(i))
            continue;
        const int noetig = textBreite(t->fontMetrics(), t->tabText(i));
        const int da = t->tabRect(i).width() - t->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, t) / 2;
        if (noetig > da)
            fehler << zeile(t, fenster, t->tabText(i), noetig, da);
    }
}

void gruppe(const QGroupBox *g, const QWidget *fenster, QStringList &fehler)
{
    if (g->title().isEmpty())
        return;
    const int noetig = textBreite(g->fontMetrics(), g->title()) + (g->isCheckable() ? 20 : 0) + 12;
    if (noetig > g->width())
        fehler << zeile(g, fenster, g->title(), noetig, g->width());
}

} // namespace

QStringList abgeschnitteneTexte(const QWidget *fenster)
{
    QStringList fehler;
    // A title bar keeps room for the window's icon and its three buttons.
    constexpr int Titelleiste = 130;
    if (fenster->isWindow() && !fenster->windowTitle().isEmpty()) {
        const int noetig = QFontMetrics(QApplication::font()).horizontalAdvance(fenster->windowTitle()) + Titelleiste;
        if (noetig > fenster->width())
            fehler << zeile(fenster, fenster, fenster->windowTitle(), noetig, fenster->width()) + QStringLiteral(" (Fenstertitel)");
    }
    for (const QWidget *w : fenster->findChildren<QWidget *>()) {
        if (!w->isVisibleTo(fenster) || w->window() != fenster->window())
            continue;
        if (const auto *b = qobject_cast<const QAbstractButton *>(w); b && !qobject_cast<const QToolButton *>(w))
            knopf(b, fenster, fehler);
        else if (const auto *l = qobject_cast<const QLabel *>(w))
            beschriftung(l, fenster, fehler);
        else if (const auto *h = qobject_cast<const QHeaderView *>(w))
            kopf(h, fenster, fehler);
        else if (const auto *t = qobject_cast<const QTabBar *>(w))
            reiter(t, fenster, fehler);
        else if (const auto *g = qobject_cast<const QGroupBox *>(w))
            gruppe(g, fenster, fehler);
        else if (const auto *v = qobject_cast<const QAbstractItemView *>(w); v && !qobject_cast<const QComboBox *>(w->parentWidget()))
            zellen(v, fenster, fehler);
        else if (const auto *c = qobject_cast<const QComboBox *>(w))
            auswahl(c, fenster, fehler);
    }
    return fehler;
}

} // namespace archiv::test
