#include "RangeCounters.h"

#include "tracking/ListCells.h"

#include <QHash>
#include <algorithm>

using namespace daterange;

namespace
{

QByteArrayView Unquoted(QByteArrayView Bytes)
{
    while (!Bytes.isEmpty() && (Bytes.front() == '"' || uchar(Bytes.front()) <= 32))
        Bytes = Bytes.sliced(1);
    while (!Bytes.isEmpty() && (Bytes.back() == '"' || uchar(Bytes.back()) <= 32))
        Bytes.chop(1);
    return Bytes;
}

qint64 Count(const TRecordTable& T, qsizetype Row, int Field)
{
    return CounterOf(Unquoted(T.Field(Row, Field))).value_or(0);
}

void Add(TTrendPoint& P, const TRecordTable& Hours, qsizetype Row)
{
    P.OtoSales = SaturatingAdd(P.OtoSales, Count(Hours, Row, 1));
    P.Subscribers = SaturatingAdd(P.Subscribers, Count(Hours, Row, 2));
    P.Visitors = SaturatingAdd(P.Visitors, Count(Hours, Row, 3));
    P.UniqueHits = SaturatingAdd(P.UniqueHits, Count(Hours, Row, 4));
}

} // namespace

TRecordTable WithRangeCounters(const TRecordTable& Affiliates, const TRecordTable& RangeCounters)
{
    QHash<QByteArray, qsizetype> byId;
    byId.reserve(RangeCounters.RowCount());
    for (qsizetype r = 0; r < RangeCounters.RowCount(); ++r)
        byId.insert(Unquoted(RangeCounters.Field(r, 0)).toByteArray(), r);
    TRecordTable out(Affiliates.FieldsPerRow());
    if (Affiliates.FieldsPerRow() < 7)
        return out;
    out.Text.reserve(Affiliates.Text.size());
    out.Ends.reserve(Affiliates.Ends.size());
    const auto put = [&](QByteArrayView Bytes) {
        out.Text.append(Bytes);
        out.Ends.push_back(quint32(out.Text.size()));
    };
    for (qsizetype r = 0; r < Affiliates.RowCount(); ++r) {
        for (int f = 0; f < 3; ++f)
            put(Affiliates.Field(r, f));
        const auto found = byId.constFind(Unquoted(Affiliates.Field(r, 0)).toByteArray());
        for (int f = 1; f <= 4; ++f)
            put(found == byId.cend() ? QByteArrayView("0")
                                     : QByteArrayView(QByteArray::number(Count(RangeCounters, *found, f))));
        for (int f = 7; f < Affiliates.FieldsPerRow(); ++f)
            put(Affiliates.Field(r, f));
    }
    return out;
}

TAffiliateTotals RecordTotals(const TRecordTable& Affiliates)
{
    TAffiliateTotals t;
    if (Affiliates.FieldsPerRow() < 7)
        return t;
    for (qsizetype r = 0; r < Affiliates.RowCount(); ++r) {
        // As the list reads them: the middle counters as they came, the
        // last one without its closing quote and blanks.
        const auto plain = [&](int f) { return CounterOf(Affiliates.Field(r, f)).value_or(0); };
        t.OtoSales = SaturatingAdd(t.OtoSales, plain(3));
        t.Subscribers = SaturatingAdd(t.Subscribers, plain(4));
        t.Visitors = SaturatingAdd(t.Visitors, plain(5));
        t.UniqueHits = SaturatingAdd(t.UniqueHits, Count(Affiliates, r, 6));
    }
    return t;
}

TTrend TrendOf(const TRecordTable& Hours, const TDateRange& Range, const QTimeZone& Zone, QDate Today)
{
    TTrend trend;
    std::vector<std::pair<qint64, qsizetype>> hours; // start, row
    for (qsizetype r = 0; r < Hours.RowCount(); ++r)
        if (const auto t = ParseWireInstant(Unquoted(Hours.Field(r, 0))))
            hours.push_back({*t, r});
    std::sort(hours.begin(), hours.end());
    TDateRange range = Range;
    if (!range.Bounded()) {
        if (hours.empty())
            return trend;
        const QDate first =
            QDateTime::fromSecsSinceEpoch(hours.front().first, Qt::UTC).toTimeZone(Zone).date();
        const QDate last = QDateTime::fromSecsSinceEpoch(hours.back().first, Qt::UTC).toTimeZone(Zone).date();
        range = DaysRange(first, std::max(last, Today), Zone);
    }
    trend.Hourly = range.Hourly();
    trend.Title = range.First == range.Last ? range.First.toString(Qt::ISODate)
                                            : range.First.toString(Qt::ISODate) + QStringLiteral(" to ") +
                                                  range.Last.toString(Qt::ISODate);
    const TLocalClock clock(Zone);
    if (trend.Hourly) {
        for (qint64 s = range.From.toSecsSinceEpoch(); s < range.To.toSecsSinceEpoch(); s += 3600) {
            TTrendPoint p;
            p.Start = QDateTime::fromSecsSinceEpoch(s, Qt::UTC);
            p.Label = clock.Text(s).left(16);
            trend.Points.append(p);
        }
    } else {
        for (QDate d = range.First; d <= range.Last; d = d.addDays(1)) {
            TTrendPoint p;
            p.Start = DayStart(d, Zone);
            p.Label = d.toString(Qt::ISODate);
            trend.Points.append(p);
        }
    }
    // Each hour goes to the last point that starts at or before it.
    const qint64 end = range.To.toSecsSinceEpoch();
    qsizetype point = 0;
    for (const auto& [start, row] : hours) {
        if (trend.Points.isEmpty() || start < trend.Points.first().Start.toSecsSinceEpoch() || start >= end)
            continue;
        while (point + 1 < trend.Points.size() && trend.Points[point + 1].Start.toSecsSinceEpoch() <= start)
            ++point;
        Add(trend.Points[point], Hours, row);
    }
    return trend;
}

QByteArray TrendCsv(const TTrend& Trend)
{
    QByteArray csv = Trend.Hourly ? "Hour,Visitors,Unique Hits,Subscribers,OTO Sales\r\n"
                                  : "Day,Visitors,Unique Hits,Subscribers,OTO Sales\r\n";
    for (const TTrendPoint& p : Trend.Points)
        csv += p.Label.toLatin1() + ',' + QByteArray::number(p.Visitors) + ',' +
               QByteArray::number(p.UniqueHits) + ',' + QByteArray::number(p.Subscribers) + ',' +
               QByteArray::number(p.OtoSales) + "\r\n";
    return csv;
}
