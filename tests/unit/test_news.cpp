// The news service requests and replies, and the last-read id kept in the
// brand text.
#include "PeakMemory.h"
#include "brand/BrandText.h"
#include "brand/LastNewsId.h"
#include "vendor/NewsProtocol.h"

#include <gtest/gtest.h>

namespace
{
const QByteArray AF(1, char(0xAF));

TBrandRecord AllTiers(const QString& Type)
{
    TBrandRecord R;
    R.BranderType = Type;
    R.BranderCode = QStringLiteral("PC");
    R.MasterNewsBaseURL = QStringLiteral("http://m.example/news");
    R.PlatinumNewsBaseURL = QStringLiteral("http://p.example/news/");
    R.GoldNewsBaseURL = QStringLiteral("http://g.example");
    R.MasterPublID = QStringLiteral("pm");
    R.PlatinumPublID = QStringLiteral("pp");
    R.GoldPublID = QStringLiteral("pg");
    return R;
}
} // namespace

TEST(NewsRequest, UrlNeverHasADoubledSlash)
{
    EXPECT_EQ(NewsScriptURL("http://n.example/svc", LastNewsScript), "http://n.example/svc/getlastnews.php");
    EXPECT_EQ(NewsScriptURL("http://n.example/svc/", LastNewsScript), "http://n.example/svc/getlastnews.php");
    EXPECT_EQ(NewsScriptURL("http://n.example/svc/", NewsDetailsScript),
              "http://n.example/svc/getnewsdetails.php");
    EXPECT_TRUE(NewsScriptURL("", LastNewsScript).isEmpty());
}

TEST(NewsRequest, TierNeedsExactNameAndPublisherId)
{
    const auto master = SelectNewsTier(AllTiers("Master"));
    ASSERT_TRUE(master.has_value());
    EXPECT_EQ(master->Code, "BM");
    EXPECT_EQ(master->PublID, "pm");
    EXPECT_EQ(master->BaseURL, "http://m.example/news");
    EXPECT_EQ(SelectNewsTier(AllTiers("Platinum"))->Code, "BP");
    EXPECT_EQ(SelectNewsTier(AllTiers("Platinum"))->BaseURL, "http://p.example/news/");
    EXPECT_EQ(SelectNewsTier(AllTiers("Gold"))->Code, "BG");
    EXPECT_EQ(SelectNewsTier(AllTiers("Gold"))->PublID, "pg");
    EXPECT_FALSE(SelectNewsTier(AllTiers("Free")).has_value());
    EXPECT_FALSE(SelectNewsTier(AllTiers("master")).has_value());
    EXPECT_FALSE(SelectNewsTier(AllTiers("")).has_value());

    TBrandRecord noId = AllTiers("Gold");
    noId.GoldPublID.clear();
    EXPECT_FALSE(SelectNewsTier(noId).has_value());
    // The base address is not looked at: an empty one fails when posted.
    TBrandRecord noBase = AllTiers("Gold");
    noBase.GoldNewsBaseURL.clear();
    ASSERT_TRUE(SelectNewsTier(noBase).has_value());
    EXPECT_TRUE(SelectNewsTier(noBase)->BaseURL.isEmpty());

    const TBrandRecord R = AllTiers("Master");
    EXPECT_EQ(NewsBaseURLForCode(R, "BM"), R.MasterNewsBaseURL);
    EXPECT_EQ(NewsBaseURLForCode(R, "BP"), R.PlatinumNewsBaseURL);
    EXPECT_EQ(NewsBaseURLForCode(R, "BG"), R.GoldNewsBaseURL);
    EXPECT_TRUE(NewsBaseURLForCode(R, "bm").isEmpty());
    EXPECT_TRUE(NewsBaseURLForCode(R, "BF").isEmpty());
}

TEST(NewsRequest, FormFieldsInWireOrder)
{
    const TFormFields last = LastNewsFields("pub", "code", "BP", ContTypeLastCode, NewsTargetUA);
    const TFormFields wantLast = {{"memusername", "pub"},   {"prodcode", "code"}, {"prodtype", "BP"},
                                  {"conttype", "lastcode"}, {"newstarget", "UA"}, {"something", ""}};
    EXPECT_EQ(last, wantLast);
    EXPECT_EQ(LastNewsFields("pub", "code", "BM", ContTypeAll, NewsTargetUA)[3].second, "all");

    const TFormFields details = NewsDetailsFields("pub", "code", "BG", NewsTargetUA, "7");
    const TFormFields wantDetails = {{"memusername", "pub"}, {"prodcode", "code"}, {"prodtype", "BG"},
                                     {"newsid", "7"},        {"newstarget", "UA"}, {"something", ""}};
    EXPECT_EQ(details, wantDetails);
}

