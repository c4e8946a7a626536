// The site's history extension on both databases: sales in a time range
// (action 21), counters per hour and per affiliate (22, 23) kept by
// track.php and by deleting sales, and the upgrade that adds them.
#include "SiteFixture.h"
#include "tracking/TrackingProtocol.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

// The start of the UTC hour of a time as the wire writes it.
QByteArray HourOf(const QByteArray& time)
{
    return time.left(13) + ":00:00";
}

class History : public TSiteTest
{
protected:
    QByteArray Range(const QByteArray& type, const QByteArray& ref, const QByteArray& from,
                     const QByteArray& to)
    {
        return Body("21", {{"querytype", type}, {"reftype", ref}, {"from", from}, {"to", to}});
    }
    QByteArray Hours(const QByteArray& ref, const QByteArray& from = "", const QByteArray& to = "")
    {
        return Body("22", {{"reftype", ref}, {"from", from}, {"to", to}});
    }
    QByteArray PerAffiliate(const QByteArray& ref, const QByteArray& from = "", const QByteArray& to = "")
    {
        return Body("23", {{"reftype", ref}, {"from", from}, {"to", to}});
    }
    QString RunUpgrade()
    {
        return TSiteTest::RunUpgrade("ALTER, INDEX, CREATE, REFERENCES, CREATE ROUTINE, ALTER ROUTINE");
    }
};

TEST_P(History, RangesAreHalfOpenAndTimesExactUtc)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray b = Add("Bob", "bob7");
    // A local day of a time zone two hours ahead, and the moments on its
    // edges: the last second of the day before, midnight, 23:59:59, the
    // next midnight.
    const QByteArray before = AddSale(a, "ORD-1", "2026-03-28 21:59:59");
    const QByteArray first = AddSale(a, "ORD-2", "2026-03-28 22:00:00");
    const QByteArray direct = AddSale("", "ORD-3", "2026-03-29 12:30:00");
    const QByteArray last = AddSale(b, "ORD-4", "2026-03-29 21:59:59");
    const QByteArray after = AddSale(b, "ORD-5", "2026-03-29 22:00:00");
    const QByteArray from = "2026-03-28 22:00:00", to = "2026-03-29 22:00:00";
    const QByteArray rFirst = Rec({first, "Ann", "ORD-2", "2026-03-28 22:00:00"});
    const QByteArray rDirect = Rec({direct, "", "ORD-3", "2026-03-29 12:30:00"});
    const QByteArray rLast = Rec({last, "Bob", "ORD-4", "2026-03-29 21:59:59"});
    EXPECT_EQ(Range("3", "", from, to), rFirst + rDirect + rLast + "OK");
    EXPECT_EQ(Range("1", "", from, to), rFirst + rLast + "OK");
    EXPECT_EQ(Range("2", "", from, to), rDirect + "OK");
    EXPECT_EQ(Range("0", b, from, to), rLast + "OK");
    EXPECT_EQ(Range("0", a + "," + b, from, to), rFirst + rLast + "OK");
    EXPECT_EQ(Range("0", "", from, to), "OK");
    // Consecutive ranges share nothing and miss nothing; an open bound
    // reaches to the end.
    EXPECT_EQ(Range("3", "", "", from), Rec({before, "Ann", "ORD-1", "2026-03-28 21:59:59"}) + "OK");
    EXPECT_EQ(Range("3", "", to, ""), Rec({after, "Bob", "ORD-5", "2026-03-29 22:00:00"}) + "OK");
    EXPECT_EQ(Range("3", "", "", "").count('^'), 5);
    EXPECT_EQ(Range("3", "", to, from), "OK");
    EXPECT_EQ(Range("3", "", from, from), "OK");
    EXPECT_EQ(Range("3", "", "1000-01-01 00:00:00", "9999-12-31 23:59:59").count('^'), 5);
    // The first three fields are those of action 4.
    const QByteArray listed = Range("3", "", "", "");
    const TrackingProtocol::TListReply decoded = TrackingProtocol::DecodeList(listed, 3);
    EXPECT_EQ(decoded.Outcome, TrackingProtocol::TListOutcome::Decoded);
    EXPECT_EQ(decoded.Rows.RowCount(), 5);
    for (const QByteArray& bad :
         QList<QByteArray>{"2026-03-29", "2026-03-29T10:00:00", "2026-03-29 10:00", "2026-02-30 10:00:00",
                           "2026-03-29 24:00:00", "2026-03-29 10:00:00Z", " 2026-03-29 10:00:00"}) {
        EXPECT_EQ(Range("3", "", bad, ""), "REFUSED") << bad.toStdString();
        EXPECT_EQ(Range("3", "", "", bad), "REFUSED") << bad.toStdString();
        EXPECT_EQ(Hours("all", bad), "REFUSED") << bad.toStdString();
    }
    EXPECT_EQ(Range("7", "", from, to), "REFUSED");
}

