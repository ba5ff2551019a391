#include "editor/Doksliste.h"

#include "common/Format.h"
#include "editor/Editorbilder.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QStylePainter>
#include <QTreeView>

namespace archiv::editor {

Doksliste::Doksliste(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("Doks"));
    auto *modell = new QStandardItemModel(0, 2, this);
    modell->setHorizontalHeaderLabels({QStringLiteral("Erst.Datum"), QStringLiteral("Text")});
    setModel(modell);
    auto *ansicht = new QTreeView(this);
    ansicht->setRootIsDecorated(false);
    ansicht->setUniformRowHeights(true);
    ansicht->setSelectionBehavior(QAbstractItemView::SelectRows);
    ansicht->header()->setStretchLastSection(true);
    setView(ansicht);
    ansicht->setColumnWidth(0, 110);
    ansicht->setMinimumWidth(340);
}

void Doksliste::leeren()
{
    auto *m = static_cast<QStandardItemModel *>(model());
    m->removeRows(0, m->rowCount());
}

void Doksliste::hinzufuegen(int n, const QString &daterst, const QString &doktext, const QString &doktyp)
{
    setzen(count(), n, daterst, doktext, doktyp);
}

void Doksliste::setzen(int zeile, int n, const QString &daterst, const QString &doktext, const QString &doktyp)
{
    auto *m = static_cast<QStandardItemModel *>(model());
    if (zeile < 0 || zeile > m->rowCount())
        return;
    auto *datum = new QStandardItem(dokumentBild(doktyp == QLatin1String("pdf") ? 2 : 1), daterst);
    datum->setData(doktext, Qt::UserRole);
    datum->setEditable(false);
    // Number "##0", five blanks, version text.
    auto *text = new QStandardItem(common::formatZahl(n, QStringLiteral("##0")) + QStringLiteral("     ") + doktext);
    text->setEditable(false);
    if (zeile == m->rowCount()) {
        m->appendRow({datum, text});
    } else {
        m->setItem(zeile, 0, datum);
        m->setItem(zeile, 1, text);
    }
}

QString Doksliste::spalte(int zeile, int s) const
{
    return model()->index(zeile, s).data().toString();
}

QString Doksliste::zeilenText(int zeile) const
{
    return spalte(zeile, 0) + QLatin1Char('\n') + spalte(zeile, 1);
}

QString Doksliste::anzeige() const
{
    // The list's five blanks between number and text are one gap here.
    return currentIndex() < 0 ? QString() : spalte(currentIndex(), 0) + QStringLiteral("  ") + spalte(currentIndex(), 1).simplified();
}

void Doksliste::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionComboBox o;
    initStyleOption(&o);
    const QString text = anzeige();
    if (currentIndex() >= 0) {
        const QRect feld = style()->subControlRect(QStyle::CC_ComboBox, &o, QStyle::SC_ComboBoxEditField, this);
        const int platz = feld.width() - (o.currentIcon.isNull() ? 0 : o.iconSize.width() + 4);
        o.currentText = fontMetrics().elidedText(text, Qt::ElideRight, platz);
    }
    const QString tipp = o.currentText == text ? QString() : text;
    if (toolTip() != tipp)
        setToolTip(tipp);
    p.drawComplexControl(QStyle::CC_ComboBox, o);
    p.drawControl(QStyle::CE_ComboBoxLabel, o);
}

} // namespace archiv::editor
