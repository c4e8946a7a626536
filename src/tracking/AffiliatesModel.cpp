#include "AffiliatesModel.h"

#include "util/UUtils.h"

namespace
{

QString Unquoted(QString Text)
{
    return Text.remove(QLatin1Char('"'));
}

} // namespace

TAffiliatesModel::TAffiliatesModel(QObject* parent)
    : TRecordListModel({QStringLiteral("Affiliate Name"), QStringLiteral("Affiliate Id"),
                        QStringLiteral("OTO Sales"), QStringLiteral("Subscribers"),
                        QStringLiteral("Visitors"), QStringLiteral("Unique Hits")},
                       {colOtoSales, colSubscribers, colVisitors, colUniqueHits}, parent)
{
}

void TAffiliatesModel::SetRows(const TRecordRows& Records)
{
    QList<TListRow> rows;
    rows.reserve(Records.size());
    for (const TRecordRow& f : Records) {
        if (f.size() < 7)
            continue;
        // The first and the last field may still carry the record's outer
        // quotes; the ones in between are shown as they came.
        TListRow row;
        row.Texts = {f[1], f[2], f[3], f[4], f[5], TrimLow(Unquoted(f[6]))};
        row.Id = TrimLow(Unquoted(f[0]));
        rows.append(std::move(row));
    }
    ReplaceRows(rows);
}

TAffiliateTotals TAffiliatesModel::Totals() const
{
    return {Total(colOtoSales), Total(colSubscribers), Total(colVisitors), Total(colUniqueHits)};
}
