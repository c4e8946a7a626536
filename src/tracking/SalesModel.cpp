#include "SalesModel.h"

#include "tracking/TrackingProtocol.h"

// The order and the id lose their quotes but keep their blanks.
TSalesModel::TSalesModel(QObject* parent)
    : TRecordListModel({QStringLiteral("Affiliate"), QStringLiteral("Sales Order")}, {},
                       {TFieldClean::Unquote, TFieldClean::Keep, TFieldClean::Unquote}, parent)
{
}

void TSalesModel::SetDated(bool Dated)
{
    if (Dated == IsDated())
        return;
    SetTimeField(Dated ? TrackingProtocol::DatedSaleFieldCount - 1 : -1, QStringLiteral("Date"));
}