TEST_P(History, TimesStayUtcWhateverTheDatabaseZone)
{
    if (!Maria())
        GTEST_SKIP() << "SQLite keeps times as UTC text";
    // The server's own zone, which every session starts in, is not UTC; a
    // time written and read in it would move across a daylight saving
    // change, or by its offset.
    ASSERT_TRUE(Site->Exec("SET GLOBAL time_zone = '+05:30'"));
    struct TRestore {
        TSiteServer* Site;
        ~TRestore() { Site->Exec("SET GLOBAL time_zone = SYSTEM"); }
    } restore{Site};
    ASSERT_TRUE(Site->StartWeb()); // no session kept from before
    const QByteArray a = Add("Ann", "annb");
    const QByteArray s = AddSale(a, "ORD-1", "2026-03-29 00:59:59");
    EXPECT_EQ(Range("3", "", "2026-03-29 00:59:59", "2026-03-29 01:00:00"),
              Rec({s, "Ann", "ORD-1", "2026-03-29 00:59:59"}) + "OK");
    // A sale through track.php: its time and its hour are the same moment.
    EXPECT_EQ(Http.Get(Site->SignedSaleUrl("ORD-2", "annb")).Body, "OK");
    const QByteArray made = Scalar("SELECT created_at FROM tf_sales WHERE sale_order = 'ORD-2'");
    QDateTime madeAt = QDateTime::fromString(QString::fromLatin1(made), "yyyy-MM-dd HH:mm:ss");
    madeAt.setTimeZone(QTimeZone::utc());
    EXPECT_LE(std::abs(madeAt.secsTo(QDateTime::currentDateTimeUtc())), 60) << made.toStdString();
    EXPECT_EQ(Hours(a, "2026-03-30 00:00:00"), Rec({HourOf(made), "1", "0", "0", "0"}) + "OK");
}

TEST_P(History, BucketsFollowTrackedEventsAndDeletedSales)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray b = Add("Bob", "bob7");
    // Three clients visit Ann (two of them Bob too), one subscribes twice,
    // two sales for Ann, one for Bob, one direct.
    for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
        ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "annb"}}), address).Body, "OK");
    for (const char* address : {"127.0.0.2", "127.0.0.3"})
        ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "bob7"}}), address).Body, "OK");
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "annb"}, {"event", "subscribe"}}), "127.0.0.2").Body,
                  "OK");
    ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "nobody"}}), "127.0.0.2").Status, 404);
    for (const auto& [order, affid] : QList<QPair<QString, QString>>{
             {"ORD-1", "annb"}, {"ORD-2", "annb"}, {"ORD-3", "bob7"}, {"ORD-4", ""}})
        ASSERT_EQ(Http.Get(Site->SignedSaleUrl(order, affid)).Body, "OK");

    // Each affiliate's buckets hold what its counters hold; every event of
    // this test fell in one or two hours.
    const auto counters = [&](const QByteArray& id) {
        const auto rows = Site->Rows(
            "SELECT oto_sales, subscribers, visitors, unique_hits FROM tf_affiliates WHERE id = ?", {id});
        return rows.isEmpty() ? QByteArray() : Rec({id, rows[0][0], rows[0][1], rows[0][2], rows[0][3]});
    };
    EXPECT_EQ(counters(a), Rec({a, "2", "1", "3", "3"}));
    EXPECT_EQ(PerAffiliate("all"), counters(a) + counters(b) + "OK");
    EXPECT_EQ(PerAffiliate(b), counters(b) + "OK");
    EXPECT_EQ(PerAffiliate(""), "OK");
    const QByteArray hours = Hours(a + "," + b);
    const TrackingProtocol::TListReply decoded = TrackingProtocol::DecodeList(hours, 5);
    ASSERT_EQ(decoded.Outcome, TrackingProtocol::TListOutcome::Decoded) << hours.toStdString();
    ASSERT_GE(decoded.Rows.RowCount(), 1);
    ASSERT_LE(decoded.Rows.RowCount(), 2);
    qint64 sums[4] = {};
    for (int row = 0; row < decoded.Rows.RowCount(); ++row)
        for (int k = 0; k < 4; ++k)
            sums[k] += decoded.Rows.Field(row, k + 1).toByteArray().replace('"', "").toLongLong();
    EXPECT_EQ((QList<qint64>{sums[0], sums[1], sums[2], sums[3]}), (QList<qint64>{3, 1, 5, 5}));
    // The hour of a sale is the hour of its time.
    const QByteArray made = Scalar("SELECT created_at FROM tf_sales WHERE sale_order = 'ORD-3'");
    EXPECT_TRUE(Hours(b).contains("\"" + HourOf(made) + "\",\"1\",")) << Hours(b).toStdString();
    // A range of hours after them holds nothing.
    EXPECT_EQ(Hours("all", "2100-01-01 00:00:00"), "OK");
    EXPECT_EQ(PerAffiliate("all", "", "2000-01-01 00:00:00"), "OK");

    // Deleting sales takes them off their hours as off the counters.
    const QByteArray ord1 = Scalar("SELECT id FROM tf_sales WHERE sale_order = 'ORD-1'");
    const QByteArray ord4 = Scalar("SELECT id FROM tf_sales WHERE sale_order = 'ORD-4'");
    EXPECT_EQ(Body("5", {{"deleteids", ord1 + "," + ord4}}), "OK");
    EXPECT_EQ(counters(a), Rec({a, "1", "1", "3", "3"}));
    EXPECT_EQ(PerAffiliate(a), counters(a) + "OK");
    EXPECT_EQ(Body("5", {{"deleteids", "all"}}), "OK");
    EXPECT_EQ(PerAffiliate("all"), Rec({a, "0", "1", "3", "3"}) + Rec({b, "0", "0", "2", "2"}) + "OK");
    // Deleting an affiliate deletes its hours.
    EXPECT_EQ(Body("2", {{"deleteids", a}}), "OK");
    EXPECT_EQ(PerAffiliate("all"), Rec({b, "0", "0", "2", "2"}) + "OK");
}

