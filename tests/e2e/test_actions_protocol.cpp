// The reference actions.php over HTTP on both databases: each action, the
// exact reply bytes, and what it refuses.
#include "SiteFixture.h"
#include "tracking/TrackingProtocol.h"

#include <gtest/gtest.h>

using namespace tftest;

namespace
{

class Actions : public TSiteTest
{
};

TEST_P(Actions, CheckServerAndEmptyListsAnswerBareOK)
{
    const THttpReply check = Send("1");
    EXPECT_TRUE(check.Arrived) << check.Error.toStdString();
    EXPECT_EQ(check.Status, 200);
    EXPECT_EQ(check.Body, "OK");
    EXPECT_EQ(Body("3"), "OK");
    EXPECT_EQ(Body("4", {{"querytype", "3"}, {"reftype", ""}}), "OK");
}

TEST_P(Actions, PlainGetBeforeAddSucceedsAndChangesNothing)
{
    const THttpReply get = Http.Get(Site->ActionsUrl());
    EXPECT_EQ(get.Status, 200);
    EXPECT_FALSE(get.Body.contains("OK"));
    EXPECT_EQ(Count("tf_affiliates"), 0);
}

TEST_P(Actions, AffiliateListCarriesFieldsInWireOrder)
{
    const QByteArray ann = Add("Ann Baker", "annb");
    const QByteArray bob = Add("Bob", "bob7");
    // Distinct counters so that a swapped column shows.
    ASSERT_TRUE(Site->Exec("UPDATE tf_affiliates SET oto_sales = 3, subscribers = 41, visitors = 310, "
                           "unique_hits = 188 WHERE id = ?",
                           {ann}));
    EXPECT_EQ(Body("3"), Rec({ann, "Ann Baker", "annb", "3", "41", "310", "188"}) +
                             Rec({bob, "Bob", "bob7", "0", "0", "0", "0"}) + "OK");
}

TEST_P(Actions, AddTrimsBlanksAndControlCharactersLikeTheClient)
{
    const QByteArray id = Add("  Carla Diaz \t", "\x01 carla ");
    EXPECT_EQ(Body("7", {{"affcod", id}}), Rec({id, "Carla Diaz", "carla", "0", "0", "0", "0"}) + "OK");
}

TEST_P(Actions, AddRefusesWhatTheReplyGrammarCannotCarry)
{
    const QList<QByteArray> bad = {"a,b", "a^b", "a\"b", "a\nb", "a\rb", "ends with break\n",
                                   "",    "   ", "\t"};
    for (const QByteArray& value : bad) {
        const QByteArray asName = Body("6", {{"affname", value}, {"afflinkid", "ok1"}});
        const QByteArray asLink = Body("6", {{"affname", "Fine"}, {"afflinkid", value}});
        EXPECT_NE(asName, "OK") << "name " << value.toStdString();
        EXPECT_NE(asName, "EXIST RECORD");
        EXPECT_NE(asLink, "OK") << "link id " << value.toStdString();
        EXPECT_NE(asLink, "EXIST RECORD");
    }
    EXPECT_EQ(Count("tf_affiliates"), 0);
    // The columns' sizes are limits, not places to cut.
    EXPECT_NE(Body("6", {{"affname", QByteArray(256, 'n')}, {"afflinkid", "long1"}}), "OK");
    EXPECT_NE(Body("6", {{"affname", "Long"}, {"afflinkid", QByteArray(101, 'l')}}), "OK");
    EXPECT_EQ(Count("tf_affiliates"), 0);
    EXPECT_FALSE(Add(QByteArray(255, 'n'), QByteArray(100, 'l')).isEmpty());
}

TEST_P(Actions, LinkIdIsUniqueAndComparedExactly)
{
    Add("Ann", "annb");
    EXPECT_EQ(Body("6", {{"affname", "Other Ann"}, {"afflinkid", "annb"}}), "EXIST RECORD");
    // The client trims, and so does the script: the same id with blanks is taken too.
    EXPECT_EQ(Body("6", {{"affname", "Other Ann"}, {"afflinkid", " annb "}}), "EXIST RECORD");
    EXPECT_EQ(Count("tf_affiliates"), 1);
    // Link ids are matched on the site as typed, letter case included.
    EXPECT_EQ(Body("6", {{"affname", "Upper Ann"}, {"afflinkid", "ANNB"}}), "OK");
    EXPECT_EQ(Count("tf_affiliates"), 2);
}

TEST_P(Actions, GetAffiliateGivesOneRecordOrBareOK)
{
    const QByteArray id = Add("Dana", "dana");
    EXPECT_EQ(Body("7", {{"affcod", id}}), Rec({id, "Dana", "dana", "0", "0", "0", "0"}) + "OK");
    EXPECT_EQ(Body("7", {{"affcod", QByteArray::number(id.toLongLong() + 1000)}}), "OK");
    EXPECT_FALSE(Body("7", {{"affcod", id + " OR 1=1"}}).contains("dana"));
}

TEST_P(Actions, EditChangesOneRecordAndNamesItsRejections)
{
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray bob = Add("Bob", "bob7");
    EXPECT_EQ(Body("8", {{"affcod", ann}, {"affname", "Ann Baker"}, {"afflinkid", "annb"}}), "OK");
    EXPECT_EQ(Body("8", {{"affcod", ann}, {"affname", "Ann Baker"}, {"afflinkid", "bob7"}}), "EXIST RECORD");
    EXPECT_EQ(Body("8", {{"affcod", "999999"}, {"affname", "Ghost"}, {"afflinkid", "ghost"}}),
              "DON'T EXIST RECORD");
    EXPECT_EQ(Body("8", {{"affcod", ann}, {"affname", "Ann, Baker"}, {"afflinkid", "annb"}}).contains("OK"),
              false);
    EXPECT_EQ(Body("8", {{"affcod", bob}, {"affname", "Bob"}, {"afflinkid", "bo\"b"}}).contains("OK"), false);
    EXPECT_EQ(Body("8", {{"affcod", bob}, {"affname", " Robert "}, {"afflinkid", "rob"}}), "OK");
    EXPECT_EQ(Body("3"), Rec({ann, "Ann Baker", "annb", "0", "0", "0", "0"}) +
                             Rec({bob, "Robert", "rob", "0", "0", "0", "0"}) + "OK");
}

TEST_P(Actions, DeleteAffiliatesByIdsOrAllKeepsTheirSales)
{
    const QByteArray a = Add("A", "a1");
    const QByteArray b = Add("B", "b1");
    const QByteArray c = Add("C", "c1");
    const QByteArray sale = AddSale(a, "ORD-1");
    EXPECT_EQ(Body("2", {{"deleteids", a + "," + c}}), "OK");
    EXPECT_EQ(Body("3"), Rec({b, "B", "b1", "0", "0", "0", "0"}) + "OK");
    // The sale stays, now as one without an affiliate.
    EXPECT_EQ(Body("4", {{"querytype", "2"}, {"reftype", ""}}), Rec({sale, "", "ORD-1"}) + "OK");

    // Ids that are gone already are no error.
    EXPECT_EQ(Body("2", {{"deleteids", a}}), "OK");
    EXPECT_EQ(Count("tf_affiliates"), 1);

    EXPECT_EQ(Body("2", {{"deleteids", "all"}}), "OK");
    EXPECT_EQ(Body("3"), "OK");
    EXPECT_EQ(Count("tf_sales"), 1);
}

TEST_P(Actions, DeleteRefusesMalformedIdLists)
{
    const QByteArray a = Add("A", "a1");
    for (const QByteArray& ids :
         QList<QByteArray>{"", a + ", " + a, a + ",", "0 OR 1=1", "ALL", "1;2", "-1"}) {
        EXPECT_NE(Body("2", {{"deleteids", ids}}), "OK") << ids.toStdString();
        EXPECT_NE(Body("5", {{"deleteids", ids}}), "OK") << ids.toStdString();
    }
    EXPECT_EQ(Count("tf_affiliates"), 1);
}

TEST_P(Actions, SalesByQueryType)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray b = Add("Bob", "bob7");
    const QByteArray s1 = AddSale(a, "ORD-1");
    const QByteArray s2 = AddSale("", "ORD-2");
    const QByteArray s3 = AddSale(b, "ORD-3");
    const QByteArray s4 = AddSale(a, "");
    const QByteArray r1 = Rec({s1, "Ann", "ORD-1"});
    const QByteArray r2 = Rec({s2, "", "ORD-2"});
    const QByteArray r3 = Rec({s3, "Bob", "ORD-3"});
    const QByteArray r4 = Rec({s4, "Ann", ""});
    auto sales = [&](const QByteArray& type, const QByteArray& ref) {
        return Body("4", {{"querytype", type}, {"reftype", ref}});
    };
    EXPECT_EQ(sales("0", a), r1 + r4 + "OK");
    EXPECT_EQ(sales("0", b + "," + a), r1 + r3 + r4 + "OK");
    EXPECT_EQ(sales("0", ""), "OK");
    EXPECT_EQ(sales("1", a), r1 + r3 + r4 + "OK");
    EXPECT_EQ(sales("2", a), r2 + "OK");
    EXPECT_EQ(sales("3", ""), r1 + r2 + r3 + r4 + "OK");
    for (const QByteArray& type : QList<QByteArray>{"4", "01", "", "-1"})
        EXPECT_FALSE(sales(type, "").contains("OK")) << type.toStdString();
}

