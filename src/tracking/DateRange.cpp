#include "DateRange.h"

#include <QtEndian>
#include <cstring>

namespace daterange
{

namespace
{

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the
// civil-date algorithms: eras of 400 years, March-based years).
// Years 0 to 9999 only, in unsigned arithmetic throughout: the compiler
// turns its divisions into multiplications, which it did not do for the
// signed form.
qint64 DaysFromCivil(unsigned Y, unsigned M, unsigned D)
{
    // 400 years later, so that January of year 0 is no negative year.
    Y = Y + 400 - (M <= 2);
    const unsigned era = Y / 400, yoe = Y % 400;
    const unsigned doy = (153 * (M > 2 ? M - 3 : M + 9) + 2) / 5 + D - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return qint64(era) * 146097 + qint64(doe) - 719468 - 146097;
}

void CivilFromDays(qint64 Z, int& Y, int& M, int& D)
{
    Z += 719468;
    const qint64 era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const int doe = int(Z - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    D = doy - (153 * mp + 2) / 5 + 1;
    M = mp + (mp < 10 ? 3 : -9);
    Y = int(yoe + era * 400) + (M <= 2);
}

// Eight bytes, the first lowest.
quint64 Word(const char* At)
{
    quint64 w = 0;
    std::memcpy(&w, At, 8);
    return qFromLittleEndian(w);
}

// Eight bytes that are digits where a shape has a 'd' and its bytes
// elsewhere. A digit is a byte 0x30 to 0x39: its high half 3, and still 3
// with 6 added, which carries into no other byte once every high half is 3.
struct TShape {
    quint64 Mask = 0, Expect = 0, Add = 0;
    constexpr explicit TShape(const char (&Shape)[9])
    {
        for (int i = 0; i < 8; ++i) {
            const bool digit = Shape[i] == 'd';
            Mask |= quint64(digit ? 0xF0 : 0xFF) << (8 * i);
            Expect |= quint64(digit ? 0x30 : uchar(Shape[i])) << (8 * i);
            Add |= quint64(digit ? 0x06 : 0) << (8 * i);
        }
    }
    // 1 or 0, to be joined without a branch.
    unsigned Fits(quint64 W) const
    {
        return unsigned((W & Mask) == Expect) & unsigned(((W + Add) & Mask) == Expect);
    }
};

constexpr TShape DateShape("dddd-dd-"), MiddleShape("dd dd:dd"), TimeShape("dd:dd:dd");

void Put(QChar*& Out, int Value, int Width)
{
    for (int i = Width - 1; i >= 0; --i) {
        Out[i] = QChar(u'0' + Value % 10);
        Value /= 10;
    }
    Out += Width;
}

} // namespace

QStringList RangeNames()
{
    return {QStringLiteral("Any time"),    QStringLiteral("Today"),        QStringLiteral("Yesterday"),
            QStringLiteral("Last 7 days"), QStringLiteral("Last 30 days"), QStringLiteral("This month"),
            QStringLiteral("Last month"),  QStringLiteral("Custom…")};
}

QDateTime DayStart(QDate Day, const QTimeZone& Zone)
{
    return Day.startOfDay(Zone).toUTC();
}

TDateRange DaysRange(QDate First, QDate Last, const QTimeZone& Zone)
{
    if (!First.isValid() || !Last.isValid())
        return {};
    if (Last < First)
        std::swap(First, Last);
    return {First, Last, DayStart(First, Zone), DayStart(Last.addDays(1), Zone)};
}

TDateRange RangeOf(TRangeKind Kind, QDate Today, const QTimeZone& Zone, QDate CustomFirst, QDate CustomLast)
{
    const QDate monthStart(Today.year(), Today.month(), 1);
    switch (Kind) {
    case rkAnyTime:
        return {};
    case rkToday:
        return DaysRange(Today, Today, Zone);
    case rkYesterday:
        return DaysRange(Today.addDays(-1), Today.addDays(-1), Zone);
    case rkLast7Days:
        return DaysRange(Today.addDays(-6), Today, Zone);
    case rkLast30Days:
        return DaysRange(Today.addDays(-29), Today, Zone);
    case rkThisMonth:
        return DaysRange(monthStart, Today, Zone);
    case rkLastMonth:
        return DaysRange(monthStart.addMonths(-1), monthStart.addDays(-1), Zone);
    case rkCustom:
        return DaysRange(CustomFirst, CustomLast, Zone);
    }
    return {};
}

QString WireInstant(const QDateTime& Instant)
{
    if (!Instant.isValid())
        return {};
    return InstantText(Instant.toSecsSinceEpoch(), 0);
}

std::optional<qint64> ParseWireInstant(QByteArrayView T)
{
    if (T.size() >= 2 && T.front() == '"')
        T = T.sliced(1);
    if (!T.isEmpty() && T.back() == '"')
        T.chop(1);
    if (T.size() != 19)
        return std::nullopt;
    // A million of these come with a list: the shape is checked eight
    // bytes at a time and the digits read without a branch each.
    const quint64 date = Word(T.data()), middle = Word(T.data() + 8), time = Word(T.data() + 11);
    if (Q_UNLIKELY((DateShape.Fits(date) & MiddleShape.Fits(middle) & TimeShape.Fits(time)) == 0))
        return std::nullopt;
    const auto digit = [](quint64 W, int At) { return unsigned(W >> (8 * At)) & 15; };
    const unsigned y = digit(date, 0) * 1000 + digit(date, 1) * 100 + digit(date, 2) * 10 + digit(date, 3);
    const unsigned mo = digit(date, 5) * 10 + digit(date, 6), d = digit(middle, 0) * 10 + digit(middle, 1);
    const unsigned h = digit(time, 0) * 10 + digit(time, 1), mi = digit(time, 3) * 10 + digit(time, 4);
    const unsigned s = digit(time, 6) * 10 + digit(time, 7);
    static constexpr unsigned monthDays[16] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    // Month 0 or past 12 has no days, so that every day is past its end.
    const unsigned days = monthDays[mo & 15] + (mo == 2 && leap ? 1 : 0);
    const unsigned outside = unsigned(mo > 12) | unsigned(d < 1) | unsigned(d > days) | unsigned(h > 23) |
                             unsigned(mi > 59) | unsigned(s > 59);
    if (Q_UNLIKELY(outside != 0))
        return std::nullopt;
    return DaysFromCivil(y, mo, d) * 86400 + qint64(h * 3600 + mi * 60 + s);
}

QString InstantText(qint64 Seconds, int OffsetSeconds)
{
    const qint64 local = Seconds + OffsetSeconds;
    qint64 days = local / 86400, rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    if (y < 0 || y > 9999)
        return {};
    QString text(19, QLatin1Char(' '));
    QChar* out = text.data();
    Put(out, y, 4);
    *out++ = u'-';
    Put(out, m, 2);
    *out++ = u'-';
    Put(out, d, 2);
    ++out;
    Put(out, int(rest / 3600), 2);
    *out++ = u':';
    Put(out, int(rest / 60 % 60), 2);
    *out++ = u':';
    Put(out, int(rest % 60), 2);
    return text;
}

int TLocalClock::OffsetAt(qint64 Seconds) const
{
    const qint64 quarter = Seconds >= 0 ? Seconds / 900 : (Seconds - 899) / 900;
    const auto found = Offsets.find(quarter);
    if (found != Offsets.end())
        return found->second;
    const int offset = Zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(quarter * 900, Qt::UTC));
    Offsets.emplace(quarter, offset);
    return offset;
}

QString TLocalClock::Text(qint64 Seconds) const
{
    return InstantText(Seconds, OffsetAt(Seconds));
}

} // namespace daterange
