#pragma once
// The sales that lvwReferers shows: the affiliate and the sales order, with
// the sale's record id hidden in the model, and from a site that keeps the
// history, the time of each sale. Records come in wire order: record id,
// affiliate, sales order, and then the sale's UTC time.
#include "tracking/RecordListModel.h"
#include "tracking/RecordTable.h"

class TSalesModel : public TRecordListModel
{
    Q_OBJECT
public:
    enum Column { colAffiliate, colSalesOrder, colDate, ColumnCount };

    explicit TSalesModel(QObject* parent = nullptr);

    // With the Date column (records of four fields) or without it; the
    // list is emptied when this changes.
    void SetDated(bool Dated);
    bool IsDated() const { return TimeColumn() >= 0; }
};