TEST(NewsReply, TrimmingAndTheSuccessTest)
{
    EXPECT_EQ(TrimNewsReply("\r\n \t12^T" + AF + "OK\r\n\x01"), "12^T" + AF + "OK");
    EXPECT_TRUE(IsNewsSuccess("OK"));
    EXPECT_TRUE(IsNewsSuccess("BOOKS"));
    EXPECT_FALSE(IsNewsSuccess("ok"));
    EXPECT_FALSE(IsNewsSuccess("INVALIDUSER"));
    EXPECT_FALSE(IsNewsSuccess(""));
}

TEST(NewsReply, LastNewsGivesIdAndTitle)
{
    const TLastNews n = ParseLastNewsReply(TrimNewsReply("12^Spring sale" + AF + "OK\r\n"));
    EXPECT_TRUE(n.HasId);
    EXPECT_EQ(n.Id, "12");
    EXPECT_EQ(n.Title, "Spring sale");

    EXPECT_FALSE(ParseLastNewsReply("OK").HasId);
    // Further fields are ignored.
    EXPECT_EQ(ParseLastNewsReply("3^T^extra" + AF + "OK").Title, "T");
}

TEST(NewsReply, ShortLastNewsRepliesReadAsFarAsTheyGo)
{
    const TLastNews noTitle = ParseLastNewsReply("12" + AF + "OK");
    EXPECT_TRUE(noTitle.HasId);
    EXPECT_EQ(noTitle.Id, "12");
    EXPECT_TRUE(noTitle.Title.isEmpty());

    const TLastNews nothing = ParseLastNewsReply(AF + "OK");
    EXPECT_FALSE(nothing.HasId);
    EXPECT_TRUE(nothing.Title.isEmpty());

    const TLastNews noId = ParseLastNewsReply("^Title only" + AF + "OK");
    EXPECT_FALSE(noId.HasId);
    EXPECT_EQ(noId.Title, "Title only");
}

TEST(NewsReply, ListSkipsEmptyPiecesAndTheOkToken)
{
    const QByteArray reply = "5^First^2024-01-02" + AF + "6^Second^2024-02-03" + AF + AF + "OK";
    EXPECT_EQ(ParseNewsListReply(TrimNewsReply(reply)),
              (TNewsList{"5^First^2024-01-02", "6^Second^2024-02-03"}));
    EXPECT_TRUE(ParseNewsListReply("OK").isEmpty());
    // "OK" inside a word makes a success, and the reply is one item.
    EXPECT_EQ(ParseNewsListReply("BOOKS^x^y"), TNewsList{"BOOKS^x^y"});
    // "OK" first, items after it: order as received.
    EXPECT_EQ(ParseNewsListReply("OK" + AF + "1^a^b"), TNewsList{"1^a^b"});
}

TEST(NewsReply, ListEntriesSplitIntoItems)
{
    const TNewsItem full = SplitNewsItem("7^Title^Jan 5");
    EXPECT_EQ(full.Id, "7");
    EXPECT_EQ(full.Title, "Title");
    EXPECT_EQ(full.Published, "Jan 5");
    const TNewsItem shortItem = SplitNewsItem("7^Title");
    EXPECT_EQ(shortItem.Title, "Title");
    EXPECT_TRUE(shortItem.Published.isEmpty());
    const TNewsItem garbage = SplitNewsItem("garbage");
    EXPECT_EQ(garbage.Id, "garbage");
    EXPECT_TRUE(garbage.Title.isEmpty());
}

TEST(NewsReply, DetailsBodyIsDecoded)
{
    EXPECT_EQ(ParseNewsDetailsReply("$3Cb$3eHi$20there$3c/b$3E" + AF + "OK"), "<b>Hi there</b>");
    EXPECT_EQ(ParseNewsDetailsReply("end$A" + AF + "OK"), QByteArray("end\x0A"));
    EXPECT_TRUE(ParseNewsDetailsReply("fine$zzbroken" + AF + "OK").isEmpty());
    EXPECT_EQ(ParseNewsDetailsReply("OK"), "OK"); // without the 0xAF it is not a terminator
}

