// The affiliates and sales lists of the main page, their buttons, and the
// add and edit flows, on top of the tracking requests.
#include "FMain.h"
#include "components/MessageBox.h"
#include "components/RequestGuard.h"
#include "net/HttpClient.h"
#include "tracking/AffiliateInput.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/FAddAffiliate.h"
#include "tracking/ListSelection.h"
#include "tracking/ListTexts.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingClient.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>

using namespace listtexts;
using TrackingProtocol::TListOutcome;
using TrackingProtocol::TListReply;

// ---- the tracking requests -------------------------------------------------

bool TfrmMain::CheckServer()
{
    return Tracking->CheckServer();
}

void TfrmMain::LearnSiteExtensions()
{
    SiteExtensions = Tracking->LoadExtensions();
    ApplySiteExtensions();
}

// Another site may have other extensions: nothing is shown for them until
// the next check has asked it.
void TfrmMain::ForgetSiteExtensions()
{
    SiteExtensions.clear();
    ApplySiteExtensions();
}

void TfrmMain::ApplySiteExtensions()
{
    // changes: without it every refresh, Live's too, loads whole lists.
    if (!SiteHas(QStringLiteral("changes"))) {
        ChangeCursor.clear();
        AffiliatesInStep = SalesInStep = false;
    }
    chkLive->setToolTip(
        SiteHas(QStringLiteral("changes"))
            ? QStringLiteral("Refresh both lists every few seconds with what changed")
            : QStringLiteral("Refresh both lists every few seconds (this site sends them whole)"));

    // history: the range box with its days, the trend, and the sales'
    // Date column. Without it the lists are those of the eight actions.
    const bool history = ShowsHistory();
    for (QWidget* w : std::initializer_list<QWidget*>{lblRange, cbxRange, btnTrend})
        w->setVisible(history);
    // Sales loaded with or without their dates take no changes of the other kind.
    if (SalesModel->IsDated() != history)
        SalesInStep = false;
    SalesModel->SetDated(history);
    if (history) {
        lvwReferers->setColumnWidth(TSalesModel::colDate, 150);
    } else {
        const QSignalBlocker quiet(cbxRange);
        cbxRange->setCurrentIndex(daterange::rkAnyTime);
        AppliedRange = daterange::rkAnyTime;
    }
    if (!history && AllTimeTotals) {
        AllTimeTotals.reset();
        ShowAffiliateTotals();
    }
    ShowRangeDays();
}

bool TfrmMain::LoadAffiliates()
{
    MainStatusPanel->setText(QStringLiteral("Getting data..."));
    TakeChangeCursor();
    TListReply reply = Tracking->LoadAffiliates();
    bool succeeded = reply.Succeeded();
    // Over a range the counters are the range's (action 23); the all-time
    // sums stay on the totals line.
    const bool ranged = CurrentRange().Bounded();
    if (ranged && (reply.Outcome == TListOutcome::Decoded || reply.Outcome == TListOutcome::Malformed))
        succeeded = ApplyRangeCounters(reply) && succeeded;
    else if (reply.EmptiesList())
        AllTimeTotals.reset();
    // Changes apply only to a whole list (an empty one, "OK" alone, too),
    // and they carry all-time counters: none over a range.
    AffiliatesInStep = !ChangeCursor.isEmpty() && succeeded && !ranged;
    if (reply.EmptiesList())
        FillAffiliates(std::move(reply));
    MainStatusPanel->clear();
    return succeeded;
}

// The sales as the list shows them: with their dates over the range where
// the site keeps the history.
TListReply TfrmMain::FetchSales(int QueryType, const QString& Ids)
{
    if (!SalesModel->IsDated())
        return Tracking->LoadSales(QueryType, Ids);
    const daterange::TDateRange range = CurrentRange();
    return Tracking->LoadDatedSales(QueryType, Ids, daterange::WireInstant(range.From),
                                    daterange::WireInstant(range.To));
}

