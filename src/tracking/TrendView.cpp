#include "TrendView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace
{

constexpr int Margin = 16;
constexpr int AxisRoom = 54;   // numbers left and right of the plot
constexpr int LegendRoom = 44; // two rows of legend above the plot
constexpr int LabelRoom = 34;  // dates under the plot

struct TSeries {
    QString Name;
    qint64 TTrendPoint::*Value;
    QColor Color;
    bool Right; // on the scale of the right axis
};

const TSeries Series[] = {
    {QStringLiteral("Visitors"), &TTrendPoint::Visitors, QColor(54, 104, 171), false},
    {QStringLiteral("Unique hits"), &TTrendPoint::UniqueHits, QColor(120, 170, 220), false},
    {QStringLiteral("Subscribers"), &TTrendPoint::Subscribers, QColor(96, 166, 122), true},
    {QStringLiteral("OTO sales"), &TTrendPoint::OtoSales, QColor(214, 137, 48), true}};

// A round top for an axis: 1, 2 or 5 times a power of ten, at least Max.
qint64 AxisTop(qint64 Max)
{
    qint64 step = 1;
    while (step <= Max / 10)
        step *= 10;
    for (qint64 m : {1, 2, 5, 10})
        if (step * m >= Max)
            return std::max<qint64>(1, step * m);
    return Max;
}

} // namespace

TTrendView::TTrendView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TrendView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(480, 300);
}

void TTrendView::SetTrend(const TTrend& T)
{
    Data = T;
    update();
}

QImage TTrendView::Picture()
{
    QImage image(size(), QImage::Format_RGB32);
    QPainter p(&image);
    Paint(p, rect());
    return image;
}

void TTrendView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p, rect());
}

void TTrendView::Paint(QPainter& P, const QRect& Area) const
{
    P.fillRect(Area, Qt::white);
    const QColor text(32, 32, 32), muted(110, 110, 110), grid(228, 228, 228);
    QFont bold = font();
    bold.setBold(true);
    P.setFont(bold);
    P.setPen(text);
    const QRect title(Area.left() + Margin, Area.top() + Margin, Area.width() - 2 * Margin, 18);
    P.drawText(title, Qt::AlignLeft | Qt::AlignVCenter,
               (Data.Hourly ? QStringLiteral("Per hour, ") : QStringLiteral("Per day, ")) + Data.Title);
    P.setFont(font());

    qint64 leftMax = 0, rightMax = 0;
    for (const TTrendPoint& p : Data.Points)
        for (const TSeries& s : Series)
            (s.Right ? rightMax : leftMax) = std::max(s.Right ? rightMax : leftMax, p.*(s.Value));
    const qint64 leftTop = AxisTop(leftMax), rightTop = AxisTop(rightMax);

    // The legend: each series with its total over the range.
    int x = Area.left() + Margin, y = title.bottom() + 6;
    for (const TSeries& s : Series) {
        qint64 total = 0;
        for (const TTrendPoint& p : Data.Points)
            total += p.*(s.Value);
        const QString entry = s.Name + QStringLiteral(": ") + QString::number(total) +
                              (s.Right ? QStringLiteral(" (right)") : QString());
        const int w = P.fontMetrics().horizontalAdvance(entry) + 30;
        if (x + w > Area.right() - Margin) {
            x = Area.left() + Margin;
            y += 18;
        }
        P.fillRect(QRect(x, y + 6, 14, 4), s.Color);
        P.setPen(text);
        P.drawText(QRect(x + 18, y, w, 16), Qt::AlignLeft | Qt::AlignVCenter, entry);
        x += w;
    }

    const QRect plot(Area.left() + Margin + AxisRoom, Area.top() + Margin + 18 + LegendRoom,
                     Area.width() - 2 * (Margin + AxisRoom),
                     Area.height() - 2 * Margin - 18 - LegendRoom - LabelRoom);
    if (plot.width() < 20 || plot.height() < 20)
        return;
    for (int i = 0; i <= 4; ++i) {
        const int gy = plot.bottom() - plot.height() * i / 4;
        P.setPen(grid);
        P.drawLine(plot.left(), gy, plot.right(), gy);
        P.setPen(muted);
        P.drawText(QRect(Area.left() + Margin, gy - 8, AxisRoom - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(leftTop * i / 4));
        P.drawText(QRect(plot.right() + 6, gy - 8, AxisRoom - 6, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(rightTop * i / 4));
    }
    const qsizetype n = Data.Points.size();
    if (n == 0) {
        P.setPen(muted);
        P.drawText(plot, Qt::AlignCenter, QStringLiteral("Nothing was counted in this range."));
        return;
    }
    const auto px = [&](qsizetype i) {
        return n == 1 ? plot.center().x()
                      : plot.left() + int(double(plot.width()) * double(i) / double(n - 1));
    };
    // Labels under the axis, as many as fit without touching.
    const int labelWidth = P.fontMetrics().horizontalAdvance(Data.Points.first().Label) + 12;
    const qsizetype every = std::max<qsizetype>(1, qsizetype(labelWidth * n / std::max(1, plot.width())) + 1);
    P.setPen(muted);
    for (qsizetype i = 0; i < n; i += every) {
        P.drawLine(px(i), plot.bottom(), px(i), plot.bottom() + 4);
        const QString label =
            Data.Hourly ? Data.Points[i].Label.mid(11) + QLatin1Char(' ') + Data.Points[i].Label.mid(5, 5)
                        : Data.Points[i].Label;
        P.drawText(QRect(px(i) - labelWidth / 2, plot.bottom() + 6, labelWidth, 16), Qt::AlignCenter, label);
    }
    P.setRenderHint(QPainter::Antialiasing, true);
    for (const TSeries& s : Series) {
        const qint64 top = s.Right ? rightTop : leftTop;
        QPainterPath line;
        for (qsizetype i = 0; i < n; ++i) {
            const QPointF pt(px(i), plot.bottom() - double(plot.height()) *
                                                        double(Data.Points[i].*(s.Value)) / double(top));
            i == 0 ? line.moveTo(pt) : line.lineTo(pt);
        }
        P.setPen(QPen(s.Color, 2));
        P.drawPath(line);
        if (n <= 62)
            for (qsizetype i = 0; i < n; ++i)
                P.fillRect(
                    QRectF(px(i) - 2,
                           plot.bottom() -
                               double(plot.height()) * double(Data.Points[i].*(s.Value)) / double(top) - 2,
                           4, 4),
                    s.Color);
    }
}
