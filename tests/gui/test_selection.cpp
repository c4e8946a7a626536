// Selection changes of a real list view reach the window as one
// notification per operator action, and the selected ids come in the order
// the view shows them.
#include "GuiHelpers.h"
#include "ListReplyRules.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/ListSelection.h"
#include "tracking/SelectionBatcher.h"

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace
{

QStringList Affiliate(const QString& Id, const QString& Name, const QString& Visitors)
{
    return {"\"" + Id, Name, Name + "1", "0", "0", Visitors, "0\""};
}

class SelectionTest : public ::testing::Test
{
protected:
    TAffiliatesModel Model;
    QTableView View;
    TSelectionBatcher* Batcher = nullptr;
    QList<bool> Notes; // what each notification said

    void SetUp() override
    {
        // Arrival order differs from the shown order on purpose.
        Model.SetRows(tftest::Records(7, {Affiliate("50", "eve", "5"), Affiliate("10", "adam", "40"),
                                          Affiliate("30", "carl", "3"), Affiliate("20", "bea", "100"),
                                          Affiliate("40", "dora", "7")}));
        View.setModel(&Model);
        View.setSelectionBehavior(QAbstractItemView::SelectRows);
        View.setSelectionMode(QAbstractItemView::ExtendedSelection);
        View.setEditTriggers(QAbstractItemView::NoEditTriggers);
        View.setSortingEnabled(true);
        View.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        View.resize(700, 300);
        Batcher = new TSelectionBatcher(&View);
        QObject::connect(Batcher, &TSelectionBatcher::SelectionChanged, Batcher,
                         [this](bool rowsSelected) { Notes << rowsSelected; });
        View.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&View));
        Settle();
    }

    // Lets every queued event run, as the event loop would after an action.
    void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }

    QPoint RowPoint(int Row) const { return View.visualRect(Model.index(Row, 1)).center(); }

    void ClickRow(int Row, Qt::KeyboardModifiers Mods = {})
    {
        QTest::mouseClick(View.viewport(), Qt::LeftButton, Mods, RowPoint(Row));
        Settle();
    }

    QString Ids() const { return SelectedAffiliateIds(View.selectionModel()); }
};

TEST_F(SelectionTest, ClickOnARowNotifiesOnceWithThatRow)
{
    ClickRow(1);
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "20");

    // Another row: the old one goes, the new one comes, still one note.
    Notes.clear();
    ClickRow(3);
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "40");

    // Clicking the only selected row again changes nothing.
    Notes.clear();
    ClickRow(3);
    EXPECT_TRUE(Notes.isEmpty());
}

TEST_F(SelectionTest, SelectAllAndRangesNotifyOnceWithEveryId)
{
    View.selectAll();
    Settle();
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "10,20,30,40,50");

    // A click on a row that was already selected only unselects the rest.
    Notes.clear();
    ClickRow(1);
    EXPECT_EQ(Notes, QList<bool>({false}));
    EXPECT_EQ(Ids(), "20");

    Notes.clear();
    ClickRow(3, Qt::ShiftModifier);
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "20,30,40");

    // A window that selects row by row, as a button handler might.
    Notes.clear();
    View.clearSelection();
    for (int r = 0; r < Model.rowCount(); ++r)
        View.selectionModel()->select(Model.index(r, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Settle();
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "10,20,30,40,50");
}

TEST_F(SelectionTest, UnselectingOnlyNeverAsksForAReload)
{
    ClickRow(0);
    ClickRow(2, Qt::ControlModifier);
    ASSERT_EQ(Ids(), "10,30");
    Notes.clear();

    ClickRow(2, Qt::ControlModifier);
    EXPECT_EQ(Notes, QList<bool>({false}));
    EXPECT_EQ(Ids(), "10");

    Notes.clear();
    View.clearSelection();
    Settle();
    EXPECT_EQ(Notes, QList<bool>({false}));
    EXPECT_EQ(Ids(), "");
}

TEST_F(SelectionTest, ADragIsOneActionEndingAtTheRelease)
{
    QTest::mousePress(View.viewport(), Qt::LeftButton, {}, RowPoint(0));
    Settle();
    QTest::mouseMove(View.viewport(), RowPoint(1));
    Settle();
    QTest::mouseMove(View.viewport(), RowPoint(3));
    Settle();
    EXPECT_TRUE(Notes.isEmpty()) << "nothing while the button is down";
    QTest::mouseRelease(View.viewport(), Qt::LeftButton, {}, RowPoint(3));
    Settle();
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "10,20,30,40");
}

TEST_F(SelectionTest, SortingAndRefillingAreNotTheOperatorsChoice)
{
    ClickRow(0);
    ClickRow(1, Qt::ControlModifier);
    ClickRow(4, Qt::ControlModifier);
    ASSERT_EQ(Ids(), "10,20,50");
    Notes.clear();

    // Header click: visitors descending puts bea (100) above adam (40), eve (5).
    View.sortByColumn(TAffiliatesModel::colVisitors, Qt::DescendingOrder);
    Settle();
    EXPECT_TRUE(Notes.isEmpty());
    EXPECT_EQ(Ids(), "10,20,50") << "sent in the order of names whatever the view shows";
    EXPECT_EQ(Model.TextAt(0, TAffiliatesModel::colName), "bea");

    QTest::mouseClick(
        View.horizontalHeader()->viewport(), Qt::LeftButton, {},
        QPoint(View.horizontalHeader()->sectionViewportPosition(TAffiliatesModel::colName) + 5, 5));
    Settle();
    EXPECT_TRUE(Notes.isEmpty());
    QStringList names;
    for (int r = 0; r < Model.rowCount(); ++r)
        names << Model.TextAt(r, TAffiliatesModel::colName);
    EXPECT_TRUE(names == QStringList({"adam", "bea", "carl", "dora", "eve"}) ||
                names == QStringList({"eve", "dora", "carl", "bea", "adam"}))
        << names.join(QLatin1Char(',')).toStdString();

    Model.SetRows(tftest::Records(7, {Affiliate("60", "fay", "1")}));
    Settle();
    EXPECT_TRUE(Notes.isEmpty());
    EXPECT_EQ(Ids(), "");

    ClickRow(0);
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "60");
}

TEST_F(SelectionTest, KeyboardSelectionNotifiesPerKey)
{
    View.setFocus();
    ClickRow(0);
    Notes.clear();
    QTest::keyClick(&View, Qt::Key_Down, Qt::ShiftModifier);
    Settle();
    QTest::keyClick(&View, Qt::Key_Down, Qt::ShiftModifier);
    Settle();
    EXPECT_EQ(Notes, QList<bool>({true, true}));
    EXPECT_EQ(Ids(), "10,20,30");

    Notes.clear();
    QTest::keyClick(&View, Qt::Key_A, Qt::ControlModifier);
    Settle();
    EXPECT_EQ(Notes, QList<bool>({true}));
    EXPECT_EQ(Ids(), "10,20,30,40,50");
}

} // namespace
