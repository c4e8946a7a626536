#include "SalesModel.h"

TSalesModel::TSalesModel(QObject* parent)
    : TRecordListModel({QStringLiteral("Affiliate"), QStringLiteral("Sales Order")}, {}, parent)
{
}

void TSalesModel::SetRows(const TRecordRows& Records)
{
    QList<TListRow> rows;
    rows.reserve(Records.size());
    for (const TRecordRow& f : Records) {
        if (f.size() < 3)
            continue;
        // The order and the id lose their quotes but keep their blanks.
        TListRow row;
        row.Texts = {f[1], QString(f[2]).remove(QLatin1Char('"'))};
        row.Id = QString(f[0]).remove(QLatin1Char('"'));
        rows.append(std::move(row));
    }
    ReplaceRows(rows);
}
