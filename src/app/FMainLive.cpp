// Refresh by changes and Live mode: the lists brought up to date with what
// changed on the site, merged into the rows the operator is looking at.
#include "FMain.h"
#include "components/DesktopNotifier.h"
#include "components/RequestGuard.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/ListTexts.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingClient.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPersistentModelIndex>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

using namespace listtexts;
using TrackingProtocol::TChangeOutcome;
using TrackingProtocol::TChangeReply;
using TrackingProtocol::TListOutcome;
using TrackingProtocol::TListReply;

namespace
{
const QString Changes = QStringLiteral("changes");
}

// The cursor is taken before the lists: what changes between the two comes
// again with the next change request, and merging it twice is harmless,
// whereas a cursor taken after a list could skip a change.
void TfrmMain::TakeChangeCursor()
{
    if (!SiteHas(Changes) || !ChangeCursor.isEmpty())
        return;
    const TChangeReply reply = Tracking->LoadChanges(QString(), 0, QString());
    if (reply.Outcome == TChangeOutcome::Failed)
        return;
    ChangeCursor = reply.Cursor;
    AffiliatesInStep = SalesInStep = false;
}

void TfrmMain::KeepTopRow(QTableView* List, const std::function<void()>& Merge)
{
    // The rows above may come and go; the one at the top stays there.
    const QPersistentModelIndex top = List->indexAt(QPoint(0, 0));
    const int before = top.isValid() ? top.row() : -1;
    Merge();
    if (top.isValid() && top.row() != before)
        List->scrollTo(top, QAbstractItemView::PositionAtTop);
}

void TfrmMain::AfterAffiliatesMerge()
{
    AffiliateLabels = AffiliateLabelsAfterFill(AffiliatesModel->AllRowCount(), AffiliatesModel->Totals());
    ShowAffiliateTotals();
    Repaint();
}

void TfrmMain::AfterSalesMerge(int Added)
{
    SalesMergedIn += Added;
    lblRefersHits->setText(SalesAfterFill(SalesModel->rowCount()));
    Repaint();
}

TfrmMain::TUpToDate TfrmMain::RefreshByChanges()
{
    if (!SiteHas(Changes) || ChangeCursor.isEmpty() || (!AffiliatesInStep && !SalesInStep))
        return {};
    MainStatusPanel->setText(QStringLiteral("Getting data..."));
    const int type = SalesLoaded ? SalesLoadedQueryType : 0;
    TChangeReply reply = Tracking->LoadChanges(ChangeCursor, type, SalesLoaded ? SalesLoadedIds : QString());
    MainStatusPanel->clear();
    switch (reply.Outcome) {
    case TChangeOutcome::Failed:
        // The lists are as they were, still in step with the cursor.
        return {};
    case TChangeOutcome::Reload:
        ChangeCursor = reply.Cursor;
        AffiliatesInStep = SalesInStep = false;
        return {};
    case TChangeOutcome::Decoded:
        break;
    }
    // A list that does not take these changes falls behind the new cursor.
    if (AffiliatesInStep) {
        KeepTopRow(lvwPages, [&] {
            AffiliatesInStep =
                AffiliatesModel->MergeRows(std::move(reply.Affiliates), reply.DeletedAffiliates).Applied;
        });
        AfterAffiliatesMerge();
    }
    if (SalesInStep && SalesLoaded) {
        int added = 0;
        KeepTopRow(lvwReferers, [&] {
            const TRecordListModel::TMerge merge =
                SalesModel->MergeRows(std::move(reply.Sales), reply.DeletedSales);
            SalesInStep = merge.Applied;
            added = merge.Added;
        });
        AfterSalesMerge(added);
    } else {
        SalesInStep = false;
    }
    ChangeCursor = reply.Cursor;
    return {AffiliatesInStep, SalesInStep};
}

void TfrmMain::LiveAffiliatesWhole()
{
    TakeChangeCursor();
    TListReply reply = Tracking->LoadAffiliates();
    // Over a range the counters shown are the range's.
    const bool ranged = CurrentRange().Bounded();
    if (reply.Outcome != TListOutcome::Decoded || (ranged && !ApplyRangeCounters(reply))) {
        // A failure leaves the list as it is, quietly; the next tick tries
        // again.
        AffiliatesInStep = false;
        return;
    }
    KeepTopRow(lvwPages, [&] { AffiliatesModel->MergeWhole(std::move(reply.Rows)); });
    AffiliatesInStep = !ChangeCursor.isEmpty() && !ranged;
    AfterAffiliatesMerge();
}

void TfrmMain::LiveSalesWhole()
{
    if (!SalesLoaded)
        return;
    TListReply reply = FetchSales(SalesLoadedQueryType, SalesLoadedIds);
    if (reply.Outcome != TListOutcome::Decoded) {
        SalesInStep = false;
        return;
    }
    int added = 0;
    KeepTopRow(lvwReferers, [&] { added = SalesModel->MergeWhole(std::move(reply.Rows)).Added; });
    SalesInStep = !ChangeCursor.isEmpty() && !CurrentRange().Bounded();
    AfterSalesMerge(added);
}

void TfrmMain::chkLiveClick(bool Checked)
{
    if (Checked)
        LiveTimer->start(spnLiveSeconds->value() * 1000);
    else
        LiveTimer->stop();
}

void TfrmMain::spnLiveSecondsChange(int Seconds)
{
    LiveTimer->setInterval(Seconds * 1000);
}

// A tick is skipped, not put off: the next one comes a period later.
bool TfrmMain::LiveMayRun() const
{
    // One request at a time; nothing changes under a dialog or a menu that
    // the operator is answering, and nothing starts while the window goes.
    return !Closing && !LiveRunning && !Guard->Pending() && !QApplication::activeModalWidget() &&
           !QApplication::activePopupWidget();
}

void TfrmMain::LiveTimerTimer()
{
    if (!LiveMayRun())
        return;
    LiveRunning = true;
    const qint64 otoBefore = AffiliatesModel->Totals().OtoSales;
    const bool hadAffiliates = AffiliatesModel->AllRowCount() > 0;
    SalesMergedIn = 0;
    const TUpToDate done = RefreshByChanges();
    // Each request may have let a dialog open: what is left waits for the
    // next tick.
    LiveRunning = false;
    if (!done.Affiliates && LiveMayRun()) {
        LiveRunning = true;
        LiveAffiliatesWhole();
        LiveRunning = false;
    }
    if (!done.Sales && LiveMayRun()) {
        LiveRunning = true;
        LiveSalesWhole();
        LiveRunning = false;
    }
    const qint64 gained = hadAffiliates ? AffiliatesModel->Totals().OtoSales - otoBefore : 0;
    const int newSales = qMax(int(qBound(qint64(0), gained, qint64(1) << 30)), SalesMergedIn);
    if (newSales > 0)
        NotifyNewSales(newSales);
}

// Sales that came in while the operator looks at something else. What
// counts: the sales list's new rows, or the affiliates' OTO sales gained,
// whichever is more (the two overlap: a referred sale shows in both).
void TfrmMain::NotifyNewSales(int Count)
{
    if (!chkNotify->isChecked() || isActiveWindow())
        return;
    const QString summary =
        Count == 1 ? QStringLiteral("1 new sale") : QStringLiteral("%1 new sales").arg(Count);
    Notifier->Notify(windowTitle(), summary, QStringLiteral("Since the last live refresh of the lists."));
}