bool TfrmMain::LoadSales(int QueryType, const QString& Ids)
{
    MainStatusPanel->setText(QStringLiteral("Getting data..."));
    const daterange::TDateRange range = CurrentRange();
    TListReply reply = FetchSales(QueryType, Ids);
    const bool succeeded = reply.Succeeded();
    // Changes bring the sales of every time: none over a range.
    SalesInStep = !ChangeCursor.isEmpty() && succeeded && !range.Bounded();
    if (reply.EmptiesList()) {
        SalesLoaded = true;
        SalesLoadedQueryType = QueryType;
        SalesLoadedIds = Ids;
        FillSales(std::move(reply));
    }
    MainStatusPanel->clear();
    return succeeded;
}

void TfrmMain::FillAffiliates(TListReply Reply)
{
    // A bare "OK" empties the list and leaves the totals of the last load;
    // a short record keeps the rows before it, again without new totals.
    if (Reply.Outcome == TListOutcome::OkOnly) {
        AffiliatesModel->Clear();
        ShowAffiliateTotals();
        return;
    }
    AffiliatesModel->SetRows(std::move(Reply.Rows));
    if (Reply.Outcome == TListOutcome::Decoded) {
        AffiliateLabels = AffiliateLabelsAfterFill(AffiliatesModel->AllRowCount(), AffiliatesModel->Totals());
    }
    ShowAffiliateTotals();
    Repaint();
}

void TfrmMain::FillSales(TListReply Reply)
{
    if (Reply.Outcome == TListOutcome::OkOnly) {
        SalesModel->Clear();
        return;
    }
    SalesModel->SetRows(std::move(Reply.Rows));
    if (Reply.Outcome == TListOutcome::Decoded)
        lblRefersHits->setText(SalesAfterFill(SalesModel->rowCount()));
    Repaint();
}

QString TfrmMain::SelectedAffiliateIds() const
{
    return ::SelectedAffiliateIds(lvwPages->selectionModel());
}

QString TfrmMain::SelectedSaleIds() const
{
    return ::SelectedSaleIds(lvwReferers->selectionModel());
}

int TfrmMain::QueryType() const
{
    return cbxQueryType->currentIndex();
}

