#include "BalloonHint.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QScreen>
#include <QToolTip>

namespace {
constexpr int Padding = 8;
constexpr int Radius = 6;
constexpr int MaxTextWidth = 320;
} // namespace

TBalloonHint::TBalloonHint(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("LMDMessageHint1"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    Life.setSingleShot(true);
    connect(&Life, &QTimer::timeout, this, &TBalloonHint::HideMessage);
}

QSize TBalloonHint::BodySize() const
{
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, MaxTextWidth, 10000),
                                                  Qt::TextWordWrap, Drawn);
    // A little slack, so the painter never wraps what was measured as one line.
    return {text.width() + 2 * Padding + 2, text.height() + 2 * Padding + 1};
}

void TBalloonHint::ShowMessage(const QString& Text, const QPoint& ScreenPoint)
{
    HideMessage();
    // Measure with the font the skin gives the balloon, one line per break.
    ensurePolished();
    Message = Text;
    Drawn = Text;
    Drawn.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QSize body = BodySize();
    resize(body.width() + ShadowDepth, body.height() + ShadowDepth);
    // Below-left of the point: the balloon's top-right corner sits on it.
    QPoint topLeft(ScreenPoint.x() - body.width(), ScreenPoint.y());
    if (const QScreen* screen = QGuiApplication::screenAt(ScreenPoint)) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(qMax(area.left(), topLeft.x()));
        topLeft.setY(qMin(topLeft.y(), area.bottom() - height()));
    }
    move(topLeft);
    show();
    raise();
    Life.start(DisplayMs);
}

void TBalloonHint::HideMessage()
{
    Life.stop();
    hide();
}

void TBalloonHint::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, 0.5, width() - ShadowDepth - 1.0, height() - ShadowDepth - 1.0);
    QPainterPath shape;
    shape.addRoundedRect(body, Radius, Radius);
    p.fillPath(shape.translated(ShadowDepth, ShadowDepth), QColor(0, 0, 0, 60));
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
