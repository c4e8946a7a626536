// The eight tracking requests against a real local peer: the exact fields
// each one posts, the address it posts to, and what it makes of the reply.
#include "HttpPeer.h"
#include "net/HttpClient.h"
#include "tracking/TrackingClient.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace TrackingProtocol;
using tftest::FormPairs;
using tftest::THttpAnswer;
using tftest::THttpPeer;
using tftest::THttpRequest;

namespace
{

using TWirePairs = QList<QPair<QByteArray, QByteArray>>;

class TrackingClientTest : public ::testing::Test
{
protected:
    THttpPeer Peer;
    THttpClient Http;
    QString Site = Peer.Url(QStringLiteral("/ev"));
    TTrackingClient Tracking{Http, [this] { return Site; }};

    void Answer(const QByteArray& Body) { Peer.Queue(THttpAnswer::Text(Body)); }
    const THttpRequest& Last() const { return Peer.Requests().last(); }
    void ExpectPost(const THttpRequest& r, const TWirePairs& fields) const
    {
        EXPECT_EQ(r.Method, "POST");
        EXPECT_EQ(r.Target, "/ev/actions.php");
        EXPECT_EQ(FormPairs(r), fields);
    }
};

} // namespace

TEST_F(TrackingClientTest, CheckServerPostsActionOneAndNeedsExactOk)
{
    EXPECT_EQ(Http.ReadTimeout(), 0);
    Answer("OK");
    EXPECT_TRUE(Tracking.CheckServer());
    EXPECT_EQ(Http.ReadTimeout(), 60000);
    ASSERT_EQ(Peer.Requests().size(), 1);
    ExpectPost(Last(), {{"action", "1"}, {"end", ""}});

    Answer("OK\r\n");
    EXPECT_FALSE(Tracking.CheckServer());
    Answer("ok");
    EXPECT_FALSE(Tracking.CheckServer());
    Peer.Queue(THttpAnswer::Text("OK", 500)); // an error page is a failure whatever it says
    EXPECT_FALSE(Tracking.CheckServer());
}

TEST_F(TrackingClientTest, TimeoutSetByTrackingStays)
{
    Answer("OK");
    ASSERT_TRUE(Tracking.CheckServer());
    Peer.Queue(THttpAnswer::Text("news"));
    QByteArray body;
    ASSERT_TRUE(Http.Get(Peer.Url(QStringLiteral("/news")), body));
    EXPECT_EQ(Http.ReadTimeout(), 60000);
}