TEST_P(Actions, DeleteSalesByIdsOrAll)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray s1 = AddSale(a, "ORD-1");
    const QByteArray s2 = AddSale("", "ORD-2");
    AddSale(a, "ORD-3");
    EXPECT_EQ(Body("5", {{"deleteids", s1 + "," + s2 + ",999999"}}), "OK");
    EXPECT_EQ(Count("tf_sales"), 1);
    EXPECT_EQ(Body("5", {{"deleteids", "all"}}), "OK");
    EXPECT_EQ(Count("tf_sales"), 0);
    EXPECT_EQ(Count("tf_affiliates"), 1);
}

TEST_P(Actions, InjectionLookingValuesAreStoredLiterally)
{
    const QByteArray name = "Robert'); DROP TABLE tf_affiliates; --";
    const QByteArray link = "x' OR '1'='1";
    const QByteArray victim = Add("Victim", "victim");
    const QByteArray id = Add(name, link);
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(Body("1"), "OK");
    EXPECT_EQ(Body("7", {{"affcod", id}}), Rec({id, name, link, "0", "0", "0", "0"}) + "OK");
    // A link id that would match every row in a spliced query matches none.
    EXPECT_EQ(Body("8", {{"affcod", id}, {"affname", "N"}, {"afflinkid", "' OR ''='"}}), "OK");
    EXPECT_EQ(Body("7", {{"affcod", victim}}), Rec({victim, "Victim", "victim", "0", "0", "0", "0"}) + "OK");
    EXPECT_EQ(Body("6", {{"affname", "Z"}, {"afflinkid", "' OR ''='"}}), "EXIST RECORD");
    EXPECT_NE(Body("8", {{"affcod", victim + " OR 1=1"}, {"affname", "All"}, {"afflinkid", "all1"}}), "OK");
    EXPECT_EQ(Count("tf_affiliates"), 2);
}