void TfrmMain::Repaint()
{
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// ---- affiliates ------------------------------------------------------------

void TfrmMain::lvwPagesSelectItem(bool RowsSelected)
{
    if (RowsSelected && QueryType() == 0 && !Guard->Pending() && !LoadSales(0, SelectedAffiliateIds()))
        msgMain->Notice(TroubleAccessing());
    lblRefersHits->setText(SalesCount(SalesModel->rowCount()));
    Repaint();
}

void TfrmMain::btnSSelectAllClick()
{
    // Selecting affiliates loads their sales, which waits for no request.
    if (Guard->Pending())
        return;
    lvwPages->selectAll();
}

void TfrmMain::btnSClearAllClick()
{
    lvwPages->clearSelection();
}

void TfrmMain::AfterAffiliatesDeletion()
{
    AffiliateLabels.TotalHits = AffiliatesTotal(AffiliatesModel->AllRowCount());
    ShowAffiliateTotals();
    SalesModel->Clear();
    SalesLoaded = false;
    SalesInStep = false;
    lblRefersHits->setText(SalesAtStart());
    Repaint();
}

void TfrmMain::btnDeleteSegClick()
{
    if (Guard->Pending())
        return;
    const QString ids = SelectedAffiliateIds();
    if (!ids.isEmpty() && msgMain->Question(AskDeleteSelected())) {
        if (DeleteAffiliates(ids))
            LoadAffiliates();
        else
            msgMain->Notice(TroubleDeleting());
    }
    AfterAffiliatesDeletion();
}

void TfrmMain::bsSkinButton4Click()
{
    if (Guard->Pending())
        return;
    // Every affiliate goes, also those a find text hides.
    if (AffiliatesModel->AllRowCount() > 0 && msgMain->Question(AskDeleteAll())) {
        if (DeleteAffiliates(QStringLiteral("all")))
            LoadAffiliates();
        else
            msgMain->Notice(TroubleDeleting());
    }
    AfterAffiliatesDeletion();
}

void TfrmMain::btnRevfreshSegmentsClick()
{
    if (Guard->Pending())
        return;
    if (!CheckServer())
        return;
    LearnSiteExtensions();
    if (!RefreshByChanges().Affiliates)
        LoadAffiliates();
}

bool TfrmMain::DeleteAffiliates(const QString& Ids)
{
    return Tracking->DeleteAffiliates(Ids);
}

// ---- sales -----------------------------------------------------------------

void TfrmMain::ReloadSales()
{
    if (!LoadSales(QueryType(), SelectedAffiliateIds()))
        msgMain->Notice(TroubleAccessing());
}

void TfrmMain::cbxQueryTypeChange()
{
    // A change that cannot be loaded now is taken back, so that the box
    // never shows another entry than the one the list was loaded for.
    if (Guard->Pending()) {
        const QSignalBlocker quiet(cbxQueryType);
        cbxQueryType->setCurrentIndex(AppliedQueryType);
        return;
    }
    AppliedQueryType = QueryType();
    ReloadSales();
    lblRefersHits->setText(SalesCount(SalesModel->rowCount()));
    Repaint();
}

void TfrmMain::bsSkinButton5Click()
{
    lvwReferers->selectAll();
}

void TfrmMain::bsSkinButton6Click()
{
    lvwReferers->clearSelection();
}

void TfrmMain::bsSkinButton7Click()
{
    if (Guard->Pending())
        return;
    const QString ids = SelectedSaleIds();
    if (!ids.isEmpty() && msgMain->Question(AskDeleteSelected())) {
        if (Tracking->DeleteSales(ids))
            ReloadSales();
        else
            msgMain->Notice(TroubleDeleting());
    }
    lblRefersHits->setText(SalesCount(SalesModel->rowCount()));
    Repaint();
}

void TfrmMain::bsSkinButton9Click()
{
    if (Guard->Pending())
        return;
    // Asked only while there are affiliates, whatever the sales list shows.
    if (AffiliatesModel->AllRowCount() > 0 && msgMain->Question(AskDeleteAll())) {
        if (Tracking->DeleteSales(QStringLiteral("all")))
            ReloadSales();
        else
            msgMain->Notice(TroubleDeleting());
    }
    lblRefersHits->setText(SalesCount(SalesModel->rowCount()));
    Repaint();
}

void TfrmMain::bsSkinButton8Click()
{
    if (Guard->Pending())
        return;
    // By changes while the list is the one the Show box and the selection
    // ask for; otherwise, and whenever that fails, whole.
    if (!CheckServer())
        return;
    const bool same =
        SalesLoaded && SalesLoadedQueryType == QueryType() && SalesLoadedIds == SelectedAffiliateIds();
    if (!same || !RefreshByChanges().Sales)
        ReloadSales();
}

void TfrmMain::RefreshSales()
{
    if (CheckServer())
        ReloadSales();
}

// ---- add and edit ----------------------------------------------------------

void TfrmMain::bsSkinButton2Click()
{
    if (Guard->Pending())
        return;
    TAffiliateInput values;
    if (!TfrmAddAffiliate::RunAddAffiliate(this, *msgMain, Settings.SiteUrl, values, false))
        return;
    switch (Tracking->AddAffiliate(values.Name, values.AffiliateId)) {
    case srSaved:
        LoadAffiliates();
        break;
    case srRejected:
        msgMain->Notice(AffiliateIdExists());
        break;
    case srFailed:
        msgMain->Notice(TroubleAdding());
        break;
    }
}

void TfrmMain::bsSkinButton3Click()
{
    if (Guard->Pending())
        return;
    const QList<int> rows = SelectedModelRows(lvwPages->selectionModel());
    if (rows.size() != 1) {
        msgMain->Notice(SelectJustOne());
        return;
    }
    const QString recordId = AffiliatesModel->IdAt(rows.first());
    QString recordText;
    if (!Tracking->GetAffiliate(recordId, recordText))
        return;
    TAffiliateInput values;
    // A record too short to hold a name and an id cannot be edited.
    if (!AffiliateInputFromRecordText(recordText, values))
        return;
    if (!TfrmAddAffiliate::RunAddAffiliate(this, *msgMain, Settings.SiteUrl, values, true))
        return;
    switch (Tracking->EditAffiliate(recordId, values.Name, values.AffiliateId)) {
    case srSaved:
        LoadAffiliates();
        RefreshSales();
        break;
    case srRejected:
        msgMain->Notice(AffiliateIdGone());
        break;
    case srFailed:
        msgMain->Notice(TroubleAdding());
        break;
    }
}
