#include "SalesModel.h"

// The order and the id lose their quotes but keep their blanks.
TSalesModel::TSalesModel(QObject* parent)
    : TRecordListModel({QStringLiteral("Affiliate"), QStringLiteral("Sales Order")}, {},
                       {TClean::Unquote, TClean::Keep, TClean::Unquote}, parent)
{
}
