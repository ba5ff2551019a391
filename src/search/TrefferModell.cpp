#include "search/TrefferModell.h"
#include "common/Kennungen.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <numeric>

namespace archiv::search {

TrefferModell::TrefferModell(QObject *parent) : QAbstractTableModel(parent)
{
}

void TrefferModell::setzen(QList<Trefferzeile> zeilen)
{
    beginResetModel();
    QList<QStringList> zellen;
    zellen.reserve(zeilen.size());
    for (const Trefferzeile &z : zeilen) {
        // Cells 1 to 4 are the row text's parts: type code (the narrow
        // column without caption), number, date and time, text.
        zellen << z.text.split(u'\n');
    }
    // Sorted by the third column ("YYYY-MM-DD time" sorts as text), newest first.
    QList<int> ordnung(zeilen.size());
    std::iota(ordnung.begin(), ordnung.end(), 0);
    std::stable_sort(ordnung.begin(), ordnung.end(), [&](int a, int b) { return zellen.at(a).value(2) > zellen.at(b).value(2); });
    m_zeilen.clear();
    m_zellen.clear();
    m_mitFundstellen = std::any_of(zeilen.begin(), zeilen.end(), [](const Trefferzeile &z) { return !z.fundstelle.isEmpty(); });
    m_zeilen.reserve(zeilen.size());
    m_zellen.reserve(zeilen.size());
    for (int i : ordnung) {
        m_zeilen << zeilen.at(i);
        m_zellen << zellen.at(i);
    }
    endResetModel();
}

void TrefferModell::leeren()
{
    setzen({});
}

int TrefferModell::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_zeilen.size());
}

int TrefferModell::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 6;
}

QVariant TrefferModell::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_zeilen.size())
        return {};
    const Trefferzeile &z = m_zeilen.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == SpalteFundstelle)
            return z.fundstelle;
        return index.column() < 4 ? m_zellen.at(index.row()).value(index.column()) : QVariant();
    case Qt::DecorationRole: return index.column() == 4 && z.statusMarke > 0 ? QVariant(statusBild(z.statusMarke)) : QVariant();
    case Qt::FontRole:
        if (z.durchgestrichen) {
            QFont f;
            f.setStrikeOut(true);
            return f;
        }
        return {};
    case Qt::UserRole: return z.daten;
    // A Beleg's text may be longer than its column: the whole of it on hover.
    case Qt::ToolTipRole: return index.column() == 3 ? m_zellen.at(index.row()).value(3) : QVariant();
    default: return {};
    }
}

QVariant TrefferModell::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList titel{QString(), QStringLiteral("Belegart/Nr."), QStringLiteral("Datum/Zeit"), QStringLiteral("Text"),
                                   QStringLiteral("Bild"), QStringLiteral("Fundstelle")};
    return titel.value(section);
}

QIcon TrefferModell::statusBild(int marke)
{
    // Small pictures for the status: TIF, PDF, cancelled; 3 and 4 reserved.
    static const QList<QColor> farben{Qt::transparent,       QColor(40, 110, 200),  QColor(200, 40, 40),
                                      QColor(120, 120, 120), QColor(120, 120, 120), QColor(60, 60, 60)};
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter maler(&p);
    maler.setRenderHint(QPainter::Antialiasing);
    maler.setBrush(farben.value(marke, Qt::gray));
    maler.setPen(Qt::NoPen);
    maler.drawRoundedRect(1, 1, 12, 12, 2, 2);
    if (marke == common::bildstatus::Storniert) {
        maler.setPen(QPen(Qt::white, 2));
        maler.drawLine(3, 3, 11, 11);
        maler.drawLine(11, 3, 3, 11);
    } else {
        maler.setPen(Qt::white);
        QFont f;
        f.setPixelSize(9);
        f.setBold(true);
        maler.setFont(f);
        maler.drawText(QRect(0, 0, 14, 14), Qt::AlignCenter,
                       marke == common::bildstatus::Tif       ? QStringLiteral("T")
                           : marke == common::bildstatus::Pdf ? QStringLiteral("P")
                                                              : QString::number(marke));
    }
    return QIcon(p);
}

} // namespace archiv::search
