// The operator's tools around the two lists: the find field, CSV export,
// copying rows and tracking links, the keyboard, the context menus of the
// rows and of the headers, and the Statistics window.
#include "FMain.h"
#include "components/FindEdit.h"
#include "components/MessageBox.h"
#include "components/SavePath.h"
#include "tracking/AffiliateInput.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/FStatistics.h"
#include "tracking/ListExport.h"
#include "tracking/ListSelection.h"
#include "tracking/ListStatistics.h"
#include "tracking/ListTexts.h"
#include "tracking/SalesModel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTableView>
#include <QUrl>

using namespace listtexts;

namespace
{

// Columns as the view shows them: hidden ones left out, dragged ones where
// they were dragged to.
QList<int> ShownColumns(const QTableView* List)
{
    QList<int> columns;
    const QHeaderView* h = List->horizontalHeader();
    for (int v = 0; v < h->count(); ++v) {
        const int logical = h->logicalIndex(v);
        if (!h->isSectionHidden(logical))
            columns.append(logical);
    }
    return columns;
}

const TRecordListModel* ListModel(const QTableView* List)
{
    return ListModelOf(List->selectionModel());
}

} // namespace

void TfrmMain::BuildTools()
{
    connect(edtFind, &QLineEdit::textChanged, this, &TfrmMain::edtFindChange);

    // Keys of the whole main page.
    const auto pageKey = [this](QKeySequence::StandardKey Key, void (TfrmMain::*Handler)()) {
        auto* s = new QShortcut(Key, stsMain, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, Handler);
    };
    pageKey(QKeySequence::Find, &TfrmMain::actFindExecute);
    pageKey(QKeySequence::Save, &TfrmMain::actExportExecute);
    pageKey(QKeySequence::Refresh, &TfrmMain::actRefreshExecute);
    ListShortcuts(lvwPages);
    ListShortcuts(lvwReferers);

    for (QTableView* list : {lvwPages, lvwReferers}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& pos) { ListContextMenu(list, pos); });
        QHeaderView* header = list->horizontalHeader();
        header->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(header, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& pos) { HeaderContextMenu(list, pos); });
    }
}

// Keys of one list, live while it has the focus.
void TfrmMain::ListShortcuts(QTableView* List)
{
    const bool affiliates = List == lvwPages;
    const auto key = [&](QKeySequence::StandardKey Key, auto Handler) {
        auto* s = new QShortcut(Key, List, nullptr, nullptr, Qt::WidgetShortcut);
        connect(s, &QShortcut::activated, this, Handler);
    };
    key(QKeySequence::Copy, [this, List] { CopyRows(List); });
    key(QKeySequence::Delete,
        [this, affiliates] { affiliates ? btnDeleteSegClick() : bsSkinButton7Click(); });
    key(QKeySequence::SelectAll,
        [this, affiliates] { affiliates ? btnSSelectAllClick() : bsSkinButton5Click(); });
}

QTableView* TfrmMain::FocusedList() const
{
    const QWidget* focus = focusWidget();
    if (focus && (focus == lvwReferers || lvwReferers->isAncestorOf(focus)))
        return lvwReferers;
    return lvwPages;
}

// ---- find ------------------------------------------------------------------

void TfrmMain::actFindExecute()
{
    edtFind->setFocus(Qt::ShortcutFocusReason);
    edtFind->selectAll();
}

void TfrmMain::edtFindChange(const QString& Text)
{
    AffiliatesModel->SetFindText(Text.trimmed());
    ShowAffiliateTotals();
}

void TfrmMain::ShowAffiliateTotals()
{
    TAffiliateLabels shown = AffiliateLabels;
    if (AffiliatesModel->IsFiltered()) {
        shown = AffiliateLabelsAfterFill(AffiliatesModel->RowCount(), AffiliatesModel->ShownTotals());
        shown.TotalHits = AffiliatesShown(AffiliatesModel->RowCount(), AffiliatesModel->AllRowCount());
    } else if (AllTimeTotals) {
        shown = WithAllTime(shown, *AllTimeTotals);
    }
    lblTotalHits->setText(shown.TotalHits);
    lblOTOSales->setText(shown.OtoSales);
    lblSubscribers->setText(shown.Subscribers);
    lblVisitors->setText(shown.Visitors);
    lblUniqueHits->setText(shown.UniqueHits);
    ArrangeTotals();
}

// ---- export and copy -------------------------------------------------------

void TfrmMain::actExportExecute()
{
    ExportList(FocusedList());
}

