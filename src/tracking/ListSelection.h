#pragma once
// Which records the operator has selected in a list view, in the order the
// view shows them (so after sorting by a column, in that column's order).
// The selection model may sit on one of the list models directly or on
// proxies over it.
#include <QList>
#include <QString>
#include <QStringList>

class QItemSelectionModel;
class TRecordListModel;

// Rows of the list model under the view, top to bottom as shown.
QList<int> SelectedModelRows(const QItemSelectionModel* Selection);
// Record ids of those rows, same order; empty without a list model.
QStringList SelectedRecordIds(const QItemSelectionModel* Selection);

// The ids joined by single commas, as the tracking requests send them;
// empty when nothing is selected.
QString SelectedAffiliateIds(const QItemSelectionModel* Selection);
QString SelectedSaleIds(const QItemSelectionModel* Selection);

// The list model a selection model works on, looking through proxies.
const TRecordListModel* ListModelOf(const QItemSelectionModel* Selection);
