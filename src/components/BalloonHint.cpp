#include "BalloonHint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QToolTip>

namespace
{
constexpr int Padding = 8;
constexpr int Radius = 6;
constexpr int MaxTextWidth = 320;
} // namespace

TBalloonHint::TBalloonHint(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("LMDMessageHint1"));
    // Shaped by a mask, not by a translucent background: without a
    // compositor the transparent parts of a translucent window come out
    // black, so the shadow would be a black box.
    setAttribute(Qt::WA_ShowWithoutActivating);
    Life.setSingleShot(true);
    connect(&Life, &QTimer::timeout, this, &TBalloonHint::HideMessage);
}

QSize TBalloonHint::BodySize() const
{
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, MaxTextWidth, 10000), Qt::TextWordWrap, Drawn);
    // A little slack, so the painter never wraps what was measured as one line.
    return {text.width() + 2 * Padding + 2, text.height() + 2 * Padding + 1};
}

void TBalloonHint::ShowMessage(const QString& Text, QWidget* anchor)
{
    HideMessage();
    if (!anchor)
        return;
    // Measure with the font the skin gives the balloon, one line per break.
    ensurePolished();
    Message = Text;
    Drawn = Text;
    Drawn.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QSize body = BodySize();
    resize(body.width() + ShadowDepth, body.height() + ShadowDepth);
    Anchor = anchor;
    Anchor->installEventFilter(this);
    Anchor->window()->installEventFilter(this);
    Place();
    show();
    raise();
    Life.start(DisplayMs);
}

void TBalloonHint::Place()
{
    // Below-left of the centre: the balloon's top-right corner sits on it.
    const QPoint point = Anchor->mapToGlobal(QPoint(Anchor->width() / 2, Anchor->height() / 2));
    const int bodyWidth = width() - ShadowDepth;
    QPoint topLeft(point.x() - bodyWidth, point.y());
    if (const QScreen* screen = QGuiApplication::screenAt(point)) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(qMax(area.left(), topLeft.x()));
        topLeft.setY(qMin(topLeft.y(), area.bottom() - height()));
    }
    move(topLeft);
}

bool TBalloonHint::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Anchor && isVisible() && (Event->type() == QEvent::Move || Event->type() == QEvent::Resize) &&
        (Watched == Anchor || Watched == Anchor->window()))
        Place();
    return QWidget::eventFilter(Watched, Event);
}

void TBalloonHint::HideMessage()
{
    Life.stop();
    hide();
    if (Anchor) {
        Anchor->removeEventFilter(this);
        Anchor->window()->removeEventFilter(this);
    }
    Anchor = nullptr;
}

QPainterPath TBalloonHint::Shape() const
{
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0.5, 0.5, width() - ShadowDepth - 1.0, height() - ShadowDepth - 1.0), Radius,
                         Radius);
    return shape;
}

void TBalloonHint::resizeEvent(QResizeEvent*)
{
    // The note and its shadow, nothing around them.
    const QPainterPath shape = Shape();
    setMask(QRegion(shape.united(shape.translated(ShadowDepth, ShadowDepth)).toFillPolygon().toPolygon()));
}

void TBalloonHint::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = Shape();
    const QRectF body = shape.boundingRect();
    // An opaque grey: the window has no transparent pixels to blend with.
    p.fillPath(shape.translated(ShadowDepth, ShadowDepth), QColor(0xa8, 0xaf, 0xb8));
    const QPalette tip = QToolTip::palette();
    p.fillPath(shape, tip.color(QPalette::ToolTipBase));
    p.setPen(QPen(tip.color(QPalette::ToolTipText), 1));
    p.drawPath(shape);
    p.drawText(body.adjusted(Padding, Padding, -Padding, -Padding), Qt::TextWordWrap, Drawn);
}

void TBalloonHint::mousePressEvent(QMouseEvent*)
{
    HideMessage();
}