void TfrmMain::ExportList(QTableView* List)
{
    const TRecordListModel* model = ListModel(List);
    if (!model)
        return;
    const QString name = List == lvwReferers ? QStringLiteral("sales.csv") : QStringLiteral("affiliates.csv");
    const QString path =
        AskSavePath(this, QStringLiteral("Export"), ExportFolder, name,
                    QStringLiteral("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    QString error;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = listexport::SaveCsv(*model, ShownColumns(List), path, error);
    QGuiApplication::restoreOverrideCursor();
    if (!saved)
        msgMain->Notice(error);
}

void TfrmMain::CopyRows(QTableView* List)
{
    const TRecordListModel* model = ListModel(List);
    const QList<int> rows = SelectedModelRows(List->selectionModel());
    if (!model || rows.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(listexport::TabText(*model, ShownColumns(List), rows));
}

QString TfrmMain::TrackingLink(const QString& SiteUrl, const QString& LinkId)
{
    return PublicSiteAddress(SiteUrl) + QStringLiteral("/track.php?affid=") +
           QString::fromLatin1(QUrl::toPercentEncoding(LinkId));
}

void TfrmMain::CopyTrackingLink()
{
    const QList<int> rows = SelectedModelRows(lvwPages->selectionModel());
    if (rows.size() != 1) {
        msgMain->Notice(SelectJustOne());
        return;
    }
    QGuiApplication::clipboard()->setText(TrackingLink(
        Settings.SiteUrl, AffiliatesModel->TextAt(rows.first(), TAffiliatesModel::colAffiliateId)));
}

// ---- statistics ------------------------------------------------------------

void TfrmMain::StatisticsClick()
{
    const TAffiliateStatistics stats =
        AffiliateStatistics(*AffiliatesModel, SelectedModelRows(lvwPages->selectionModel()));
    TfrmStatistics::RunStatistics(this, *msgMain, ExportFolder, stats);
}

// ---- keyboard and menus ----------------------------------------------------

void TfrmMain::actRefreshExecute()
{
    if (FocusedList() == lvwReferers)
        bsSkinButton8Click();
    else
        btnRevfreshSegmentsClick();
}

void TfrmMain::ListContextMenu(QTableView* List, const QPoint& Pos)
{
    const bool affiliates = List == lvwPages;
    const int selected = int(SelectedModelRows(List->selectionModel()).size());
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuList"));
    QAction* copy = menu.addAction(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(selected > 0);
    QAction* link = nullptr;
    QAction* edit = nullptr;
    if (affiliates) {
        link = menu.addAction(QStringLiteral("Copy tracking link"));
        link->setEnabled(selected == 1);
        menu.addSeparator();
        edit = menu.addAction(QStringLiteral("Edit…"));
        edit->setEnabled(selected > 0);
    }
    QAction* remove = menu.addAction(QStringLiteral("Delete…"));
    remove->setShortcut(QKeySequence::Delete);
    remove->setEnabled(selected > 0);
    menu.addSeparator();
    QAction* exportList = menu.addAction(QStringLiteral("Export…"));
    exportList->setShortcut(QKeySequence::Save);
    QAction* statistics = affiliates ? menu.addAction(QStringLiteral("Statistics…")) : nullptr;

    // The choice is acted on once the menu is gone. A right click on a row
    // selects it, which may reload the sales while the menu is open; that
    // request has ended by the time the menu returns, so a choice that
    // sends one is not lost to it.
    QAction* chosen = menu.exec(List->viewport()->mapToGlobal(Pos));
    if (!chosen || Closing)
        return;
    if (chosen == copy)
        CopyRows(List);
    else if (chosen == link)
        CopyTrackingLink();
    else if (chosen == edit)
        bsSkinButton3Click();
    else if (chosen == remove)
        affiliates ? btnDeleteSegClick() : bsSkinButton7Click();
    else if (chosen == exportList)
        ExportList(List);
    else if (chosen == statistics)
        StatisticsClick();
}

void TfrmMain::HeaderContextMenu(QTableView* List, const QPoint& Pos)
{
    // Every column but the first can be hidden and shown again.
    QHeaderView* header = List->horizontalHeader();
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuColumns"));
    QList<QAction*> toggles;
    for (int c = 1; c < header->count(); ++c) {
        QAction* a = menu.addAction(List->model()->headerData(c, Qt::Horizontal).toString());
        a->setCheckable(true);
        a->setChecked(!header->isSectionHidden(c));
        a->setData(c);
        toggles.append(a);
    }
    QAction* chosen = menu.exec(header->mapToGlobal(Pos));
    if (!chosen || !toggles.contains(chosen))
        return;
    const int column = chosen->data().toInt();
    List->setColumnHidden(column, !chosen->isChecked());
    if (!chosen->isChecked())
        return;
    // A column shown again gets a usable width if it had none.
    if (header->sectionSize(column) < 20)
        header->resizeSection(column, 90);
}
