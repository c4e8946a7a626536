#include "AffiliatesModel.h"

// The first and the last field of a record still carry its outer quotes;
// the id and the unique hits lose them and their blanks, the fields in
// between are shown as they came.
TAffiliatesModel::TAffiliatesModel(QObject* parent)
    : TRecordListModel({QStringLiteral("Affiliate Name"), QStringLiteral("Affiliate Id"),
                        QStringLiteral("OTO Sales"), QStringLiteral("Subscribers"),
                        QStringLiteral("Visitors"), QStringLiteral("Unique Hits")},
                       {colOtoSales, colSubscribers, colVisitors, colUniqueHits},
                       {TClean::UnquoteTrim, TClean::Keep, TClean::Keep, TClean::Keep, TClean::Keep,
                        TClean::Keep, TClean::UnquoteTrim},
                       parent)
{
}

TAffiliateTotals TAffiliatesModel::Totals() const
{
    return {Total(colOtoSales), Total(colSubscribers), Total(colVisitors), Total(colUniqueHits)};
}