TEST_P(History, UpgradeCountsSaleHoursFromTheirTimes)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray b = Add("Bob", "bob7");
    // A database from before the hours: track.php still counts, without them.
    ASSERT_TRUE(Site->Exec("DROP TABLE tf_hourly_sums; DROP TABLE tf_hourly"));
    ASSERT_TRUE(Site->Exec(Maria() ? "ALTER TABLE tf_sales DROP INDEX ix_tf_sales_created"
                                   : "DROP INDEX ix_tf_sales_created"));
    AddSale(a, "OLD-1", "2026-01-01 10:00:00");
    AddSale(a, "OLD-2", "2026-01-01 10:59:59");
    AddSale(a, "OLD-3", "2026-01-01 11:00:00");
    AddSale(b, "OLD-4", "2025-12-31 23:59:59");
    AddSale("", "OLD-5", "2026-01-01 10:30:00");
    ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "annb"}}), "127.0.0.2").Body, "OK");
    ASSERT_EQ(Http.Get(Site->SignedSaleUrl("NEW-1", "bob7")).Body, "OK");
    EXPECT_EQ(Scalar("SELECT visitors FROM tf_affiliates WHERE id = ?", {a}), "1");
    EXPECT_EQ(Scalar("SELECT oto_sales FROM tf_affiliates WHERE id = ?", {b}), "1");
    // The site says it has no history yet, and deletes as before.
    EXPECT_FALSE(TrackingProtocol::DecodeExtensions(QString::fromLatin1(Body("20"))).contains("history"));
    EXPECT_EQ(Body("5", {{"deleteids", AddSale("", "OLD-6", "2026-01-01 10:30:00")}}), "OK");

    const QString first = RunUpgrade();
    EXPECT_TRUE(TrackingProtocol::DecodeExtensions(QString::fromLatin1(Body("20"))).contains("history"));
    EXPECT_TRUE(first.contains("added the table tf_hourly")) << first.toStdString();
    EXPECT_TRUE(first.contains("added the index on tf_sales.created_at")) << first.toStdString();
    EXPECT_TRUE(first.contains("counted the OTO sales of 4 affiliate hours")) << first.toStdString();
    // The hours that are over are summed by the upgrade, not by the first trend.
    EXPECT_EQ(Scalar("SELECT oto_sales FROM tf_hourly_sums WHERE hour_start = 1767261600"), "2");
    const QByteArray expected = Rec({"2025-12-31 23:00:00", "1", "0", "0", "0"}) +
                                Rec({"2026-01-01 10:00:00", "2", "0", "0", "0"}) +
                                Rec({"2026-01-01 11:00:00", "1", "0", "0", "0"}) + "OK";
    EXPECT_EQ(Hours("all", "", "2026-06-01 00:00:00"), expected);
    EXPECT_EQ(PerAffiliate(a, "2026-01-01 10:00:00", "2026-01-01 11:00:00"),
              Rec({a, "2", "0", "0", "0"}) + "OK");
    // Again: nothing added, the same counts.
    const QString again = RunUpgrade();
    EXPECT_FALSE(again.contains("added")) << again.toStdString();
    EXPECT_EQ(Hours("all", "", "2026-06-01 00:00:00"), expected);
    if (Maria()) {
        EXPECT_TRUE(first.contains("made the procedures tf_track_count_1 and tf_track_sale_1"))
            << first.toStdString();
    }
    // From now on every event has its hour (on MariaDB counted by the
    // upgrade's procedure), and a repeat still counts nothing.
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "annb"}}), "127.0.0.3").Body, "OK");
        ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "annb"}, {"event", "subscribe"}}), "127.0.0.3").Body,
                  "OK");
    }
    ASSERT_EQ(RawRequest(Site->TrackUrl({{"affid", "nobody"}}), "127.0.0.3").Status, 404);
    for (const auto& [order, affid] : QList<QPair<QString, QString>>{
             {"NEW-2", "annb"}, {"NEW-2", "annb"}, {"NEW-3", ""}, {"NEW-4", "nobody"}})
        ASSERT_EQ(Http.Get(Site->SignedSaleUrl(order, affid)).Body, "OK");
    EXPECT_EQ(PerAffiliate(a, "2026-06-01 00:00:00"), Rec({a, "1", "1", "1", "1"}) + "OK");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM tf_sales WHERE sale_order LIKE 'NEW-%' AND affiliate_id IS NULL"),
              "2");
    EXPECT_EQ(Site->Rows("SELECT visitors, unique_hits, subscribers FROM tf_affiliates WHERE id = ?", {a}),
              (QList<TDbRow>{{"2", "2", "1"}}));
}

