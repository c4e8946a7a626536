#pragma once
// Which records the operator has selected in a list view. Rows come in the
// order the view shows them (copying and exporting take what is seen); the
// ids that requests send come in the order of the names, whatever column a
// header click sorted the view by, because the site is told the ids in the
// list's own order. The selection model may sit on one of the list models
// directly or on proxies over it.
#include <QList>
#include <QString>
#include <QStringList>

class QItemSelectionModel;
class TRecordListModel;

// Rows of the list model under the view, top to bottom as shown.
QList<int> SelectedModelRows(const QItemSelectionModel* Selection);
// Record ids of the selected rows in the order of names; empty without a
// list model.
QStringList SelectedRecordIds(const QItemSelectionModel* Selection);

// The ids joined by single commas, as the tracking requests send them;
// empty when nothing is selected.
QString SelectedAffiliateIds(const QItemSelectionModel* Selection);
QString SelectedSaleIds(const QItemSelectionModel* Selection);

// The list model a selection model works on, looking through proxies.
const TRecordListModel* ListModelOf(const QItemSelectionModel* Selection);
