#pragma once
// The sales that lvwReferers shows: the affiliate and the sales order, with
// the sale's record id hidden in the model. Records come in wire order:
// record id, affiliate, sales order.
#include "tracking/RecordListModel.h"
#include "tracking/RecordTable.h"

class TSalesModel : public TRecordListModel
{
    Q_OBJECT
public:
    enum Column { colAffiliate, colSalesOrder, ColumnCount };

    explicit TSalesModel(QObject* parent = nullptr);
};
