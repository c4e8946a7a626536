#include "ListSelection.h"

#include "tracking/RecordListModel.h"

#include <QAbstractProxyModel>
#include <QItemSelectionModel>
#include <algorithm>
#include <vector>

namespace
{

// Follows an index of the view's model down to the list model's row.
int ModelRow(QModelIndex Index)
{
    while (auto* proxy = qobject_cast<const QAbstractProxyModel*>(Index.model()))
        Index = proxy->mapToSource(Index);
    return Index.isValid() ? Index.row() : -1;
}

} // namespace

const TRecordListModel* ListModelOf(const QItemSelectionModel* Selection)
{
    if (!Selection)
        return nullptr;
    const QAbstractItemModel* m = Selection->model();
    while (auto* proxy = qobject_cast<const QAbstractProxyModel*>(m))
        m = proxy->sourceModel();
    return qobject_cast<const TRecordListModel*>(m);
}

QList<int> SelectedModelRows(const QItemSelectionModel* Selection)
{
    QList<int> rows;
    if (!Selection || !Selection->model())
        return rows;
    // Rows of the view's own model are its display order. Ranges may
    // overlap; a sorted vector drops the doubles faster than a set.
    std::vector<int> viewRows;
    for (const QItemSelectionRange& r : Selection->selection())
        if (r.isValid() && !r.parent().isValid())
            for (int row = r.top(); row <= r.bottom(); ++row)
                viewRows.push_back(row);
    std::sort(viewRows.begin(), viewRows.end());
    viewRows.erase(std::unique(viewRows.begin(), viewRows.end()), viewRows.end());
    const QAbstractItemModel* m = Selection->model();
    for (int row : viewRows) {
        const int modelRow = ModelRow(m->index(row, 0));
        if (modelRow >= 0)
            rows.append(modelRow);
    }
    return rows;
}

QStringList SelectedRecordIds(const QItemSelectionModel* Selection)
{
    QStringList ids;
    const TRecordListModel* list = ListModelOf(Selection);
    if (!list)
        return ids;
    for (int row : list->InNameOrder(SelectedModelRows(Selection)))
        ids.append(list->IdAt(row));
    return ids;
}

QString SelectedAffiliateIds(const QItemSelectionModel* Selection)
{
    return SelectedRecordIds(Selection).join(QLatin1Char(','));
}

QString SelectedSaleIds(const QItemSelectionModel* Selection)
{
    return SelectedRecordIds(Selection).join(QLatin1Char(','));
}
