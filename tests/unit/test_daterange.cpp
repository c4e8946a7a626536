// The range box's ranges: whole local days in the operator's time zone, sent
// as UTC instants; days of 23 and 25 hours, a midnight that does not exist,
// the last second of a day, and the wire's time texts.
#include "tracking/DateRange.h"
#include "tracking/RangeCounters.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace daterange;

namespace
{

const QTimeZone Berlin("Europe/Berlin");
const QTimeZone Santiago("America/Santiago");
const QTimeZone StJohns("America/St_Johns");

// The local wall-clock time of a UTC instant, by Qt's own zone rules.
QString Local(const QDateTime& Utc, const QTimeZone& Zone)
{
    return Utc.toTimeZone(Zone).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qint64 Wire(const QDateTime& Local)
{
    return ParseWireInstant(WireInstant(Local).toLatin1()).value_or(-1);
}

} // namespace

TEST(DateRange, DaysAroundDaylightSavingChangesAreWholeLocalDays)
{
    ASSERT_TRUE(Berlin.isValid() && Santiago.isValid());
    // Spring forward (23 hours), fall back (25 hours), and an ordinary day.
    const struct {
        QDate Day;
        int Hours;
    } days[] = {{QDate(2026, 3, 29), 23}, {QDate(2026, 10, 25), 25}, {QDate(2026, 6, 1), 24}};
    for (const auto& d : days) {
        const TDateRange r = RangeOf(rkToday, d.Day, Berlin);
        ASSERT_TRUE(r.Bounded());
        EXPECT_EQ(r.From.secsTo(r.To), d.Hours * 3600) << d.Day.toString().toStdString();
        EXPECT_EQ(Local(r.From, Berlin), d.Day.toString(Qt::ISODate) + QStringLiteral(" 00:00:00"));
        EXPECT_EQ(Local(r.To, Berlin), d.Day.addDays(1).toString(Qt::ISODate) + QStringLiteral(" 00:00:00"));
        EXPECT_EQ(r.From.timeSpec(), Qt::UTC);
        EXPECT_TRUE(r.Hourly());
    }
    // A week over the spring change is one hour short of 7 x 24.
    const TDateRange week = RangeOf(rkLast7Days, QDate(2026, 4, 1), Berlin);
    EXPECT_EQ(week.First, QDate(2026, 3, 26));
    EXPECT_EQ(week.From.secsTo(week.To), 7 * 24 * 3600 - 3600);
    EXPECT_FALSE(week.Hourly());

    // Where the clocks jump from 24:00 to 01:00, the day starts at 01:00
    // and the day before ends there.
    const QDate jump(2026, 9, 6);
    const TDateRange sunday = RangeOf(rkToday, jump, Santiago);
    ASSERT_TRUE(sunday.From.isValid());
    EXPECT_EQ(Local(sunday.From, Santiago), QStringLiteral("2026-09-06 01:00:00"));
    EXPECT_EQ(RangeOf(rkYesterday, jump.addDays(1), Santiago).From, sunday.From);
    EXPECT_EQ(RangeOf(rkToday, jump.addDays(-1), Santiago).To, sunday.From);
}

TEST(DateRange, TheLastSecondOfADayIsInItAndMidnightIsInTheNext)
{
    for (const QTimeZone& zone : {Berlin, Santiago, StJohns}) {
        const QDate day(2026, 10, 25);
        const TDateRange r = DaysRange(day, day, zone);
        const qint64 from = Wire(r.From), to = Wire(r.To);
        const qint64 last = Wire(QDateTime(day, QTime(23, 59, 59), zone));
        const qint64 next = Wire(QDateTime(day.addDays(1), QTime(0, 0), zone));
        EXPECT_TRUE(from <= last && last < to) << zone.id().constData();
        EXPECT_FALSE(next < to) << zone.id().constData();
        EXPECT_EQ(next, to);
    }
}

TEST(DateRange, EveryEntryNamesItsDays)
{
    EXPECT_EQ(RangeNames().size(), rkCustom + 1);
    EXPECT_EQ(RangeNames().last(), QStringLiteral("Custom…"));
    const QDate jan3(2027, 1, 3);
    EXPECT_FALSE(RangeOf(rkAnyTime, jan3, Berlin).Bounded());
    EXPECT_TRUE(WireInstant(RangeOf(rkAnyTime, jan3, Berlin).From).isEmpty());
    const auto days = [&](TRangeKind k) {
        const TDateRange r = RangeOf(k, jan3, Berlin, QDate(2026, 12, 30), QDate(2026, 12, 20));
        return std::pair(r.First, r.Last);
    };
    EXPECT_EQ(days(rkToday), std::pair(jan3, jan3));
    EXPECT_EQ(days(rkYesterday), std::pair(QDate(2027, 1, 2), QDate(2027, 1, 2)));
    EXPECT_EQ(days(rkLast7Days), std::pair(QDate(2026, 12, 28), jan3));
    EXPECT_EQ(days(rkLast30Days), std::pair(QDate(2026, 12, 5), jan3));
    EXPECT_EQ(days(rkThisMonth), std::pair(QDate(2027, 1, 1), jan3));
    EXPECT_EQ(days(rkLastMonth), std::pair(QDate(2026, 12, 1), QDate(2026, 12, 31)));
    // A custom range given backwards is the same days.
    EXPECT_EQ(days(rkCustom), std::pair(QDate(2026, 12, 20), QDate(2026, 12, 30)));
    EXPECT_EQ(RangeOf(rkCustom, jan3, Berlin).Bounded(), false);
    EXPECT_EQ(RangeOf(rkYesterday, QDate(2027, 1, 2), Berlin).Days(), 1);
    EXPECT_EQ(RangeOf(rkLastMonth, QDate(2027, 3, 31), Berlin).Days(), 28);
}

TEST(WireInstant, EveryByteOfTheTextIsCheckedAsQtWouldReadIt)
{
    const QDateTime t(QDate(2026, 12, 31), QTime(23, 59, 59), Qt::UTC);
    EXPECT_EQ(WireInstant(t), QStringLiteral("2026-12-31 23:59:59"));
    EXPECT_EQ(ParseWireInstant(WireInstant(t).toLatin1()), t.toSecsSinceEpoch());
    // What the text means, read the slow way: digits and separators in
    // their places, and a date and time Qt takes as valid.
    const auto plainly = [](const QByteArray& T) -> std::optional<qint64> {
        static const QByteArray shape = "dddd-dd-dd dd:dd:dd";
        if (T.size() != shape.size())
            return std::nullopt;
        for (int i = 0; i < T.size(); ++i)
            if (shape[i] == 'd' ? !(T[i] >= '0' && T[i] <= '9') : T[i] != shape[i])
                return std::nullopt;
        // Qt has no year 0; it is the year 400 years before 400.
        const int year = T.mid(0, 4).toInt();
        const QDate date(year == 0 ? 400 : year, T.mid(5, 2).toInt(), T.mid(8, 2).toInt());
        const QTime time(T.mid(11, 2).toInt(), T.mid(14, 2).toInt(), T.mid(17, 2).toInt());
        if (!date.isValid() || !time.isValid())
            return std::nullopt;
        return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch() - (year == 0 ? 146097 * qint64(86400) : 0);
    };
    QList<QByteArray> texts = {"0001-01-01 00:00:00", "1900-02-28 23:59:59", "1900-02-29 00:00:00",
                               "2000-02-29 00:00:00", "2100-02-29 00:00:00", "9999-12-31 23:59:59",
                               "2026-00-10 10:00:00", "2026-10-00 10:00:00", "2026-06-30 19:59:59",
                               "1969-12-31 23:59:59", "2024-02-29 12:00:00", "2026-02-29 00:00:00",
                               "2026-04-31 00:00:00", "2026-01-01 24:00:00", "2026-01-01 00:60:00",
                               "2026-01-01 00:00:60", "2026-13-01 00:00:00", "",
                               "2026-12-31",          "2026-12-31T23:59:59", "2026-01-01 00:00:00 ",
                               " 2026-01-01 00:00:00"};
    QRandomGenerator random(11);
    for (int i = 0; i < 300; ++i)
        texts << QDateTime(QDate(1 + int(random.bounded(9999)), 1, 1), QTime(0, 0), Qt::UTC)
                     .addSecs(qint64(random.bounded(366 * 86400)))
                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                     .toLatin1();
    // Every byte in turn made one next to a digit or a separator, or one
    // whose high half is that of a digit.
    const QByteArray strays = QByteArray("/:;?- 0\x00\xb5\xff\x3a\x3f", 12);
    for (const QByteArray& text : QList<QByteArray>(texts)) {
        if (text.size() != 19)
            continue;
        for (int at = 0; at < text.size(); ++at)
            for (const char stray : strays) {
                QByteArray changed = text;
                changed[at] = stray;
                texts << changed;
            }
    }
    for (const QByteArray& text : texts) {
        ASSERT_EQ(ParseWireInstant(text), plainly(text)) << text.toStdString();
        ASSERT_EQ(ParseWireInstant("\"" + text + "\""), plainly(text)) << text.toStdString();
    }
}

TEST(LocalClock, ShowsWhatQtShowsForTheZoneAroundItsChanges)
{
    for (const QTimeZone& zone : {Berlin, Santiago, StJohns}) {
        const TLocalClock clock(zone);
        const qint64 start = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        QRandomGenerator random(7);
        for (int i = 0; i < 3000; ++i) {
            const qint64 s = start + qint64(random.bounded(365 * 86400));
            ASSERT_EQ(clock.Text(s), Local(QDateTime::fromSecsSinceEpoch(s, Qt::UTC), zone))
                << zone.id().constData() << " " << s;
        }
        // The hour the clocks go back in Berlin shows twice, an hour apart.
        if (zone == Berlin) {
            const qint64 first = QDateTime(QDate(2026, 10, 25), QTime(0, 30), Qt::UTC).toSecsSinceEpoch();
            EXPECT_EQ(clock.Text(first), clock.Text(first + 3600));
        }
    }
}

// The trend per local day: each UTC hour goes to the day it starts in, the
// 25-hour day included; per hour for a day, 25 points on that day.
TEST(Trend, HoursGoToTheLocalDayTheyStartIn)
{
    const auto hour = [](QDate Day, int H) { return QDateTime(Day, QTime(H, 0), Qt::UTC); };
    const QDate sat(2026, 10, 24), sun(2026, 10, 25);
    TRecordTable hours(5);
    // Saturday 21:00 UTC is 23:00 in Berlin (summer time); 22:00 UTC is
    // already Sunday; Sunday 22:00 UTC is 23:00 (winter time), 23:00 UTC Monday.
    for (const auto& [at, visitors] : {std::pair(hour(sat, 21), "3"), std::pair(hour(sat, 22), "5"),
                                       std::pair(hour(sun, 22), "7"), std::pair(hour(sun, 23), "11")})
        ASSERT_TRUE(
            hours.AppendRow({QStringLiteral("\"") + WireInstant(at), QStringLiteral("1"), QStringLiteral("0"),
                             QString::fromLatin1(visitors), QStringLiteral("2\"")}));
    ASSERT_TRUE(hours.AppendRow({QStringLiteral("\"not a time"), "9", "9", "9", "9\""}));

    const TTrend days = TrendOf(hours, DaysRange(sat, sun.addDays(1), Berlin), Berlin, sun);
    ASSERT_FALSE(days.Hourly);
    ASSERT_EQ(days.Points.size(), 3);
    EXPECT_EQ(days.Points[0].Label, QStringLiteral("2026-10-24"));
    EXPECT_EQ(days.Points[0].Visitors, 3);
    EXPECT_EQ(days.Points[1].Visitors, 5 + 7);
    EXPECT_EQ(days.Points[2].Visitors, 11);
    EXPECT_EQ(days.Points[1].OtoSales, 2);
    EXPECT_EQ(days.Points[1].UniqueHits, 4);

    const TTrend sunday = TrendOf(hours, DaysRange(sun, sun, Berlin), Berlin, sun);
    ASSERT_TRUE(sunday.Hourly);
    ASSERT_EQ(sunday.Points.size(), 25);
    EXPECT_EQ(sunday.Points[0].Visitors, 5);
    EXPECT_EQ(sunday.Points[24].Visitors, 7);
    // The hour the clocks go back shows twice.
    EXPECT_EQ(sunday.Points[2].Label, sunday.Points[3].Label);
    EXPECT_EQ(TrendCsv(sunday).count("\r\n"), 26);
}
