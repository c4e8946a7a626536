// The real main window in Live mode on the real tracking script, SQLite and
// MariaDB, while track.php counts visits and sales from several clients at
// once: after the live refreshes the lists are what a full reload gives.
#include "ProgramFixture.h"
#include "support/QtPrinters.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingProtocol.h"

#include <QComboBox>
#include <QTableView>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

QList<QStringList> RowsOf(const QAbstractItemModel& M)
{
    QList<QStringList> rows;
    for (int r = 0; r < M.rowCount(); ++r) {
        QStringList row{M.index(r, 0).data(TRecordListModel::IdRole).toString()};
        for (int c = 0; c < M.columnCount(); ++c)
            row << M.index(r, c).data().toString();
        rows << row;
    }
    return rows;
}

class ProgramLive : public TProgramSiteTest
{
};

TEST_P(ProgramLive, LiveRefreshesUnderConcurrentTrackingEndWhereAFullReloadDoes)
{
    constexpr int kAffiliates = 10;
    for (int i = 1; i <= kAffiliates; ++i)
        Add("Affiliate " + QByteArray::number(i), "a" + QByteArray::number(i));
    // Workers enough for the window and the clients at once, and a note of
    // every action the script is asked for.
    const QString actionLog = Folder.Path() + "/actions.log";
    Folder.Write(QStringLiteral("note.php"), "<?php if (isset($_POST['action'])) file_put_contents('" +
                                                 actionLog.toUtf8() +
                                                 "', $_POST['action'] . \"\\n\", FILE_APPEND | LOCK_EX);\n");
    RestartWeb({"auto_prepend_file=" + Folder.Path() + "/note.php"}, 4);
    OpenProgram();
    ASSERT_TRUE(Window->SiteHas(QStringLiteral("changes")));
    QTableView* affiliates = Control<QTableView>("lvwPages");
    QTableView* sales = Control<QTableView>("lvwReferers");
    ASSERT_EQ(affiliates->model()->rowCount(), kAffiliates);
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(3); // all sales
    Idle();
    // The operator's place: sorted by visitors, one affiliate selected.
    affiliates->sortByColumn(TAffiliatesModel::colVisitors, Qt::DescendingOrder);
    affiliates->selectRow(2);
    const QString selected = affiliates->model()->index(2, 0).data(TRecordListModel::IdRole).toString();

    TCountingClients clients(3, 60, [&](int c, int i) {
        const QString affid = QStringLiteral("a%1").arg((i * 3 + c) % kAffiliates + 1);
        if (i % 3 == 0)
            return Site->SignedSaleUrl(QStringLiteral("O-%1-%2").arg(c).arg(i), i % 6 == 3 ? "" : affid);
        return Site->TrackUrl({{"affid", affid}});
    });
    const qsizetype notedBefore = Folder.Read(QStringLiteral("actions.log")).size();
    int ticks = 0;
    while (clients.Running()) {
        Window->LiveTimerTimer();
        ++ticks;
        WaitFor([] { return false; }, 50);
    }
    EXPECT_EQ(clients.Join(), 0);
    Window->LiveTimerTimer();
    EXPECT_GE(ticks, 3) << "too few live refreshes during the load";
    // Every live refresh took the changes alone.
    const QByteArray noted = Folder.Read(QStringLiteral("actions.log")).mid(notedBefore);
    EXPECT_EQ(noted, QByteArray("30\n").repeated(ticks + 1));

    // Same rows, same order, same texts as a full load, and the operator's
    // place kept.
    EXPECT_EQ(RowsOf(*affiliates->model()), [&] {
        TAffiliatesModel m;
        m.sort(TAffiliatesModel::colVisitors, Qt::DescendingOrder);
        m.SetRows(TrackingProtocol::DecodeList(Body("3"), TrackingProtocol::AffiliateFieldCount).Rows);
        return RowsOf(m);
    }());
    // The site keeps the history, so the sales come with their dates, as
    // action 21 over any time gives them.
    EXPECT_EQ(RowsOf(*sales->model()), [&] {
        TSalesModel m;
        m.SetDated(true);
        m.SetRows(TrackingProtocol::DecodeList(
                      Body("21", {{"querytype", "3"}, {"reftype", ""}, {"from", ""}, {"to", ""}}),
                      TrackingProtocol::DatedSaleFieldCount)
                      .Rows);
        return RowsOf(m);
    }());
    EXPECT_EQ(sales->model()->rowCount(), Count("tf_sales"));
    EXPECT_GT(Count("tf_sales"), 0);
    const QModelIndexList rows = affiliates->selectionModel()->selectedRows();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].data(TRecordListModel::IdRole).toString(), selected);
}

INSTANTIATE_TEST_SUITE_P(Db, ProgramLive, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb),
                         SiteDbParamName);

} // namespace
