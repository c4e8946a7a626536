// Refresh by changes and Live mode against a scripted site on 127.0.0.1:
// the lists take what changed without losing the operator's place, fall
// back to whole lists when the site cannot tell, and Live keeps to the
// one-request rule and waits while a dialog is open.

#include "support/QtPrinters.h"
#include "support/WindowFixture.h"
#include "tracking/RecordListModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

QByteArray AffiliateRecord(int Id, const QByteArray& Name, int Oto, int Visitors = 10)
{
    const QByteArray id = QByteArray::number(Id);
    return "\"" + id + "\",\"" + Name + "\",\"l" + id + "\",\"" + QByteArray::number(Oto) + "\",\"1\",\"" +
           QByteArray::number(Visitors) + "\",\"2\"";
}

struct LiveWindow : TMainWindowTest {
    bool HasChanges = true;
    QMap<int, QByteArray> Affiliates; // id -> record, as action 3 sends them
    QByteArray SalesReply = "\"91\",\"Aff07\",\"order-1\"^OK";
    QList<QByteArray> ChangeReplies; // answers to action 30 with a cursor, in turn
    QMap<QByteArray, int> Delays;    // action -> delay in ms

    void SetUp() override
    {
        for (int i = 0; i < 40; ++i)
            Affiliates[i + 1] =
                AffiliateRecord(i + 1, "Aff" + QByteArray::number(i).rightJustified(2, '0'), i % 7);
        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Method == "GET")
                return THttpAnswer::Text(QByteArray(), 404);
            const QByteArray action = FormField(r, "action");
            QByteArray reply = "OK";
            if (action == "20")
                reply = HasChanges ? "\"1\",\"changes\"^OK" : "REFUSED";
            else if (action == "3")
                reply = AffiliatesList();
            else if (action == "4")
                reply = SalesReply;
            else if (action == "30" && !HasChanges)
                reply = "REFUSED";
            else if (action == "30" && FormField(r, "cursor").isEmpty())
                reply = "\"R\",\"c0\"^OK";
            else if (action == "30")
                reply = ChangeReplies.isEmpty() ? QByteArray("\"C\",\"" + FormField(r, "cursor") + "\"^OK")
                                                : ChangeReplies.takeFirst();
            THttpAnswer answer = THttpAnswer::Text(reply);
            answer.DelayMs = Delays.value(action);
            return answer;
        });
        PointSettingsAtSite();
    }
    QByteArray AffiliatesList() const
    {
        QByteArray list;
        for (const QByteArray& a : Affiliates)
            list += a + "^";
        return list + "OK";
    }
    QTableView* Pages() { return Control<QTableView>("lvwPages"); }
    QStringList SelectedIds(QTableView* v)
    {
        QStringList ids;
        for (const QModelIndex& i : v->selectionModel()->selectedRows())
            ids << i.data(TRecordListModel::IdRole).toString();
        ids.sort();
        return ids;
    }
    QString IdAt(QTableView* v, int Row)
    {
        return v->model()->index(Row, 0).data(TRecordListModel::IdRole).toString();
    }
    int RowOf(QTableView* v, const QString& Id)
    {
        for (int r = 0; r < v->model()->rowCount(); ++r)
            if (IdAt(v, r) == Id)
                return r;
        return -1;
    }
    QString TopId(QTableView* v)
    {
        return v->indexAt(QPoint(0, 0)).data(TRecordListModel::IdRole).toString();
    }
    QString Text(const char* label) { return Control<QLabel>(label)->text(); }
    // Selects rows as a click and shift-click would, and lets the sales load.
    void SelectAffiliates(const QList<int>& Rows)
    {
        const int before = int(Site.Requests().size());
        for (int r : Rows)
            Pages()->selectionModel()->select(Pages()->model()->index(r, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ASSERT_TRUE(WaitFor([&] { return Site.Requests().size() > before && !RequestRunning(*Window); }));
    }
};

TEST_F(LiveWindow, RefreshTakesOnlyChangesAndKeepsSelectionSortScrollAndTotals)
{
    Open();
    // The cursor comes before the list it goes with.
    EXPECT_EQ(Actions(1), (QList<QByteArray>{"1", "20", "30", "3"}));
    EXPECT_EQ(FormField(Site.Requests()[3], "cursor"), "");

    QTableView* pages = Pages();
    pages->sortByColumn(2, Qt::DescendingOrder); // OTO sales
    SelectAffiliates({3, 4});
    const QStringList selected = SelectedIds(pages);
    ASSERT_EQ(selected.size(), 2);
    const int salesRequest = int(Site.Requests().size()) - 1;
    EXPECT_EQ(FormField(Site.Requests()[salesRequest], "action"), "4");
    const QByteArray salesIds = FormField(Site.Requests()[salesRequest], "reftype");
    pages->scrollTo(pages->model()->index(12, 0), QAbstractItemView::PositionAtTop);
    const QString top = TopId(pages);
    ASSERT_FALSE(top.isEmpty());

    // A new affiliate that sorts first (above the top row), a selected one
    // that gains sales, one deleted at the end, and the sales list's new
    // sale.
    const QString changedId = selected.first();
    const QString gone = IdAt(pages, pages->model()->rowCount() - 1);
    ASSERT_FALSE(selected.contains(gone));
    ChangeReplies << "\"A\"," + AffiliateRecord(41, "Aff40", 99) + "^\"A\"," +
                         AffiliateRecord(
                             changedId.toInt(),
                             "Aff" + QByteArray::number(changedId.toInt() - 1).rightJustified(2, '0'), 50) +
                         "^\"D\",\"" + gone.toLatin1() +
                         "\"^\"S\",\"92\",\"Aff07\",\"order-2\",\"2026-01-01 10:00:00\"^"
                         "\"C\",\"c1\"^OK";
    const int before = int(Site.Requests().size());
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= before + 3; }));
    WaitFor([] { return false; }, 200);
    ASSERT_EQ(Actions(before), (QList<QByteArray>{"1", "20", "30"}));
    EXPECT_EQ(FormField(Site.Requests().last(), "cursor"), "c0");
    EXPECT_EQ(FormField(Site.Requests().last(), "querytype"), "0");
    EXPECT_EQ(FormField(Site.Requests().last(), "reftype"), salesIds);

    EXPECT_EQ(SelectedIds(pages), selected);
    EXPECT_EQ(pages->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(IdAt(pages, 0), "41");
    EXPECT_EQ(RowOf(pages, gone), -1);
    EXPECT_EQ(TopId(pages), top);
    // What the refresh brought stands out; what it did not, does not.
    EXPECT_TRUE(pages->model()->index(0, 0).data(TRecordListModel::MarkRole).toBool());
    EXPECT_TRUE(pages->model()->index(RowOf(pages, changedId), 3).data(TRecordListModel::MarkRole).toBool());
    EXPECT_FALSE(pages->model()->index(RowOf(pages, top), 0).data(TRecordListModel::MarkRole).toBool());
    // The totals are those of the rows now held.
    qint64 oto = 0;
    for (int r = 0; r < pages->model()->rowCount(); ++r)
        oto += pages->model()->index(r, 2).data().toLongLong();
    EXPECT_EQ(pages->model()->rowCount(), 40);
    EXPECT_EQ(Text("lblTotalHits"), "Total: 40 affiliate(s)");
    EXPECT_EQ(Text("lblOTOSales"), QString("OTO Sales: %1").arg(oto));
    // The sales list took its change as well.
    QTableView* sales = Control<QTableView>("lvwReferers");
    EXPECT_EQ(sales->model()->rowCount(), 2);
    EXPECT_EQ(Text("lblRefersHits"), "Total: 2 sale(s)");

    // The next refresh goes on from the cursor the last one brought.
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= before + 6; }));
    EXPECT_EQ(FormField(Site.Requests().last(), "cursor"), "c1");
}

