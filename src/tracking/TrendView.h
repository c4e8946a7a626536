#pragma once
// The picture of the trend window, drawn by hand like the funnel of the
// Statistics window: visitors, unique hits, subscribers and OTO sales per
// day or hour of a range, one line each over a shared time axis, with the
// highest value of each series in the legend. Subscribers and OTO sales are
// far fewer than visitors, so they are drawn on a scale of their own (right
// axis) rather than lying flat on the bottom edge.
#include "tracking/RangeCounters.h"

#include <QImage>
#include <QWidget>

class TTrendView : public QWidget
{
    Q_OBJECT
public:
    explicit TTrendView(QWidget* parent = nullptr);

    void SetTrend(const TTrend& Trend);
    const TTrend& Trend() const { return Data; }
    // The picture at the widget's size, as Save as PNG writes it.
    QImage Picture();
    QSize sizeHint() const override { return {720, 400}; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Paint(QPainter& P, const QRect& Area) const;
    TTrend Data;
};
