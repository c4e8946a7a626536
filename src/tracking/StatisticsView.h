#pragma once
// The picture of the Statistics window, drawn by hand: the funnel from
// visitors through unique hits and subscribers to OTO sales as horizontal
// bars with their numbers and the rate of each step to the one before, and
// below it the affiliates with the most OTO sales.
#include "tracking/ListStatistics.h"

#include <QImage>
#include <QWidget>

class TStatisticsView : public QWidget
{
    Q_OBJECT
public:
    explicit TStatisticsView(QWidget* parent = nullptr);

    void SetStatistics(const TAffiliateStatistics& Stats);
    const TAffiliateStatistics& Statistics() const { return Stats; }

    // The picture at the widget's size, as Save as PNG writes it.
    QImage Picture();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Paint(QPainter& P, const QRect& Area) const;
    TAffiliateStatistics Stats;
};