TEST_P(History, TrendOfEveryAffiliateIsSummedOnceAndForgottenOnChange)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray b = Add("Bob", "bob7");
    // Hours long past, as track.php and the upgrade leave them.
    const QByteArray sale = AddSale(a, "ORD-1", "2026-01-01 10:15:00");
    AddSale(a, "ORD-2", "2026-01-01 10:45:00");
    ASSERT_TRUE(
        Site->Exec(QStringLiteral("INSERT INTO tf_hourly (affiliate_id, hour_start, visitors, unique_hits,"
                                  " subscribers, oto_sales) VALUES (%1, 1767261600, 10, 8, 2, 2),"
                                  " (%2, 1767261600, 5, 5, 1, 0), (%2, 1767268800, 3, 2, 0, 0)")
                       .arg(QString::fromLatin1(a), QString::fromLatin1(b))));
    const QByteArray both = Rec({"2026-01-01 10:00:00", "2", "3", "15", "13"}) +
                            Rec({"2026-01-01 12:00:00", "0", "0", "3", "2"}) + "OK";
    EXPECT_EQ(Hours("all"), both);
    // The same from the list of every id, and again once summed; one
    // affiliate alone is summed from its buckets.
    EXPECT_EQ(Hours(b + "," + a), both);
    // A list long enough to be checked against the table: every id, then as
    // many with one affiliate swapped for an id no one has.
    ASSERT_TRUE(
        Site->Exec(Maria() ? "INSERT INTO tf_affiliates (name, link_id) SELECT CONCAT('n', seq), "
                             "CONCAT('l', seq) FROM seq_1_to_1000"
                           : "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 1000) "
                             "INSERT INTO tf_affiliates (name, link_id) SELECT 'n' || i, 'l' || i FROM c"));
    QByteArrayList ids;
    for (const auto& row : Site->Rows("SELECT id FROM tf_affiliates"))
        ids << row[0];
    EXPECT_EQ(Hours(ids.join(',')), both);
    ids.removeOne(b);
    ids << "999999";
    EXPECT_EQ(Hours(ids.join(',')), Rec({"2026-01-01 10:00:00", "2", "2", "10", "8"}) + "OK");
    EXPECT_GE(Count("tf_hourly_sums"), 4); // 10:00 to 12:00 and the lock
    EXPECT_EQ(Hours("all", "2026-01-01 11:00:00"), Rec({"2026-01-01 12:00:00", "0", "0", "3", "2"}) + "OK");
    EXPECT_EQ(Hours(a), Rec({"2026-01-01 10:00:00", "2", "2", "10", "8"}) + "OK");
    // Deleting a sale or an affiliate changes the summed hours too.
    EXPECT_EQ(Body("5", {{"deleteids", sale}}), "OK");
    EXPECT_EQ(Hours("all", "", "2026-01-01 11:00:00"),
              Rec({"2026-01-01 10:00:00", "1", "3", "15", "13"}) + "OK");
    EXPECT_EQ(Body("2", {{"deleteids", b}}), "OK");
    EXPECT_EQ(Hours(a), Rec({"2026-01-01 10:00:00", "1", "2", "10", "8"}) + "OK");
    EXPECT_EQ(Hours("all"), Rec({"2026-01-01 10:00:00", "1", "2", "10", "8"}) + "OK");
    EXPECT_EQ(Body("5", {{"deleteids", "all"}}), "OK");
    EXPECT_EQ(Hours("all"), Rec({"2026-01-01 10:00:00", "0", "2", "10", "8"}) + "OK");
}

INSTANTIATE_TEST_SUITE_P(Db, History, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb), SiteDbParamName);

} // namespace
