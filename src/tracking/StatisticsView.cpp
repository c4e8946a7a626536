#include "StatisticsView.h"

#include <QPainter>
#include <algorithm>

namespace
{

constexpr int Margin = 16;
constexpr int LabelWidth = 150;
constexpr int NumberRoom = 190; // number and step rate right of the bar
constexpr int FunnelRow = 34;
constexpr int TopRow = 24;
constexpr int HeadingRoom = 30;

QString Percent(double V)
{
    return QString::number(V, 'f', 1) + QLatin1Char('%');
}

// Width of a bar for Value against the longest bar's Max.
int BarWidth(qint64 Value, qint64 Max, int Room)
{
    if (Value <= 0 || Max <= 0)
        return 0;
    return std::max(2, int(double(Room) * double(Value) / double(Max)));
}

} // namespace

TStatisticsView::TStatisticsView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatisticsView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(480, 360);
}

void TStatisticsView::SetStatistics(const TAffiliateStatistics& S)
{
    Stats = S;
    updateGeometry();
    update();
}

QSize TStatisticsView::sizeHint() const
{
    const int topRows = std::max<int>(1, int(Stats.Top.size()));
    return {620, Margin * 2 + HeadingRoom + 4 * FunnelRow + 20 + HeadingRoom + topRows * TopRow};
}

QImage TStatisticsView::Picture()
{
    QImage image(size(), QImage::Format_RGB32);
    QPainter p(&image);
    Paint(p, rect());
    return image;
}

void TStatisticsView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Paint(p, rect());
}

void TStatisticsView::Paint(QPainter& P, const QRect& Area) const
{
    P.fillRect(Area, Qt::white);
    P.setRenderHint(QPainter::Antialiasing, false);
    const QColor text(32, 32, 32), muted(110, 110, 110);
    QFont base = font();
    QFont bold = base;
    bold.setBold(true);
    const int barLeft = Area.left() + Margin + LabelWidth;
    const int room = std::max(40, Area.width() - Margin * 2 - LabelWidth - NumberRoom);
    int y = Area.top() + Margin;

    const auto heading = [&](const QString& Title, const QString& Note) {
        P.setFont(bold);
        P.setPen(text);
        const QRect r(Area.left() + Margin, y, Area.width() - 2 * Margin, HeadingRoom - 8);
        P.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, Title);
        P.setFont(base);
        P.setPen(muted);
        P.drawText(r, Qt::AlignRight | Qt::AlignVCenter, Note);
        y += HeadingRoom;
    };
    const auto label = [&](const QString& Text, int Height) {
        P.setPen(text);
        const QRect r(Area.left() + Margin, y, LabelWidth - 10, Height);
        P.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                   P.fontMetrics().elidedText(Text, Qt::ElideRight, r.width()));
    };

    heading(QStringLiteral("Funnel"), QStringLiteral("%1 affiliate(s)").arg(Stats.Affiliates));
    struct TStep {
        QString Name;
        qint64 Value;
        QColor Color;
    };
    const TStep steps[] = {{QStringLiteral("Visitors"), Stats.Visitors, QColor(54, 104, 171)},
                           {QStringLiteral("Unique hits"), Stats.UniqueHits, QColor(77, 136, 196)},
                           {QStringLiteral("Subscribers"), Stats.Subscribers, QColor(96, 166, 122)},
                           {QStringLiteral("OTO sales"), Stats.OtoSales, QColor(214, 137, 48)}};
    qint64 max = 0;
    for (const TStep& s : steps)
        max = std::max(max, s.Value);
    for (int i = 0; i < 4; ++i) {
        const TStep& s = steps[i];
        label(s.Name, FunnelRow - 8);
        const int w = BarWidth(s.Value, max, room);
        P.fillRect(QRect(barLeft, y + 2, w, FunnelRow - 12), s.Color);
        P.setPen(text);
        const QRect numbers(barLeft + w + 8, y, NumberRoom + room - w, FunnelRow - 8);
        const QString number = QString::number(s.Value);
        P.drawText(numbers, Qt::AlignLeft | Qt::AlignVCenter, number);
        if (i > 0)
            if (const auto rate = TAffiliateStatistics::StepRate(s.Value, steps[i - 1].Value)) {
                // The step's rate, quieter than its number.
                P.setPen(muted);
                P.drawText(numbers.adjusted(P.fontMetrics().horizontalAdvance(number) + 12, 0, 0, 0),
                           Qt::AlignLeft | Qt::AlignVCenter,
                           Percent(*rate) + QStringLiteral(" of ") + steps[i - 1].Name.toLower());
            }
        y += FunnelRow;
    }

    y += 20;
    heading(QStringLiteral("Top %1 by OTO sales").arg(TAffiliateStatistics::TopCount), QString());
    if (Stats.Top.isEmpty()) {
        P.setPen(muted);
        P.drawText(QRect(Area.left() + Margin, y, Area.width() - 2 * Margin, TopRow),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("No OTO sales among these affiliates."));
        return;
    }
    const qint64 topMax = Stats.Top.first().OtoSales;
    for (const TTopAffiliate& a : Stats.Top) {
        label(a.Name, TopRow - 4);
        const int w = BarWidth(a.OtoSales, topMax, room);
        P.fillRect(QRect(barLeft, y + 3, w, TopRow - 10), QColor(214, 137, 48));
        P.setPen(text);
        P.drawText(QRect(barLeft + w + 8, y, NumberRoom, TopRow - 4), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(a.OtoSales));
        y += TopRow;
    }
}
