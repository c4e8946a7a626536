#include "ListStatistics.h"

#include "tracking/AffiliatesModel.h"

#include <algorithm>
#include <vector>

std::optional<double> TAffiliateStatistics::StepRate(qint64 Of, qint64 From)
{
    if (From <= 0)
        return std::nullopt;
    return 100.0 * double(Of) / double(From);
}

TAffiliateStatistics AffiliateStatistics(const TAffiliatesModel& Model, const QList<int>& Rows)
{
    using Col = TAffiliatesModel::Column;
    TAffiliateStatistics s;
    struct TSales {
        qint64 Sales;
        int Row;
    };
    std::vector<TSales> sellers;
    const auto add = [&](int row) {
        const auto count = [&](Col c, qint64& total) {
            const std::optional<qint64> v = Model.ValueAt(row, c);
            if (v)
                total = SaturatingAdd(total, *v);
            return v;
        };
        count(Col::colVisitors, s.Visitors);
        count(Col::colUniqueHits, s.UniqueHits);
        count(Col::colSubscribers, s.Subscribers);
        if (const auto sales = count(Col::colOtoSales, s.OtoSales); sales && *sales > 0)
            sellers.push_back({*sales, row});
        ++s.Affiliates;
    };
    if (Rows.isEmpty()) {
        for (int r = 0; r < Model.RowCount(); ++r)
            add(r);
    } else {
        for (int r : Rows)
            if (r >= 0 && r < Model.RowCount())
                add(r);
    }
    // Rows come in list order, so a stable pick keeps ties in that order.
    const size_t top = std::min(sellers.size(), size_t(TAffiliateStatistics::TopCount));
    std::partial_sort(sellers.begin(), sellers.begin() + qsizetype(top), sellers.end(),
                      [](const TSales& a, const TSales& b) {
                          return a.Sales != b.Sales ? a.Sales > b.Sales : a.Row < b.Row;
                      });
    for (size_t i = 0; i < top; ++i)
        s.Top.append({Model.TextAt(sellers[i].Row, Col::colName), sellers[i].Sales});
    return s;
}
