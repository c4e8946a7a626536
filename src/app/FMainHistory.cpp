// The history of a site that keeps it: the range box over both lists, the
// custom range, and the trend of the selected affiliates.
#include "FMain.h"
#include "components/MessageBox.h"
#include "components/RequestGuard.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/FCustomRange.h"
#include "tracking/FTrend.h"
#include "tracking/ListSelection.h"
#include "tracking/RangeCounters.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingClient.h"

#include <QComboBox>
#include <QItemSelection>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QTableView>

using namespace daterange;
using namespace listtexts;
using TrackingProtocol::TListReply;

namespace
{

QDate LocalToday()
{
    return QDateTime::currentDateTime().toTimeZone(QTimeZone::systemTimeZone()).date();
}

} // namespace

void TfrmMain::ConnectHistory()
{
    // Picked by the operator, also the entry already shown: choosing
    // "Custom…" again asks for other days.
    connect(cbxRange, &QComboBox::activated, this, &TfrmMain::cbxRangeChange);
    connect(btnTrend, &QPushButton::clicked, this, &TfrmMain::btnTrendClick);
    Guard->Protect(cbxRange);
    Guard->Protect(btnTrend);
}

TDateRange TfrmMain::CurrentRange() const
{
    if (!ShowsHistory())
        return {};
    return RangeOf(TRangeKind(AppliedRange), LocalToday(), QTimeZone::systemTimeZone(), CustomFirst,
                   CustomLast);
}

void TfrmMain::ShowRangeDays()
{
    const TDateRange range = CurrentRange();
    lblRangeDays->setVisible(ShowsHistory() && range.Bounded());
    if (!range.Bounded())
        return;
    lblRangeDays->setText(range.First == range.Last
                              ? range.First.toString(Qt::ISODate)
                              : range.First.toString(Qt::ISODate) + QStringLiteral(" to ") +
                                    range.Last.toString(Qt::ISODate));
}

void TfrmMain::cbxRangeChange()
{
    const auto takeBack = [this] {
        const QSignalBlocker quiet(cbxRange);
        cbxRange->setCurrentIndex(AppliedRange);
    };
    if (Guard->Pending()) {
        takeBack();
        return;
    }
    if (cbxRange->currentIndex() == rkCustom) {
        QDate first = CustomFirst.isValid() ? CustomFirst : LocalToday().addDays(-6);
        QDate last = CustomLast.isValid() ? CustomLast : LocalToday();
        if (!TfrmCustomRange::RunCustomRange(this, first, last)) {
            takeBack();
            return;
        }
        CustomFirst = first;
        CustomLast = last;
    }
    AppliedRange = cbxRange->currentIndex();
    ShowRangeDays();
    ReloadKeepingSelection();
    ReloadSales();
    lblRefersHits->setText(SalesCount(SalesModel->rowCount()));
    Repaint();
}

void TfrmMain::ReloadKeepingSelection()
{
    const QStringList kept = SelectedRecordIds(lvwPages->selectionModel());
    if (!LoadAffiliates() || kept.isEmpty())
        return;
    const QSet<QString> ids(kept.begin(), kept.end());
    QItemSelection selection;
    const int last = AffiliatesModel->columnCount() - 1;
    for (int r = 0; r < AffiliatesModel->rowCount(); ++r)
        if (ids.contains(AffiliatesModel->IdAt(r)))
            selection.select(AffiliatesModel->index(r, 0), AffiliatesModel->index(r, last));
    {
        // The same affiliates as before: their sales are reloaded once, by
        // the caller, not once per row selected again.
        const QSignalBlocker quiet(lvwPages->selectionModel());
        lvwPages->selectionModel()->select(selection,
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    lvwPages->viewport()->update();
}

bool TfrmMain::ApplyRangeCounters(TListReply& Reply)
{
    const TDateRange range = CurrentRange();
    TListReply counters =
        Tracking->LoadRangeCounters(QStringLiteral("all"), WireInstant(range.From), WireInstant(range.To));
    if (!counters.Succeeded()) {
        Reply.Outcome = TrackingProtocol::TListOutcome::NoOk;
        return false;
    }
    if (Reply.Outcome == TrackingProtocol::TListOutcome::Decoded)
        AllTimeTotals = RecordTotals(Reply.Rows);
    Reply.Rows = WithRangeCounters(Reply.Rows, counters.Rows);
    return true;
}

void TfrmMain::btnTrendClick()
{
    if (Guard->Pending())
        return;
    // The selected affiliates; with none, those shown (all of them unless
    // a find text hides some), as in Statistics.
    QString ids = SelectedAffiliateIds();
    if (ids.isEmpty() && AffiliatesModel->IsFiltered()) {
        QStringList shown;
        for (int r = 0; r < AffiliatesModel->rowCount(); ++r)
            shown << AffiliatesModel->IdAt(r);
        ids = shown.join(QLatin1Char(','));
    } else if (ids.isEmpty()) {
        ids = QStringLiteral("all");
    }
    const TDateRange range = CurrentRange();
    TTrend trend;
    if (!ids.isEmpty()) {
        MainStatusPanel->setText(QStringLiteral("Getting data..."));
        const TListReply hours =
            Tracking->LoadHourlyCounters(ids, WireInstant(range.From), WireInstant(range.To));
        MainStatusPanel->clear();
        if (!hours.Succeeded()) {
            msgMain->Notice(TroubleAccessing());
            return;
        }
        trend = TrendOf(hours.Rows, range, QTimeZone::systemTimeZone(), LocalToday());
    }
    const int affiliates = int(SelectedModelRows(lvwPages->selectionModel()).size());
    trend.Title = (affiliates > 0 ? QStringLiteral("%1 selected affiliate(s)").arg(affiliates)
                                  : QStringLiteral("%1 affiliate(s)").arg(AffiliatesModel->rowCount())) +
                  (trend.Title.isEmpty() ? QString() : QStringLiteral(", ") + trend.Title);
    TfrmTrend::RunTrend(this, *msgMain, ExportFolder, trend);
    FocusAffiliates();
}
