#include "ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace toolbaricons
{

namespace
{
const QColor Ink(47, 93, 145);
const QColor Fill(226, 236, 247);

template <class Draw> QIcon Paint(Draw draw)
{
    QIcon icon;
    for (int size : {22, 44}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 22.0, size / 22.0);
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
} // namespace

QIcon News()
{
    return Paint([](QPainter& p) {
        p.setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Fill);
        p.drawRoundedRect(QRectF(2.5, 5.5, 17, 12), 1.5, 1.5);
        QPainterPath flap;
        flap.moveTo(3, 6.5);
        flap.lineTo(11, 12.5);
        flap.lineTo(19, 6.5);
        p.setBrush(Qt::NoBrush);
        p.drawPath(flap);
    });
}

QIcon Update()
{
    return Paint([](QPainter& p) {
        p.setPen(QPen(Ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        const QRectF r(4, 4, 14, 14);
        p.drawArc(r, 30 * 16, 150 * 16);
        p.drawArc(r, 210 * 16, 150 * 16);
        p.setBrush(Ink);
        QPolygonF head1({QPointF(18.6, 3.6), QPointF(18.4, 9.0), QPointF(13.6, 6.8)});
        QPolygonF head2({QPointF(3.4, 18.4), QPointF(3.6, 13.0), QPointF(8.4, 15.2)});
        p.drawPolygon(head1);
        p.drawPolygon(head2);
    });
}

QIcon Help()
{
    return Paint([](QPainter& p) {
        p.setPen(QPen(Ink, 1.6));
        p.setBrush(Fill);
        p.drawEllipse(QRectF(2.5, 2.5, 17, 17));
        QFont f;
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Ink);
        p.drawText(QRectF(2.5, 2.5, 17, 17), Qt::AlignCenter, QStringLiteral("?"));
    });
}

// The notification checkbox beside Live: a bell.
QIcon Bell()
{
    return Paint([](QPainter& p) {
        p.setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Fill);
        QPainterPath bell;
        bell.moveTo(4, 16.5);
        bell.cubicTo(6, 14.5, 6, 12, 6, 9.5);
        bell.cubicTo(6, 6, 8.2, 3.8, 11, 3.8);
        bell.cubicTo(13.8, 3.8, 16, 6, 16, 9.5);
        bell.cubicTo(16, 12, 16, 14.5, 18, 16.5);
        bell.closeSubpath();
        p.drawPath(bell);
        p.setBrush(Ink);
        p.drawEllipse(QRectF(9.4, 16.6, 3.2, 3.2));
    });
}

} // namespace toolbaricons
