// The real main window on the real reference site (SQLite): with the
// history, a range shows that range's sales with their local dates, the
// affiliates' figures over it beside the all-time sums, and a trend that
// adds up the site's hourly buckets; on an older copy of the scripts,
// none of it, and the sales come by the eight actions as before.
#include "ProgramFixture.h"
#include "support/QtPrinters.h"
#include "tracking/FTrend.h"
#include "tracking/TrendView.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

class ProgramHistory : public TProgramSiteTest
{
protected:
    QByteArray Ann, Bob;
    QDateTime Old; // Bob's sale, forty days ago

    void Fill()
    {
        Ann = Add("Ann", "annb");
        Bob = Add("Bob", "bob7");
        // Ann: a visit and a signed sale now, through track.php.
        ASSERT_EQ(Http.Get(Site->TrackUrl({{"affid", "annb"}})).Body, "OK");
        ASSERT_EQ(Http.Get(Site->SignedSaleUrl(QStringLiteral("ORD-NOW"), QStringLiteral("annb"))).Body,
                  "OK");
        // Bob: a sale long ago, with its hour, as the upgrade would have
        // filled it from the sale's time.
        Old = QDateTime::currentDateTimeUtc().addDays(-40);
        Old.setTime(QTime(Old.time().hour(), 0));
        ASSERT_TRUE(
            Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order, created_at) VALUES (?, ?, ?)",
                       {Bob, "ORD-OLD", Old.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1()}));
        ASSERT_TRUE(Site->Exec("UPDATE tf_affiliates SET oto_sales = oto_sales + 1 WHERE id = ?", {Bob}));
        ASSERT_TRUE(Site->Exec("INSERT INTO tf_hourly (affiliate_id, hour_start, oto_sales) VALUES (?, ?, 1)",
                               {Bob, QByteArray::number(Old.toSecsSinceEpoch())}));
    }
};

TEST_P(ProgramHistory, ARangeShowsItsSalesFiguresAndTrend)
{
    Fill();
    OpenProgram();
    ASSERT_TRUE(Control<QComboBox>("cbxRange")->isVisible());
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(3); // all sales, any time
    Idle();
    ASSERT_EQ(Column("lvwReferers", 1), (QStringList{"ORD-NOW", "ORD-OLD"}));
    EXPECT_EQ(Column("lvwReferers", 2)[1], Old.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));

    QComboBox* range = Control<QComboBox>("cbxRange");
    range->setFocus();
    QTest::keyClick(range, Qt::Key_Down); // Today
    Idle();
    EXPECT_EQ(Column("lvwReferers", 1), (QStringList{"ORD-NOW"}));
    EXPECT_EQ(Column("lvwPages", 0), (QStringList{"Ann", "Bob"}));
    EXPECT_EQ(Column("lvwPages", 2), (QStringList{"1", "0"}));
    EXPECT_EQ(Column("lvwPages", 4), (QStringList{"1", "0"}));
    EXPECT_EQ(Control<QLabel>("lblOTOSales")->text(), QStringLiteral("OTO Sales: 1 (all time: 2)"));

    // The trend adds up to what the buckets of today hold.
    const qint64 from = QDate::currentDate().startOfDay().toSecsSinceEpoch();
    const qint64 to = QDate::currentDate().addDays(1).startOfDay().toSecsSinceEpoch();
    const auto sums = Site->Rows(QStringLiteral("SELECT SUM(visitors), SUM(oto_sales) FROM tf_hourly WHERE "
                                                "hour_start >= %1 AND hour_start < %2")
                                     .arg(from)
                                     .arg(to));
    ASSERT_EQ(sums.size(), 1);
    TModalPilot pilot;
    TTrend trend;
    pilot.Handle([&](QWidget* d) {
        if (auto* w = qobject_cast<TfrmTrend*>(d))
            trend = w->View()->Trend();
        Click(d->findChild<QPushButton*>(QStringLiteral("btnClose")));
    });
    Click(Control<QPushButton>("btnTrend"));
    ASSERT_TRUE(WaitFor([&] { return pilot.Pending() == 0; }, 30000));
    qint64 visitors = 0, sales = 0;
    for (const TTrendPoint& p : trend.Points) {
        visitors += p.Visitors;
        sales += p.OtoSales;
    }
    EXPECT_TRUE(trend.Hourly);
    EXPECT_EQ(visitors, sums[0][0].toLongLong());
    EXPECT_EQ(sales, sums[0][1].toLongLong());
    EXPECT_EQ(sales, 1);
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_P(ProgramHistory, AnOlderSiteShowsTheListsAsBefore)
{
    const TOlderSite older(*Site);
    ASSERT_TRUE(older.Started) << Site->Error().toStdString();
    Ann = Add("Ann", "annb");
    AddSale(Ann, "ORD-1");
    OpenProgram();
    EXPECT_FALSE(Control<QComboBox>("cbxRange")->isVisible());
    EXPECT_FALSE(Control<QPushButton>("btnTrend")->isVisible());
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(3);
    Idle();
    EXPECT_EQ(Column("lvwReferers", 1), (QStringList{"ORD-1"}));
    EXPECT_EQ(Control<QTableView>("lvwReferers")->model()->columnCount(), 2);
    // The all-time counters, as the site keeps them.
    const auto kept = Site->Rows("SELECT oto_sales, visitors FROM tf_affiliates");
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(Column("lvwPages", 2), (QStringList{QString::fromLatin1(kept[0][0])}));
    EXPECT_EQ(Column("lvwPages", 4), (QStringList{QString::fromLatin1(kept[0][1])}));
}

INSTANTIATE_TEST_SUITE_P(Db, ProgramHistory, ::testing::Values(TSiteDb::Sqlite), SiteDbParamName);

} // namespace
