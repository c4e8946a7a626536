#include "DateRange.h"

namespace daterange
{

namespace
{

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the
// civil-date algorithms: eras of 400 years, March-based years).
qint64 DaysFromCivil(int Y, int M, int D)
{
    Y -= M <= 2;
    const qint64 era = (Y >= 0 ? Y : Y - 399) / 400;
    const int yoe = int(Y - era * 400);
    const int doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
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

int Digits(QByteArrayView T, int At, int Count)
{
    int v = 0;
    for (int i = At; i < At + Count; ++i) {
        const char c = T[i];
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

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
    if (T.size() != 19 || T[4] != '-' || T[7] != '-' || T[10] != ' ' || T[13] != ':' || T[16] != ':')
        return std::nullopt;
    const int y = Digits(T, 0, 4), mo = Digits(T, 5, 2), d = Digits(T, 8, 2);
    const int h = Digits(T, 11, 2), mi = Digits(T, 14, 2), s = Digits(T, 17, 2);
    if (y < 0 || mo < 1 || mo > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return std::nullopt;
    static constexpr int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > monthDays[mo - 1] + (mo == 2 && leap ? 1 : 0))
        return std::nullopt;
    return DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
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
