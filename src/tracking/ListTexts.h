#pragma once
// The words the affiliates and sales lists and their flows show: label
// texts built from counts and totals, and the fixed questions and notices.
#include "tracking/AffiliatesModel.h"

#include <QString>

namespace listtexts
{

// The five labels under the affiliates list.
struct TAffiliateLabels {
    QString TotalHits;   // lblTotalHits
    QString OtoSales;    // lblOTOSales
    QString Subscribers; // lblSubscribers
    QString Visitors;    // lblVisitors
    QString UniqueHits;  // lblUniqueHits
};

// As the window is set up, before any load.
TAffiliateLabels AffiliateLabelsAtStart();
// After a load that brought records: the row count and the four sums.
TAffiliateLabels AffiliateLabelsAfterFill(int Rows, const TAffiliateTotals& Totals);
// The four sums of a range followed by the all-time ones:
// "OTO Sales: 12 (all time: 340)".
TAffiliateLabels WithAllTime(TAffiliateLabels Range, const TAffiliateTotals& AllTime);
// lblTotalHits after a fill or a deletion: "Total: 3 affiliate(s)".
QString AffiliatesTotal(int Rows);
// lblTotalHits while a find text hides rows: "Shown: 2 of 9 affiliate(s)".
QString AffiliatesShown(int Shown, int All);

// lblRefersHits as set up: "Total: 0 sales".
QString SalesAtStart();
// lblRefersHits after the sales were filled: "Total: 3 sale(s)".
QString SalesAfterFill(int Rows);
// lblRefersHits after a selection, a Show change or a deletion:
// "Total: 3 sales".
QString SalesCount(int Rows);

// Questions (warning kind, OK and Cancel).
QString AskDeleteSelected();
QString AskDeleteAll();

// Notices (warning kind, OK).
QString TroubleAccessing();
QString TroubleDeleting();
QString TroubleAdding();
QString SelectJustOne();
QString AffiliateIdExists();
QString AffiliateIdGone();

} // namespace listtexts