TEST_F(LiveWindow, FindTextStaysAndCountsTheRowsItLeaves)
{
    Open();
    Control<QLineEdit>("edtFind")->setText("Aff1");
    ASSERT_EQ(Pages()->model()->rowCount(), 10);
    ChangeReplies << "\"A\"," + AffiliateRecord(41, "Aff1x", 1) + "^\"A\"," + AffiliateRecord(42, "Bob", 1) +
                         "^\"C\",\"c1\"^OK";
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return Pages()->model()->rowCount() == 11; }));
    EXPECT_EQ(Control<QLineEdit>("edtFind")->text(), "Aff1");
    EXPECT_NE(RowOf(Pages(), "41"), -1);
    EXPECT_EQ(RowOf(Pages(), "42"), -1);
    EXPECT_EQ(Text("lblTotalHits"), "Shown: 11 of 42 affiliate(s)");
}

TEST_F(LiveWindow, AReloadOrAFailedChangeReplyLoadsTheWholeList)
{
    Open();
    // The site has forgotten the cursor: the whole list, and its new cursor
    // for the next time.
    ChangeReplies << "\"R\",\"c9\"^OK";
    Affiliates[41] = AffiliateRecord(41, "Aff40", 1);
    int before = int(Site.Requests().size());
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= before + 4; }));
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"1", "20", "30", "3"}));
    EXPECT_EQ(Pages()->model()->rowCount(), 41);

    // A reply that is not whole: nothing of it is taken, the whole list
    // comes, and the cursor stays.
    ChangeReplies << "\"A\"," + AffiliateRecord(50, "Ghost", 1) + "^OK";
    before = int(Site.Requests().size());
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= before + 4; }));
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"1", "20", "30", "3"}));
    EXPECT_EQ(FormField(Site.Requests()[before + 2], "cursor"), "c9");
    EXPECT_EQ(RowOf(Pages(), "50"), -1);
    before = int(Site.Requests().size());
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= before + 3; }));
    EXPECT_EQ(FormField(Site.Requests()[before + 2], "cursor"), "c9");
}

