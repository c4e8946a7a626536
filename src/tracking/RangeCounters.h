#pragma once
// The counters of a time range, from a site that keeps the history: the
// affiliates' own counters replaced by their figures over the range, and
// the trend of a selection per local day or hour, from the site's hourly
// buckets.
#include "tracking/AffiliatesModel.h"
#include "tracking/DateRange.h"
#include "tracking/RecordTable.h"

#include <QList>
#include <QString>

// Affiliate records as decoded (seven fields, outer quotes still on) with
// the four counters replaced by those of the range counter records (five
// fields: id, OTO sales, subscribers, visitors, unique hits, as decoded).
// An affiliate without a record had nothing in the range: zeros.
TRecordTable WithRangeCounters(const TRecordTable& Affiliates, const TRecordTable& RangeCounters);

// The all-time sums of decoded affiliate records, as the totals line adds
// them up.
TAffiliateTotals RecordTotals(const TRecordTable& Affiliates);

struct TTrendPoint {
    QDateTime Start; // UTC: the local day's or the hour's first instant
    QString Label;   // local: "2026-03-29" or "2026-03-29 01:00"
    qint64 Visitors = 0;
    qint64 UniqueHits = 0;
    qint64 Subscribers = 0;
    qint64 OtoSales = 0;
};

struct TTrend {
    bool Hourly = false;
    QList<TTrendPoint> Points;
    QString Title; // the range, in local days
};

// The hourly records (five fields: the hour's UTC start, OTO sales,
// subscribers, visitors, unique hits) summed per local day of Range, or per
// hour when the range is two days or less. An unbounded range runs from the
// first hour's day to Today. Records that do not read are left out.
TTrend TrendOf(const TRecordTable& Hours, const daterange::TDateRange& Range, const QTimeZone& Zone,
               QDate Today);

// The trend as CSV text, lines ended by CR LF.
QByteArray TrendCsv(const TTrend& Trend);