TEST_F(TrackingClientTest, AChangedTimeOutIsTheOneEveryRequestSets)
{
    Tracking.SetReadTimeout(800);
    Http.SetReadTimeout(5);
    Answer("OK");
    ASSERT_TRUE(Tracking.CheckServer());
    EXPECT_EQ(Http.ReadTimeout(), 800);

    // The adding touch sets it too, and a hanging site is left after it.
    THttpAnswer hang;
    hang.Hang = true;
    Peer.Queue(hang);
    Http.SetReadTimeout(0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(Tracking.AddAffiliate(QStringLiteral("Ann"), QStringLiteral("a1")), srFailed);
    EXPECT_GE(clock.elapsed(), 700);
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(Peer.Requests().size(), 2); // no form after the failed touch
}

TEST_F(TrackingClientTest, AddressFollowsTheSettingAtEachRequest)
{
    Site += QLatin1Char('/');
    Answer("OK");
    EXPECT_TRUE(Tracking.CheckServer());
    EXPECT_EQ(Last().Target, "/ev//actions.php");

    THttpPeer moved;
    moved.Queue(THttpAnswer::Text("OK"));
    Site = moved.Url(QStringLiteral("/new"));
    EXPECT_TRUE(Tracking.CheckServer());
    ASSERT_EQ(moved.Requests().size(), 1);
    EXPECT_EQ(moved.Requests()[0].Target, "/new/actions.php");
    EXPECT_EQ(Peer.Requests().size(), 1);
}

TEST_F(TrackingClientTest, DeletionsSendIdsAndNeedExactOk)
{
    Answer("OK");
    EXPECT_TRUE(Tracking.DeleteAffiliates(QStringLiteral("5,9")));
    ExpectPost(Last(), {{"action", "2"}, {"deleteids", "5,9"}, {"end", ""}});
    Answer("OK ");
    EXPECT_FALSE(Tracking.DeleteAffiliates(QStringLiteral("all")));
    ExpectPost(Last(), {{"action", "2"}, {"deleteids", "all"}, {"end", ""}});

    Answer("OK");
    EXPECT_TRUE(Tracking.DeleteSales(QStringLiteral("all")));
    ExpectPost(Last(), {{"action", "5"}, {"deleteids", "all"}, {"end", ""}});
    Answer("NOTHING");
    EXPECT_FALSE(Tracking.DeleteSales(QStringLiteral("3")));
}

TEST_F(TrackingClientTest, LoadAffiliatesDecodesTheList)
{
    Answer("\"11\",\"Ann\",\"ann1\",\"3\",\"40\",\"500\",\"60\"^\"12\",\"Bob\",\"bob\",\"0\",\"1\",\"2\","
           "\"\"^OK");
    const TListReply r = Tracking.LoadAffiliates();
    ExpectPost(Last(), {{"action", "3"}, {"end", ""}});
    EXPECT_EQ(r.Outcome, TListOutcome::Decoded);
    ASSERT_EQ(r.Rows.RowCount(), 2);
    EXPECT_EQ(r.Rows.Row(0), (QStringList{"\"11", "Ann", "ann1", "3", "40", "500", "60\""}));
    EXPECT_EQ(r.Rows.FieldText(1, 1), QStringLiteral("Bob"));

    Answer("OK");
    EXPECT_EQ(Tracking.LoadAffiliates().Outcome, TListOutcome::OkOnly);
    Answer("\"11\",\"Ann\"^OK");
    EXPECT_EQ(Tracking.LoadAffiliates().Outcome, TListOutcome::Malformed);
}

TEST_F(TrackingClientTest, LoadSalesSendsQueryTypeAndIdsEvenWhenEmpty)
{
    Answer("\"1\",\"Ann\",\"ORD-1\"^OK");
    const TListReply r = Tracking.LoadSales(0, QStringLiteral("11,12"));
    ExpectPost(Last(), {{"action", "4"}, {"querytype", "0"}, {"reftype", "11,12"}, {"end", ""}});
    ASSERT_EQ(r.Rows.RowCount(), 1);
    EXPECT_EQ(r.Rows.Row(0), (QStringList{"\"1", "Ann", "ORD-1\""}));

    Answer("OK");
    EXPECT_TRUE(Tracking.LoadSales(3, QString()).Succeeded());
    ExpectPost(Last(), {{"action", "4"}, {"querytype", "3"}, {"reftype", ""}, {"end", ""}});
}

TEST_F(TrackingClientTest, AddAffiliateGetsThenPostsTrimmedFields)
{
    Answer("the script's own page");
    Answer("OK");
    EXPECT_EQ(Tracking.AddAffiliate(QStringLiteral("  Ann Shop\t"), QStringLiteral(" ann1\r\n")), srSaved);
    ASSERT_EQ(Peer.Requests().size(), 2);
    const THttpRequest& get = Peer.Requests()[0];
    EXPECT_EQ(get.Method, "GET");
    EXPECT_EQ(get.Target, "/ev/actions.php");
    EXPECT_TRUE(get.Body.isEmpty());
    ExpectPost(Peer.Requests()[1],
               {{"action", "6"}, {"affname", "Ann Shop"}, {"afflinkid", "ann1"}, {"end", ""}});

    Answer("");
    Answer("EXIST RECORD");
    EXPECT_EQ(Tracking.AddAffiliate(QStringLiteral("Ann"), QStringLiteral("ann1")), srRejected);
    Answer("");
    Answer("DON'T EXIST RECORD");
    EXPECT_EQ(Tracking.AddAffiliate(QStringLiteral("Ann"), QStringLiteral("ann1")), srFailed);
}

TEST_F(TrackingClientTest, FailedGetMeansNoPost)
{
    // A script that fails the plain fetch but would accept the post.
    Peer.SetHandler([](const THttpRequest& r) {
        return r.Method == "GET" ? THttpAnswer::Text("broken", 500) : THttpAnswer::Text("OK");
    });
    EXPECT_EQ(Tracking.AddAffiliate(QStringLiteral("Ann"), QStringLiteral("ann1")), srFailed);
    ASSERT_EQ(Peer.Requests().size(), 1);
    EXPECT_EQ(Peer.Requests()[0].Method, "GET");
    EXPECT_EQ(Tracking.EditAffiliate(QStringLiteral("11"), QStringLiteral("Ann"), QStringLiteral("a")),
              srFailed);
    EXPECT_EQ(Peer.Requests().size(), 2);
}

TEST_F(TrackingClientTest, EditAffiliateResults)
{
    Answer("");
    Answer("OK");
    EXPECT_EQ(Tracking.EditAffiliate(QStringLiteral(" 11"), QStringLiteral(" Ann "), QStringLiteral("ann2 ")),
              srSaved);
    ASSERT_EQ(Peer.Requests().size(), 2);
    EXPECT_EQ(Peer.Requests()[0].Method, "GET");
    ExpectPost(Last(),
               {{"action", "8"}, {"affcod", " 11"}, {"affname", "Ann"}, {"afflinkid", "ann2"}, {"end", ""}});

    Answer("");
    Answer("DON'T EXIST RECORD");
    EXPECT_EQ(Tracking.EditAffiliate(QStringLiteral("11"), QStringLiteral("Ann"), QStringLiteral("a")),
              srRejected);
    Answer("");
    Answer("EXIST RECORD");
    EXPECT_EQ(Tracking.EditAffiliate(QStringLiteral("11"), QStringLiteral("Ann"), QStringLiteral("a")),
              srFailed);
}

TEST_F(TrackingClientTest, GetAffiliateReturnsTheRecordText)
{
    Answer("\"11\",\"Ann\",\"ann1\",\"3\",\"40\",\"500\",\"60\"^OK");
    QString text;
    EXPECT_TRUE(Tracking.GetAffiliate(QStringLiteral("11"), text));
    ExpectPost(Last(), {{"action", "7"}, {"affcod", "11"}, {"end", ""}});
    EXPECT_EQ(text, QStringLiteral("\"11\",\"Ann\",\"ann1\",\"3\",\"40\",\"500\",\"60\""));
    EXPECT_EQ(RecordFields(text).value(1), QStringLiteral("Ann"));

    Answer("OK");
    EXPECT_FALSE(Tracking.GetAffiliate(QStringLiteral("99"), text));
}

TEST_F(TrackingClientTest, TextTravelsInTheLocalCodePage)
{
    const QString name = QStringLiteral("Caf\u00e9");
    Answer("");
    Answer("OK");
    ASSERT_EQ(Tracking.AddAffiliate(name, QStringLiteral("cafe")), srSaved);
    EXPECT_EQ(FormPairs(Last()).value(1).second, name.toLocal8Bit());

    Answer(QString(QStringLiteral("\"1\",\"%1\",\"ORD\"^OK")).arg(name).toLocal8Bit());
    const TListReply r = Tracking.LoadSales(1, QString());
    ASSERT_EQ(r.Rows.RowCount(), 1);
    EXPECT_EQ(r.Rows.FieldText(0, 1), name);
}

TEST(TrackingClientDown, EveryOperationFailsWithoutAServer)
{
    QString site;
    {
        THttpPeer gone;
        site = gone.Url(QStringLiteral("/ev"));
    }
    THttpClient http;
    TTrackingClient tracking(http, [&] { return site; });
    EXPECT_FALSE(tracking.CheckServer());
    EXPECT_FALSE(tracking.DeleteAffiliates(QStringLiteral("1")));
    EXPECT_EQ(tracking.LoadAffiliates().Outcome, TListOutcome::NoOk);
    EXPECT_EQ(tracking.LoadSales(0, QString()).Outcome, TListOutcome::NoOk);
    EXPECT_FALSE(tracking.DeleteSales(QStringLiteral("all")));
    EXPECT_EQ(tracking.AddAffiliate(QStringLiteral("a"), QStringLiteral("b")), srFailed);
    QString text;
    EXPECT_FALSE(tracking.GetAffiliate(QStringLiteral("1"), text));
    EXPECT_EQ(tracking.EditAffiliate(QStringLiteral("1"), QStringLiteral("a"), QStringLiteral("b")),
              srFailed);

    site.clear(); // no host at all
    EXPECT_FALSE(tracking.CheckServer());
}

TEST(TrackingClientTls, HttpsSiteWorksOnlyWhenTrusted)
{
    THttpPeer peer(THttpPeer::Tls);
    peer.SetHandler([](const THttpRequest&) { return THttpAnswer::Text("OK"); });
    const QString site = peer.Url(QStringLiteral("/ev"));
    THttpClient http;
    TTrackingClient tracking(http, [&] { return site; });
    EXPECT_FALSE(tracking.CheckServer());
    http.AddTrustedCertificates(THttpPeer::TestCa());
    EXPECT_TRUE(tracking.CheckServer());
    EXPECT_EQ(FormPairs(peer.Requests().last()), (TWirePairs{{"action", "1"}, {"end", ""}}));
}

TEST_F(TrackingClientTest, NoRequestStartsWhileAnotherIsPending)
{
    THttpAnswer slow = THttpAnswer::Text("news");
    slow.DelayMs = 300;
    Peer.Queue(slow);
    bool checked = true;
    QTimer::singleShot(50, [&] { checked = Tracking.CheckServer(); });
    QByteArray body;
    EXPECT_TRUE(Http.Get(Peer.Url(QStringLiteral("/news")), body));
    EXPECT_FALSE(checked);
    EXPECT_EQ(Peer.Requests().size(), 1);
}
