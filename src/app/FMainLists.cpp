// The affiliates and sales lists of the main page, their buttons, and the
// add and edit flows, on top of the tracking requests.
#include "FMain.h"

#include "net/HttpClient.h"
#include "components/MessageBox.h"
#include "tracking/AffiliateInput.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/FAddAffiliate.h"
#include "tracking/ListSelection.h"
#include "tracking/ListTexts.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingClient.h"

#include <QApplication>
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

void TfrmMain::SetTrackingReadTimeout(int Ms)
{
    Tracking->SetReadTimeout(Ms);
}

bool TfrmMain::LoadAffiliates()
{
    MainStatusPanel->setText(QStringLiteral("Getting data..."));
    TListReply reply = Tracking->LoadAffiliates();
    const bool succeeded = reply.Succeeded();
    if (reply.Outcome != TListOutcome::NoOk)
        FillAffiliates(std::move(reply));
    MainStatusPanel->clear();
    return succeeded;
}

bool TfrmMain::LoadSales(int QueryType, const QString& Ids)
{
    MainStatusPanel->setText(QStringLiteral("Getting data..."));
    TListReply reply = Tracking->LoadSales(QueryType, Ids);
    const bool succeeded = reply.Succeeded();
    if (reply.Outcome != TListOutcome::NoOk)
        FillSales(std::move(reply));
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
        const TAffiliateLabels labels =
            AffiliateLabelsAfterFill(AffiliatesModel->AllRowCount(), AffiliatesModel->Totals());
        AffiliateLabelTexts = {labels.TotalHits, labels.OtoSales, labels.Subscribers, labels.Visitors,
                               labels.UniqueHits};
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

bool TfrmMain::RequestPending() const
{
    return IdHTTP1 && IdHTTP1->Busy();
}

// ---- affiliates ------------------------------------------------------------

void TfrmMain::lvwPagesSelectItem(bool RowsSelected)
{
    if (RowsSelected && QueryType() == 0 && !RequestPending() && !LoadSales(0, SelectedAffiliateIds()))
        msgMain->Notice(TroubleAccessing());
    lblRefersHits->setText(SalesCount(SalesModel->rowCount()));
    Repaint();
}

void TfrmMain::btnSSelectAllClick()
{
    // Selecting affiliates loads their sales, which waits for no request.
    if (RequestPending())
        return;
    lvwPages->selectAll();
}

void TfrmMain::btnSClearAllClick()
{
    lvwPages->clearSelection();
}

void TfrmMain::ArrangeTotals()
{
    // The design positions while the texts fit. A text that would run into
    // its neighbour pushes the rest to the right; one that would pass the
    // panel's edge starts a row below, and the panel grows (its buttons
    // moving down) until every total up to the 64-bit ends shows whole.
    constexpr int Top = 8, Gap = 6, PanelHeight = 63, ButtonsTop = 30;
    constexpr int Lefts[] = {7, 315, 426, 535, 648};
    constexpr int Widths[] = {300, 108, 106, 110, 180};
    QLabel* const labels[] = {lblTotalHits, lblOTOSales, lblSubscribers, lblVisitors, lblUniqueHits};
    QWidget* panel = lblTotalHits->parentWidget();
    const int rowHeight = lblTotalHits->sizeHint().height() + 2;
    int row = 0, next = 0;
    for (int i = 0; i < 5; ++i) {
        const int width = qMax(Widths[i], labels[i]->sizeHint().width());
        int left = row == 0 ? qMax(Lefts[i], next) : next;
        if (i > 0 && left + labels[i]->sizeHint().width() > panel->width()) {
            ++row;
            left = Lefts[0];
        }
        labels[i]->setGeometry(left, Top + row * rowHeight, qMin(width, qMax(0, panel->width() - left)),
                               labels[i]->sizeHint().height());
        next = left + labels[i]->sizeHint().width() + Gap;
    }
    const int extra = row * rowHeight;
    panel->setFixedHeight(PanelHeight + extra);
    for (QPushButton* button : panel->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly))
        button->move(button->x(), ButtonsTop + extra);
}

void TfrmMain::AfterAffiliatesDeletion()
{
    AffiliateLabelTexts[0] = AffiliatesTotal(AffiliatesModel->AllRowCount());
    ShowAffiliateTotals();
    SalesModel->Clear();
    lblRefersHits->setText(SalesAtStart());
    Repaint();
}

void TfrmMain::btnDeleteSegClick()
{
    if (RequestPending())
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
    if (RequestPending())
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
    if (RequestPending())
        return;
    if (CheckServer())
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
    if (RequestPending()) {
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
    if (RequestPending())
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
    if (RequestPending())
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
    if (RequestPending())
        return;
    RefreshSales();
}

void TfrmMain::RefreshSales()
{
    if (CheckServer())
        ReloadSales();
}

// ---- add and edit ----------------------------------------------------------

void TfrmMain::bsSkinButton2Click()
{
    if (RequestPending())
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
    if (RequestPending())
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