TEST_P(Actions, EightBitTextRoundTripsByteForByte)
{
    const QByteArray name = "Zo\xc3\xab \xc3\x86r\xc3\xb8 \xe2\x82\xac";
    const QByteArray id = Add(name, "zoe\xc3\xab");
    EXPECT_EQ(Body("3"), Rec({id, name, "zoe\xc3\xab", "0", "0", "0", "0"}) + "OK");
}

TEST_P(Actions, SeparatorsWrittenByOtherScriptsAreBlankedInReplies)
{
    const QByteArray a = Add("Ann", "annb");
    const QByteArray s = AddSale(a, "ORD,7^\"x\"\r\nend");
    EXPECT_EQ(Body("4", {{"querytype", "3"}, {"reftype", ""}}), Rec({s, "Ann", "ORD 7  x   end"}) + "OK");
}

TEST_P(Actions, ExtensionsAreOneRecordTheProgramReads)
{
    const QStringList names = TrackingProtocol::DecodeExtensions(QString::fromLatin1(Body("20")));
    for (const QString& name : names)
        EXPECT_TRUE(QStringList({"history", "changes"}).contains(name)) << name.toStdString();
    EXPECT_TRUE(Body("20").endsWith("\"^OK")) << Body("20").constData();
}

TEST_P(Actions, UnknownOrMissingActionNeverAnswersOK)
{
    EXPECT_FALSE(Body("9").contains("OK"));
    EXPECT_FALSE(Body("").contains("OK"));
    EXPECT_FALSE(Body(" 1").contains("OK"));
    const THttpReply noAction = Http.Post(Site->ActionsUrl(), {{"end", ""}});
    EXPECT_EQ(noAction.Status, 200);
    EXPECT_FALSE(noAction.Body.contains("OK"));
}

INSTANTIATE_TEST_SUITE_P(Db, Actions, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb), SiteDbParamName);

} // namespace