TEST(NewsReply, FailureMessagesByRequest)
{
    const QString access = "There is a trouble accessing the news site. Contact your provider.";
    for (TNewsRequest r : {TNewsRequest::LastNews, TNewsRequest::NewsList, TNewsRequest::NewsDetails}) {
        EXPECT_EQ(NewsFailureMessage("", r), access);
        EXPECT_EQ(NewsFailureMessage("CONNECTIONFAIL", r),
                  "There is a trouble in the settings file on the news site.");
        EXPECT_EQ(NewsFailureMessage("INVALIDUSER", r),
                  "There is a trouble with the Publisher Id. Contact your provider.");
        EXPECT_EQ(NewsFailureMessage("INVALIDPRODUCT", r),
                  "There is a trouble with the product validation. Contact your provider.");
        EXPECT_TRUE(NewsFailureMessage("INVALIDUSER2", r).isEmpty());
        EXPECT_TRUE(NewsFailureMessage("invaliduser", r).isEmpty());
    }
    EXPECT_EQ(NewsFailureMessage("INVALIDNEWS", TNewsRequest::NewsDetails),
              "There is a trouble with this news. Contact your provider.");
    EXPECT_TRUE(NewsFailureMessage("INVALIDNEWS", TNewsRequest::NewsList).isEmpty());
    EXPECT_TRUE(NewsFailureMessage("INVALIDNEWS", TNewsRequest::LastNews).isEmpty());
}

TEST(NewsIds, ComparedAsSignedNumbers)
{
    EXPECT_TRUE(IsNewerNews("12", "11"));
    EXPECT_TRUE(IsNewerNews("12", ""));
    EXPECT_FALSE(IsNewerNews("12", "12"));
    EXPECT_FALSE(IsNewerNews("12", "15"));
    EXPECT_TRUE(IsNewerNews("1", "not a number"));
    EXPECT_FALSE(IsNewerNews("", "0"));
    EXPECT_TRUE(IsNewerNews("abc", "-1")); // 0 > -1
    EXPECT_FALSE(IsNewerNews("9", "10"));  // numbers, not text

    EXPECT_EQ(NewsIdValue("-5"), -5);
    EXPECT_EQ(NewsIdValue(" 42 "), 42);
    EXPECT_EQ(NewsIdValue("4000000000"), 4000000000LL);
    EXPECT_EQ(NewsIdValue("9223372036854775807"), 9223372036854775807LL);
    EXPECT_EQ(NewsIdValue("-9223372036854775808"), std::numeric_limits<qint64>::min());
    EXPECT_EQ(NewsIdValue("9223372036854775808"), 0);
    EXPECT_EQ(NewsIdValue("12x"), 0);
    EXPECT_EQ(NewsIdValue("1.5"), 0);
    EXPECT_EQ(NewsIdValue("-"), 0);
    EXPECT_EQ(NewsIdValue("0x10"), 0);
}

TEST(NewsIds, NoticeText)
{
    EXPECT_EQ(NewsNoticeText("Spring sale"), "You've Got A Message!\r\nSpring sale");
}

TEST(LastNewsId, ReadFromAnywhereInAnyCase)
{
    EXPECT_EQ(ReadLastNewsId("<%%ApplicationName%%>x<%%/ApplicationName%%>\r\n"
                             "<%%LastNewsId%%>17<%%/LastNewsId%%>\r\n"),
              "17");
    EXPECT_EQ(ReadLastNewsId("<%%lastnewsid%%>9<%%/LASTNEWSID%%>"), "9");
    EXPECT_TRUE(ReadLastNewsId("<%%ApplicationName%%>x<%%/ApplicationName%%>").isEmpty());
    EXPECT_TRUE(ReadLastNewsId("").isEmpty());
    EXPECT_TRUE(ReadLastNewsId("<%%LastNewsId%%>5 without an end").isEmpty());
}

TEST(LastNewsId, SaveAppendsThenReplaces)
{
    const QByteArray plain =
        "<%%ApplicationName%%>x<%%/ApplicationName%%>\n<%%BranderType%%>Gold<%%/BranderType%%>";
    const QByteArray once = ReplaceLastNewsId(plain, "12");
    EXPECT_EQ(once,
              "<%%ApplicationName%%>x<%%/ApplicationName%%>\r\n<%%BranderType%%>Gold<%%/BranderType%%>\r\n"
              "<%%LastNewsId%%>12<%%/LastNewsId%%>\r\n");
    const QByteArray twice = ReplaceLastNewsId(once, "7");
    EXPECT_EQ(twice,
              "<%%ApplicationName%%>x<%%/ApplicationName%%>\r\n<%%BranderType%%>Gold<%%/BranderType%%>\r\n"
              "<%%LastNewsId%%>7<%%/LastNewsId%%>\r\n");
    EXPECT_EQ(ReadLastNewsId(twice), "7");
    EXPECT_EQ(ReplaceLastNewsId("", "3"), "<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n");
}