TEST_F(LiveWindow, LiveTicksEveryPeriodAndSkipsWhileARequestRunsOrADialogIsOpen)
{
    Open();
    QCheckBox* live = Control<QCheckBox>("chkLive");
    QSpinBox* seconds = Control<QSpinBox>("spnLiveSeconds");
    QTimer* timer = Window->findChild<QTimer*>("LiveTimer");
    ASSERT_NE(timer, nullptr);
    EXPECT_FALSE(live->isChecked());
    EXPECT_FALSE(Control<QCheckBox>("chkNotify")->isChecked());
    EXPECT_EQ(seconds->value(), 15);
    live->setChecked(true);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 15000);
    seconds->setValue(30);
    EXPECT_EQ(timer->interval(), 30000);

    // A tick with nothing in the way: the changes since the cursor.
    int before = int(Site.Requests().size());
    Window->LiveTimerTimer();
    EXPECT_EQ(Actions(before), QList<QByteArray>{"30"});

    // A tick while a request runs sends nothing.
    Delays["1"] = 800;
    before = int(Site.Requests().size());
    bool wasRunning = false;
    QTimer::singleShot(300, [&] {
        wasRunning = RequestRunning(*Window);
        Window->LiveTimerTimer();
    });
    Click(Control<QPushButton>("bsSkinButton8"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= before + 2; }));
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(wasRunning);
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"1", "4"}));
    Delays.clear();

    // Nor does one while a question is open.
    Pages()->selectRow(2);
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window); }));
    WaitFor([] { return false; }, 200);
    TModalPilot pilot;
    int during = -1;
    pilot.Handle([&](QWidget* box) {
        before = int(Site.Requests().size());
        Window->LiveTimerTimer();
        during = int(Site.Requests().size()) - before;
        box->close();
    });
    Click(Control<QPushButton>("btnDeleteSeg"));
    EXPECT_EQ(during, 0);
    EXPECT_TRUE(pilot.Unexpected.isEmpty());

    live->setChecked(false);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(LiveWindow, AgainstAnOlderSiteLiveMergesTheWholeListsKeepingTheSelection)
{
    HasChanges = false;
    Open();
    EXPECT_EQ(Actions(1), (QList<QByteArray>{"1", "20", "3"}));
    SelectAffiliates({5});
    const QStringList selected = SelectedIds(Pages());
    Affiliates[41] = AffiliateRecord(41, "Aaa", 3);
    Affiliates.remove(1);
    SalesReply = "\"91\",\"Aff07\",\"order-1\"^\"93\",\"Aff07\",\"order-3\"^OK";

    const int before = int(Site.Requests().size());
    Window->LiveTimerTimer();
    // Never action 30; both lists whole, the sales for what they were
    // loaded for.
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"3", "4"}));
    EXPECT_EQ(FormField(Site.Requests().last(), "reftype"), selected.join(','));
    EXPECT_EQ(SelectedIds(Pages()), selected);
    EXPECT_EQ(IdAt(Pages(), 0), "41");
    EXPECT_EQ(RowOf(Pages(), "1"), -1);
    EXPECT_EQ(Control<QTableView>("lvwReferers")->model()->rowCount(), 2);

    // The Refresh button still loads whole, as it always did.
    const int again = int(Site.Requests().size());
    Click(Control<QPushButton>("btnRevfreshSegments"));
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Site.Requests().size() >= again + 3; }));
    EXPECT_EQ(Actions(again), (QList<QByteArray>{"1", "20", "3"}));
}

} // namespace
