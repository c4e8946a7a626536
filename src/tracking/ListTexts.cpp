#include "ListTexts.h"

namespace listtexts
{

namespace
{

// Plain decimal, a minus sign when negative, no grouping whatever the locale.
QString Num(qint64 V)
{
    return QString::number(V);
}

} // namespace

TAffiliateLabels AffiliateLabelsAtStart()
{
    return {QStringLiteral("Total: 0 affiliates"), QStringLiteral("OTO Sales:"),
            QStringLiteral("Subscribers:"), QStringLiteral("Visitors:"), QStringLiteral("Unique Hits:")};
}

TAffiliateLabels AffiliateLabelsAfterFill(int Rows, const TAffiliateTotals& Totals)
{
    return {AffiliatesTotal(Rows), QStringLiteral("OTO Sales: ") + Num(Totals.OtoSales),
            QStringLiteral("Subscribers: ") + Num(Totals.Subscribers),
            QStringLiteral("Visitors: ") + Num(Totals.Visitors),
            QStringLiteral("Unique Hits: ") + Num(Totals.UniqueHits)};
}

QString AffiliatesTotal(int Rows)
{
    return QStringLiteral("Total: ") + Num(Rows) + QStringLiteral(" affiliate(s)");
}

QString AffiliatesShown(int Shown, int All)
{
    return QStringLiteral("Shown: ") + Num(Shown) + QStringLiteral(" of ") + Num(All) +
           QStringLiteral(" affiliate(s)");
}

QString SalesAtStart()
{
    return SalesCount(0);
}

QString SalesAfterFill(int Rows)
{
    return QStringLiteral("Total: ") + Num(Rows) + QStringLiteral(" sale(s)");
}

QString SalesCount(int Rows)
{
    return QStringLiteral("Total: ") + Num(Rows) + QStringLiteral(" sales");
}

QString AskDeleteSelected()
{
    return QStringLiteral("Are you sure do you want to delete the selected items?");
}

QString AskDeleteAll()
{
    return QStringLiteral("Are you sure do you want to delete all?.");
}

QString TroubleAccessing()
{
    return QStringLiteral(
        "There is a trouble accessing this item, please check your settings and your internet connection.");
}

QString TroubleDeleting()
{
    return QStringLiteral(
        "There is a trouble deleting items, please check your settings and your internet connection.");
}

QString TroubleAdding()
{
    return QStringLiteral(
        "There is a trouble adding this affiliate, please check your settings and your internet connection.");
}

QString SelectJustOne()
{
    return QStringLiteral("You need to select just one affiliate.");
}

QString AffiliateIdExists()
{
    return QStringLiteral(
        "This Affiliate ID already exists. Please enter a new Affiliate ID when add a new affiliate.");
}

QString AffiliateIdGone()
{
    return QStringLiteral("This Affiliate ID doesn't exists.");
}

TAffiliateLabels WithAllTime(TAffiliateLabels Range, const TAffiliateTotals& AllTime)
{
    const auto add = [](QString& Label, qint64 All) { Label += QStringLiteral(" (all time: %1)").arg(All); };
    add(Range.OtoSales, AllTime.OtoSales);
    add(Range.Subscribers, AllTime.Subscribers);
    add(Range.Visitors, AllTime.Visitors);
    add(Range.UniqueHits, AllTime.UniqueHits);
    return Range;
}

} // namespace listtexts
