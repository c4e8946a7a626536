#pragma once
// The affiliates of the event with their four counters, as lvwPages shows
// them. The record id of each affiliate stays hidden in the model. Records
// come in wire order: record id, name, affiliate id, OTO sales, subscribers,
// visitors, unique hits.
#include "tracking/RecordListModel.h"
#include "tracking/RecordTable.h"

struct TAffiliateTotals {
    qint64 OtoSales = 0;
    qint64 Subscribers = 0;
    qint64 Visitors = 0;
    qint64 UniqueHits = 0;
};

class TAffiliatesModel : public TRecordListModel
{
    Q_OBJECT
public:
    enum Column {
        colName,
        colAffiliateId,
        colOtoSales,
        colSubscribers,
        colVisitors,
        colUniqueHits,
        // Computed from the counters: per 100 visitors, one decimal.
        colSubscribeRate,
        colSaleRate,
        ColumnCount
    };

    explicit TAffiliatesModel(QObject* parent = nullptr);

    // Sum of a counter column; 0 for the name and affiliate id columns.
    qint64 Total(Column C) const { return ColumnTotal(C); }
    TAffiliateTotals Totals() const;
    // The same over the rows shown while a find text hides some.
    TAffiliateTotals ShownTotals() const;

    // Part per 100 visitors; nothing without visitors or when either
    // counter is not a number.
    static std::optional<double> Rate(std::optional<qint64> Part, std::optional<qint64> Visitors);

protected:
    std::optional<double> ComputedValue(int C, quint32 Stored) const override;
};
