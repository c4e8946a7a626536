#pragma once
// The sales that lvwReferers shows: the affiliate and the sales order, with
// the sale's record id hidden in the model.
#include "tracking/RecordListModel.h"
#include "tracking/RecordTable.h"

class TSalesModel : public TRecordListModel
{
    Q_OBJECT
public:
    enum Column { colAffiliate, colSalesOrder, ColumnCount };

    explicit TSalesModel(QObject* parent = nullptr);

    // Rows of a list reply, fields in wire order: record id, affiliate,
    // sales order. A record with fewer than three fields is left out.
    void SetRows(const TRecordRows& Records);
};
