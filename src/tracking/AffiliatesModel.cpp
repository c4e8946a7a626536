#include "AffiliatesModel.h"

// The first and the last field of a record still carry its outer quotes;
// the id and the unique hits lose them and their blanks, the fields in
// between are shown as they came.
TAffiliatesModel::TAffiliatesModel(QObject* parent)
    : TRecordListModel(
          {QStringLiteral("Affiliate Name"), QStringLiteral("Affiliate Id"), QStringLiteral("OTO Sales"),
           QStringLiteral("Subscribers"), QStringLiteral("Visitors"), QStringLiteral("Unique Hits")},
          {colOtoSales, colSubscribers, colVisitors, colUniqueHits},
          {TFieldClean::UnquoteTrim, TFieldClean::Keep, TFieldClean::Keep, TFieldClean::Keep,
           TFieldClean::Keep, TFieldClean::Keep, TFieldClean::UnquoteTrim},
          parent, {QStringLiteral("Subscribe %"), QStringLiteral("Sale %")}, {colName, colAffiliateId})
{
}

TAffiliateTotals TAffiliatesModel::Totals() const
{
    return {Total(colOtoSales), Total(colSubscribers), Total(colVisitors), Total(colUniqueHits)};
}

TAffiliateTotals TAffiliatesModel::ShownTotals() const
{
    return {ShownTotal(colOtoSales), ShownTotal(colSubscribers), ShownTotal(colVisitors),
            ShownTotal(colUniqueHits)};
}

std::optional<double> TAffiliatesModel::Rate(std::optional<qint64> Part, std::optional<qint64> Visitors)
{
    if (!Part || !Visitors || *Visitors <= 0)
        return std::nullopt;
    return 100.0 * double(*Part) / double(*Visitors);
}

std::optional<double> TAffiliatesModel::ComputedValue(int C, quint32 Stored) const
{
    const std::optional<qint64> visitors = StoredCounter(Stored, colVisitors);
    switch (C) {
    case colSubscribeRate:
        return Rate(StoredCounter(Stored, colSubscribers), visitors);
    case colSaleRate:
        return Rate(StoredCounter(Stored, colOtoSales), visitors);
    default:
        return std::nullopt;
    }
}
