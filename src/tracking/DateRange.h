#pragma once
// The time ranges of the range box, worked out in the operator's local time
// zone and sent to the site as UTC instants. A range is whole local days:
// it starts at the first instant of its first day and ends (exclusive) at
// the first instant of the day after its last, so a day of 23 or 25 hours
// around a daylight-saving change is still one whole day, and a sale at
// 23:59:59 local time belongs to the day it happened on.
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <optional>
#include <unordered_map>

namespace daterange
{

// The entries of the range box, in their order.
enum TRangeKind {
    rkAnyTime,
    rkToday,
    rkYesterday,
    rkLast7Days,
    rkLast30Days,
    rkThisMonth,
    rkLastMonth,
    rkCustom
};
QStringList RangeNames();

struct TDateRange {
    // Local days, both included; null for any time.
    QDate First, Last;
    // UTC instants, From included, To not; invalid when unbounded.
    QDateTime From, To;

    bool Bounded() const { return From.isValid() && To.isValid(); }
    qint64 Days() const { return Bounded() ? First.daysTo(Last) + 1 : 0; }
    // The trend goes per hour over two days or less, else per day.
    bool Hourly() const { return Bounded() && Days() <= 2; }
    bool operator==(const TDateRange&) const = default;
};

// The first instant of a local day (midnight, or the end of a gap that
// swallows midnight), in UTC.
QDateTime DayStart(QDate Day, const QTimeZone& Zone);
// First to Last (swapped when given the other way round), whole local days.
TDateRange DaysRange(QDate First, QDate Last, const QTimeZone& Zone);
// The range an entry of the box means on the local day Today; Custom takes
// CustomFirst to CustomLast.
TDateRange RangeOf(TRangeKind Kind, QDate Today, const QTimeZone& Zone, QDate CustomFirst = {},
                   QDate CustomLast = {});

// An instant as the site reads it: UTC "YYYY-MM-DD HH:MM:SS"; empty for an
// unbounded end.
QString WireInstant(const QDateTime& Instant);
// Seconds since 1970 of a UTC "YYYY-MM-DD HH:MM:SS" (quotes around it
// allowed); nothing for anything else.
std::optional<qint64> ParseWireInstant(QByteArrayView Text);
// "YYYY-MM-DD HH:MM:SS" of seconds since 1970 shifted by OffsetSeconds.
QString InstantText(qint64 Seconds, int OffsetSeconds);

// Local wall-clock texts of UTC instants, for lists of a million sales: the
// zone's offset is looked up once per quarter hour that occurs (offsets
// and their changes fall on quarter hours) instead of once per sale.
class TLocalClock
{
public:
    explicit TLocalClock(QTimeZone In = QTimeZone::systemTimeZone()) : Zone(std::move(In)) {}
    QString Text(qint64 Seconds) const;
    int OffsetAt(qint64 Seconds) const;

private:
    QTimeZone Zone;
    mutable std::unordered_map<qint64, int> Offsets;
};

} // namespace daterange
