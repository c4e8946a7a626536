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
        ColumnCount
    };

    explicit TAffiliatesModel(QObject* parent = nullptr);

    // Sum of a counter column; 0 for the name and affiliate id columns.
    qint64 Total(Column C) const { return ColumnTotal(C); }
    TAffiliateTotals Totals() const;
};
