#include "SalesModel.h"

// The order and the id lose their quotes but keep their blanks.
TSalesModel::TSalesModel(QObject* parent)
    : TRecordListModel({QStringLiteral("Affiliate"), QStringLiteral("Sales Order")}, {},
                       {TFieldClean::Unquote, TFieldClean::Keep, TFieldClean::Unquote}, parent)
{
}
