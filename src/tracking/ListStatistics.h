#pragma once
// The numbers behind the Statistics window: the funnel from visitors to OTO
// sales over a set of affiliates, and the affiliates with the most OTO
// sales. Sums follow the totals line: a counter that is not a number adds
// nothing, and nothing wraps.
#include <QList>
#include <QString>
#include <optional>

class TAffiliatesModel;

struct TTopAffiliate {
    QString Name;
    qint64 OtoSales = 0;
};

struct TAffiliateStatistics {
    int Affiliates = 0;
    qint64 Visitors = 0;
    qint64 UniqueHits = 0;
    qint64 Subscribers = 0;
    qint64 OtoSales = 0;
    // Most OTO sales first; equal sales in the order of the list. Only
    // affiliates with at least one sale.
    QList<TTopAffiliate> Top;

    static constexpr int TopCount = 10;

    // Step Of per 100 of step From (e.g. subscribers per 100 unique hits);
    // nothing when From is not above 0.
    static std::optional<double> StepRate(qint64 Of, qint64 From);
};

// Over the given rows of the model (as it shows them), or over every row
// shown when Rows is empty.
TAffiliateStatistics AffiliateStatistics(const TAffiliatesModel& Model, const QList<int>& Rows);
