#include "editor/Editorbilder.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

namespace archiv::editor {

QPixmap bildDatei(const QString &name)
{
    const QString vorOrt = QDir::current().filePath(name);
    QPixmap p;
    if (QFileInfo(vorOrt).isFile() && p.load(vorOrt))
        return p;
    p.load(QStringLiteral(":/editor/") + name);
    return p;
}

namespace {

QPixmap leinwand()
{
    QPixmap p(20, 20);
    p.fill(Qt::transparent);
    return p;
}

void blatt(QPainter &m)
{
    m.setPen(QColor(60, 60, 60));
    m.setBrush(Qt::white);
    m.drawRect(4, 1, 11, 17);
}

} // namespace

QIcon dokumentBild(int nummer)
{
    QPixmap p = leinwand();
    QPainter m(&p);
    blatt(m);
    QFont f = m.font();
    f.setPixelSize(6);
    f.setBold(true);
    m.setFont(f);
    const bool pdf = nummer == 2;
    m.fillRect(1, 8, 18, 8, pdf ? QColor(190, 40, 40) : QColor(40, 90, 170));
    m.setPen(Qt::white);
    m.drawText(QRect(1, 8, 18, 8), Qt::AlignCenter, pdf ? QStringLiteral("PDF") : QStringLiteral("TIF"));
    return QIcon(p);
}

QIcon werkzeugBild(int nummer)
{
    QPixmap p = leinwand();
    QPainter m(&p);
    m.setRenderHint(QPainter::Antialiasing);
    const QPen stift(QColor(40, 40, 40), 1.6);
    m.setPen(stift);
    auto lupe = [&](bool plus) {
        m.drawEllipse(QPointF(8, 8), 5.5, 5.5);
        m.drawLine(QPointF(12, 12), QPointF(18, 18));
        m.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
        if (plus)
            m.drawLine(QPointF(8, 5.5), QPointF(8, 10.5));
    };
    auto pfeil = [&](QPointF a, QPointF b) {
        m.drawLine(a, b);
        const QPointF d = (b - a) / std::hypot(b.x() - a.x(), b.y() - a.y());
        const QPointF n(-d.y(), d.x());
        m.drawLine(b, b - 3.5 * d + 3 * n);
        m.drawLine(b, b - 3.5 * d - 3 * n);
    };
    switch (nummer) {
    case 1: { // turn
        QPainterPath bogen;
        bogen.arcMoveTo(3, 3, 14, 14, 200);
        bogen.arcTo(3, 3, 14, 14, 200, -250);
        m.drawPath(bogen);
        pfeil(bogen.pointAtPercent(0.9), bogen.currentPosition());
        break;
    }
    case 2: lupe(false); break;
    case 3: lupe(true); break;
    case 4: // delete
        m.setPen(QPen(QColor(170, 30, 30), 2.2));
        m.drawLine(4, 4, 16, 16);
        m.drawLine(16, 4, 4, 16);
        break;
    case 5: // fit width
        m.drawRect(QRectF(2.5, 5.5, 15, 9));
        pfeil({10, 10}, {4.5, 10});
        pfeil({10, 10}, {15.5, 10});
        break;
    case 6: // fit height
        m.drawRect(QRectF(5.5, 2.5, 9, 15));
        pfeil({10, 10}, {10, 4.5});
        pfeil({10, 10}, {10, 15.5});
        break;
    case 7: // print
        m.drawRect(QRectF(2.5, 7.5, 15, 7));
        m.setBrush(Qt::white);
        m.drawRect(QRectF(5.5, 2.5, 9, 5));
        m.drawRect(QRectF(5.5, 12.5, 9, 5));
        break;
    case 8: // copy
        m.setBrush(Qt::white);
        m.drawRect(QRectF(2.5, 2.5, 10, 12));
        m.drawRect(QRectF(7.5, 5.5, 10, 12));
        break;
    default: // close
        m.drawRect(QRectF(3.5, 2.5, 9, 15));
        pfeil({9, 10}, {18, 10});
        break;
    }
    return QIcon(p);
}

} // namespace archiv::editor