TEST(LastNewsId, IdsThatWouldWriteTheirOwnElementsAreNotStored)
{
    EXPECT_TRUE(IsStorableNewsId(QStringLiteral("12")));
    EXPECT_TRUE(IsStorableNewsId(QStringLiteral("news-7 b")));
    EXPECT_TRUE(IsStorableNewsId(QString()));
    for (const char* id : {"1\r\n<%%Welcome1%%>x<%%/Welcome1%%>", "3<%%/LastNewsId%%>", "4\n", "5>", "6%"})
        EXPECT_FALSE(IsStorableNewsId(QString::fromLatin1(id))) << id;
}

TEST(LastNewsId, SaveKeepsWhatSharesTheLine)
{
    const QByteArray plain = "<%%AboutText%%>a<%%/AboutText%%> <%%LastNewsId%%>4<%%/LastNewsId%%> "
                             "<%%Welcome1%%>w<%%/Welcome1%%>\r\nnext line\r\n";
    const QByteArray saved = ReplaceLastNewsId(plain, "99");
    EXPECT_EQ(saved, "<%%AboutText%%>a<%%/AboutText%%> <%%LastNewsId%%>99<%%/LastNewsId%%> "
                     "<%%Welcome1%%>w<%%/Welcome1%%>\r\nnext line\r\n");
    QByteArray buffer = saved;
    EXPECT_EQ(ExtractTagValue("<%%AboutText%%>", "<%%/AboutText%%>", buffer), "a");
    EXPECT_EQ(ExtractTagValue("<%%Welcome1%%>", "<%%/Welcome1%%>", buffer), "w");
    EXPECT_EQ(ReadLastNewsId(saved), "99");
}

TEST(LastNewsId, SaveReplacesOnlyTheFirstElementAndAnyCase)
{
    const QByteArray lower = "<%%lastnewsid%%>4<%%/lastnewsid%%>\r\n";
    const QByteArray saved = ReplaceLastNewsId(lower, "8");
    EXPECT_EQ(saved, "<%%LastNewsId%%>8<%%/LastNewsId%%>\r\n");
    EXPECT_EQ(ReadLastNewsId(saved), "8");

    const QByteArray two = "<%%LastNewsId%%>1<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n";
    EXPECT_EQ(ReplaceLastNewsId(two, "5"),
              "<%%LastNewsId%%>5<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n");

    // An element whose end tag is missing from its line: the rest of the
    // line was its value.
    const QByteArray open = "keep <%%LastNewsId%%>3 broken\r\nafter\r\n";
    const QByteArray fixed = ReplaceLastNewsId(open, "6");
    EXPECT_EQ(fixed, "keep <%%LastNewsId%%>6<%%/LastNewsId%%>\r\nafter\r\n");
    EXPECT_EQ(ReadLastNewsId(fixed), "6");
}

TEST(NewsReply, RepliesOfSeparatorsTakeAtMostFourTimesTheirBytes)
{
    if (!tftest::PeaksAreMeaningful)
        GTEST_SKIP() << "peaks mean nothing under the sanitizers";
    constexpr qsizetype size = qsizetype(64) << 20;
    const QByteArray carets(size, '^');
    QByteArray marks(size, char(0xAF));
    marks.replace(size / 2, 2, "OK");
    qint64 growth = tftest::PeakGrowth([&] {
        const TLastNews last = ParseLastNewsReply(carets);
        EXPECT_FALSE(last.HasId);
        EXPECT_TRUE(last.Title.isEmpty());
    });
    EXPECT_LT(growth, 4 * size);
    growth = tftest::PeakGrowth([&] {
        const TNewsList list = ParseNewsListReply(carets);
        ASSERT_EQ(list.size(), 1);
        const TNewsItem item = SplitNewsItem(list[0]);
        EXPECT_TRUE(item.Id.isEmpty() && item.Title.isEmpty() && item.Published.isEmpty());
    });
    EXPECT_LT(growth, 4 * size);
    growth = tftest::PeakGrowth([&] { EXPECT_TRUE(ParseNewsListReply(marks).isEmpty()); });
    EXPECT_LT(growth, 4 * size);
}
