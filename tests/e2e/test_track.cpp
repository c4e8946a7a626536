// track.php, the public counter, feeding the numbers that actions.php lists.
#include "SiteFixture.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

class Track : public TSiteTest
{
protected:
    THttpReply Hit(THttpSession& browser, const QList<QPair<QString, QString>>& query)
    {
        QUrl url(Site->SiteUrl() + "/track.php");
        QUrlQuery q;
        q.setQueryItems(query);
        url.setQuery(q);
        return browser.Get(url.toString(QUrl::FullyEncoded));
    }
    // visitors, unique hits, subscribers, OTO sales
    QList<QByteArray> Counters(const QByteArray& id)
    {
        const auto rows = Site->Rows(
            "SELECT visitors, unique_hits, subscribers, oto_sales FROM tf_affiliates WHERE id = ?", {id});
        return rows.isEmpty() ? QList<QByteArray>() : rows[0];
    }
};

TEST_P(Track, VisitsCountEveryTimeUniqueHitsOncePerBrowser)
{
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray bob = Add("Bob", "bob7");
    THttpSession first;
    THttpSession second;
    EXPECT_EQ(Hit(first, {{"affid", "annb"}}).Body, "OK");
    EXPECT_EQ(Hit(first, {{"affid", "annb"}}).Body, "OK");
    EXPECT_EQ(Hit(second, {{"affid", "annb"}}).Body, "OK");
    // A browser that has seen Ann is still new to Bob.
    EXPECT_EQ(Hit(first, {{"affid", "bob7"}}).Body, "OK");
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"3", "2", "0", "0"}));
    EXPECT_EQ(Counters(bob), (QList<QByteArray>{"1", "1", "0", "0"}));
}

TEST_P(Track, SubscribeAndSaleCountForTheirAffiliate)
{
    const QByteArray ann = Add("Ann", "annb");
    THttpSession browser;
    EXPECT_EQ(Hit(browser, {{"affid", "annb"}, {"event", "subscribe"}}).Body, "OK");
    EXPECT_EQ(Hit(browser, {{"affid", "annb"}, {"event", "sale"}, {"order", "ORD 9"}}).Body, "OK");
    EXPECT_EQ(Hit(browser, {{"event", "sale"}, {"order", "ORD 10"}}).Body, "OK");
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"0", "0", "1", "1"}));
    // The list the control panel reads shows both sales where they belong.
    const QByteArray listed = Body("4", {{"querytype", "0"}, {"reftype", ann}});
    EXPECT_TRUE(listed.contains("\"Ann\",\"ORD 9\"^")) << listed.toStdString();
    EXPECT_FALSE(listed.contains("ORD 10"));
    EXPECT_TRUE(Body("4", {{"querytype", "2"}, {"reftype", ""}}).contains("\"\",\"ORD 10\"^"));
}

TEST_P(Track, UnknownAffiliatesAndBadOrdersChangeNothing)
{
    const QByteArray ann = Add("Ann", "annb");
    THttpSession browser;
    const THttpReply unknown = Hit(browser, {{"affid", "ANNB"}});
    EXPECT_EQ(unknown.Status, 404);
    EXPECT_EQ(Hit(browser, {{"affid", "annb"}, {"event", "sale"}, {"order", "a,b"}}).Status, 400);
    EXPECT_EQ(Hit(browser, {{"affid", "annb"}, {"event", "sale"}, {"order", ""}}).Status, 400);
    EXPECT_EQ(Hit(browser, {{"affid", "annb"}, {"event", "refund"}}).Status, 400);
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"0", "0", "0", "0"}));
    EXPECT_EQ(Count("tf_sales"), 0);
}

INSTANTIATE_TEST_SUITE_P(Db, Track, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb), SiteDbParamName);

} // namespace
