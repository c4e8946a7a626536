// The brand text: the consuming tag reader, the order of reads, the derived
// window state and the random picks.
#include "TestFolders.h"
#include "brand/AppConstants.h"
#include "brand/BrandFile.h"
#include "brand/BrandText.h"

#include <QList>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace
{

QByteArray Tag(const QByteArray& Name, const QByteArray& Value)
{
    return StartTagOf(Name) + Value + EndTagOf(Name) + "\r\n";
}

// A random source that answers from a script and records what it was asked.
struct TScriptedRandom {
    QList<int> Answers;
    QList<int> Counts;
    TRandomIndex Source()
    {
        return [this](int Count) {
            Counts.append(Count);
            return Answers.isEmpty() ? 0 : Answers.takeFirst();
        };
    }
};

TBrandLoad Parse(const QByteArray& Text)
{
    return ParseBrandText(Text, [](int) { return 0; });
}

} // namespace

TEST(BrandTextLines, EveryKindOfLineEndBecomesCrLf)
{
    EXPECT_EQ(NormalizeLinesCrLf("a\nb\rc\r\nd"), QByteArray("a\r\nb\r\nc\r\nd\r\n"));
    EXPECT_EQ(NormalizeLinesCrLf("a\r\n\r\nb\n"), QByteArray("a\r\n\r\nb\r\n"));
    EXPECT_EQ(NormalizeLinesCrLf("\n"), QByteArray("\r\n"));
    EXPECT_TRUE(NormalizeLinesCrLf("").isEmpty());
    EXPECT_EQ(SplitTextLines("x\r\ny\n"), (QList<QByteArray>{"x", "y"}));
}

TEST(ExtractTagValue, ReadsAndMovesTheBufferToTheEndTag)
{
    QByteArray buffer = "junk <%%A%%>one<%%/A%%> <%%B%%>two<%%/B%%>";
    EXPECT_EQ(ExtractTagValue("<%%A%%>", "<%%/A%%>", buffer), QByteArray("one"));
    EXPECT_EQ(buffer, QByteArray("<%%/A%%> <%%B%%>two<%%/B%%>"));
    EXPECT_EQ(ExtractTagValue("<%%B%%>", "<%%/B%%>", buffer), QByteArray("two"));
    // A is behind the buffer now.
    EXPECT_TRUE(ExtractTagValue("<%%A%%>", "<%%/A%%>", buffer).isEmpty());
    EXPECT_EQ(buffer, QByteArray("<%%/B%%>"));
}

TEST(ExtractTagValue, MissingStartTagLeavesTheBufferAlone)
{
    QByteArray buffer = "<%%A%%>one<%%/A%%>";
    EXPECT_TRUE(ExtractTagValue("<%%Z%%>", "<%%/Z%%>", buffer).isEmpty());
    EXPECT_EQ(buffer, QByteArray("<%%A%%>one<%%/A%%>"));
}

TEST(ExtractTagValue, StartTagWithoutEndTagReadsEmptyAndMovesBehindIt)
{
    QByteArray buffer = "x<%%A%%>dangling <%%B%%>b<%%/B%%>";
    EXPECT_TRUE(ExtractTagValue("<%%A%%>", "<%%/A%%>", buffer).isEmpty());
    EXPECT_EQ(buffer, QByteArray("dangling <%%B%%>b<%%/B%%>"));
    EXPECT_EQ(ExtractTagValue("<%%B%%>", "<%%/B%%>", buffer), QByteArray("b"));
}

TEST(ExtractTagValue, TagsMatchInAnyCaseAndValuesKeepTheirs)
{
    QByteArray buffer = "<%%applicationname%%>My Tool<%%/APPLICATIONNAME%%>";
    EXPECT_EQ(ExtractTagValue("<%%ApplicationName%%>", "<%%/ApplicationName%%>", buffer),
              QByteArray("My Tool"));
    // Only ASCII letters fold: a byte above 127 must match itself exactly.
    QByteArray high = "<%%N\xe9%%>v<%%/N\xe9%%>";
    EXPECT_TRUE(ExtractTagValue("<%%N\xc9%%>", "<%%/N\xc9%%>", high).isEmpty());
    EXPECT_EQ(ExtractTagValue("<%%n\xe9%%>", "<%%/n\xe9%%>", high), QByteArray("v"));
}

TEST(ExtractTagValue, EndTagRightAfterStartGivesEmptyAndStaysThere)
{
    QByteArray buffer = "<%%A%%><%%/A%%>rest";
    EXPECT_TRUE(ExtractTagValue("<%%A%%>", "<%%/A%%>", buffer).isEmpty());
    EXPECT_EQ(buffer, QByteArray("<%%/A%%>rest"));
}

TEST(BrandParse, ReadsEveryValueInOrderWithMixedCaseTags)
{
    const QByteArray text =
        "<%%APPLICATIONname%%>Prize Desk<%%/applicationNAME%%>\n"
        "<%%brandercode%%>PC-7<%%/BRANDERCODE%%>\n" +
        Tag("BranderType", "Gold") + Tag("AffiliateURL", "http://a.example/?id=%%AFFILIATEID%%") +
        Tag("AffiliateTYPE", "cb") + Tag("AffiliateID", "joe") + Tag("MasterNewsBaseURL", "http://m") +
        Tag("PlatinumNewsBaseURL", "http://p") + Tag("GoldNewsBaseURL", "http://g") +
        Tag("MasterPublID", "M1") + Tag("PlatinumPublID", "P1") + Tag("GoldPublID", "G1") +
        Tag("MakeMoneyButton", "Earn Now") + Tag("AppHelpURL", "http://help") +
        Tag("CopyrightYears", "2004-2006") + Tag("CopyrightCompany", "Acme") + Tag("AboutText", "About us");
    const TBrandLoad L = Parse(text);
    const TBrandRecord& R = L.Record;
    EXPECT_EQ(R.ApplicationName, "Prize Desk");
    EXPECT_EQ(R.BranderCode, "PC-7");
    EXPECT_EQ(R.BranderType, "Gold");
    EXPECT_EQ(R.AffiliateURL, "http://a.example/?id=joe");
    EXPECT_EQ(R.AffiliateTYPE, "cb");
    EXPECT_EQ(R.AffiliateID, "joe");
    EXPECT_EQ(R.MasterNewsBaseURL, "http://m");
    EXPECT_EQ(R.PlatinumNewsBaseURL, "http://p");
    EXPECT_EQ(R.GoldNewsBaseURL, "http://g");
    EXPECT_EQ(R.MasterPublID, "M1");
    EXPECT_EQ(R.PlatinumPublID, "P1");
    EXPECT_EQ(R.GoldPublID, "G1");
    EXPECT_EQ(R.AppHelpURL, "http://help");
    EXPECT_EQ(R.CopyrightYears, "2004-2006");
    EXPECT_EQ(R.CopyrightCompany, "Acme");
    EXPECT_EQ(R.AboutText, "About us");
    EXPECT_TRUE(L.FromBrandFile);
    EXPECT_EQ(L.Caption, "Prize Desk v" + AppVersion);
    EXPECT_EQ(L.MakeMoneyCaption, "Earn Now");
    EXPECT_TRUE(L.NewsButtonVisible);
}

TEST(BrandParse, TagOutOfOrderReadsEmptyAndTheRestIsStillRead)
{
    const TBrandLoad L =
        Parse(Tag("BranderCode", "early") + Tag("ApplicationName", "Name") + Tag("BranderType", "Master"));
    EXPECT_TRUE(L.Record.BranderCode.isEmpty());
    EXPECT_EQ(L.Record.ApplicationName, "Name");
    EXPECT_EQ(L.Record.BranderType, "Master");
}

TEST(BrandParse, MultiLineValueKeepsItsBreaksAsCrLf)
{
    const TBrandLoad L = Parse("<%%AboutText%%>one\ntwo\rthree<%%/AboutText%%>\n");
    EXPECT_EQ(L.Record.AboutText, "one\r\ntwo\r\nthree");
    const TBrandLoad Spaced = Parse(Tag("ApplicationName", "  padded  "));
    EXPECT_EQ(Spaced.Record.ApplicationName, "  padded  ");
}

TEST(BrandParse, AffiliateIdReplacesEveryUpperCasePlaceholderOnly)
{
    const TBrandLoad L =
        Parse(Tag("AffiliateURL", "http://x/%%AFFILIATEID%%/%%AFFILIATEID%%?%%affiliateid%%") +
              Tag("AffiliateID", "42"));
    EXPECT_EQ(L.Record.AffiliateURL, "http://x/42/42?%%affiliateid%%");
    const TBrandLoad NoId = Parse(Tag("AffiliateURL", "http://x/?a=%%AFFILIATEID%%"));
    EXPECT_EQ(NoId.Record.AffiliateURL, "http://x/?a=");
}

TEST(BrandParse, EmptyTextLeavesEverythingEmptyWithDefaults)
{
    const TBrandLoad L = Parse("");
    EXPECT_TRUE(L.FromBrandFile);
    EXPECT_EQ(L.Caption, DesignCaption + " v" + AppVersion);
    EXPECT_FALSE(L.NewsButtonVisible);
    EXPECT_EQ(L.MakeMoneyCaption, "Make Money");
    EXPECT_FALSE(L.BannerPanelVisible);
    EXPECT_FALSE(L.LinksPanelVisible);
    EXPECT_TRUE(L.Record.WelcomeHtml.isEmpty());
    EXPECT_TRUE(L.Link1Caption.isEmpty());
    EXPECT_TRUE(L.Link2Caption.isEmpty());
}

TEST(BrandParse, NewsButtonFollowsTheTierTable)
{
    // Type, then which tier's base address and publisher ID are filled.
    const std::tuple<const char*, QString TBrandRecord::*, QString TBrandRecord::*, bool> cases[] = {
        {"Master", &TBrandRecord::MasterNewsBaseURL, &TBrandRecord::MasterPublID, true},
        {"Platinum", &TBrandRecord::PlatinumNewsBaseURL, &TBrandRecord::PlatinumPublID, true},
        {"Gold", &TBrandRecord::GoldNewsBaseURL, &TBrandRecord::GoldPublID, true},
        {"Free", &TBrandRecord::MasterNewsBaseURL, &TBrandRecord::MasterPublID, true},
        {"Free", &TBrandRecord::GoldNewsBaseURL, &TBrandRecord::GoldPublID, false},
        {"Gold", &TBrandRecord::MasterNewsBaseURL, &TBrandRecord::MasterPublID, false},
        {"master", &TBrandRecord::MasterNewsBaseURL, &TBrandRecord::MasterPublID, false},
        {"Other", &TBrandRecord::MasterNewsBaseURL, &TBrandRecord::MasterPublID, false},
    };
    for (const auto& [type, base, publ, shown] : cases) {
        TBrandRecord R;
        R.BranderType = QString::fromLatin1(type);
        R.*base = "http://n";
        R.*publ = "id";
        EXPECT_EQ(NewsButtonVisibleFor(R), shown) << type;
        R.*base = QString(); // both values are needed
        EXPECT_FALSE(NewsButtonVisibleFor(R)) << type;
    }
}

TEST(BrandParse, EntriesStopAtTheFirstEmptyAndAtSixteen)
{
    QByteArray gap = Tag("Welcome1", "<p>one</p>") + Tag("Welcome3", "<p>three</p>");
    TScriptedRandom rnd;
    rnd.Answers = {0};
    const TBrandLoad L = ParseBrandText(gap, rnd.Source());
    EXPECT_EQ(L.Record.WelcomeHtml, "<p>one</p>");
    EXPECT_EQ(rnd.Counts, QList<int>{1}); // only Welcome1 was collected

    QByteArray many;
    for (int n = 1; n <= 17; ++n)
        many += Tag("Link" + QByteArray::number(n),
                    "L" + QByteArray::number(n) + "^http://l/" + QByteArray::number(n));
    TScriptedRandom last;
    last.Answers = {15, 14};
    const TBrandLoad M = ParseBrandText(many, last.Source());
    EXPECT_EQ(last.Counts, (QList<int>{16, 15}));
    EXPECT_EQ(M.Link1Caption, "L16");
    EXPECT_EQ(M.Link2Caption, "L15");
}

TEST(BrandParse, FamiliesAreReadWelcomeThenBannerThenLink)
{
    // A link written before the banners is behind the buffer by then.
    const QByteArray text = Tag("Link1", "early^http://e") + Tag("Welcome1", "w") +
                            Tag("Banner1", "b.png^http://b") + Tag("Link2", "x^y");
    const TBrandLoad L = Parse(text);
    EXPECT_EQ(L.Record.WelcomeHtml, "w");
    EXPECT_EQ(L.Record.BannerImageFile, "b.png");
    EXPECT_TRUE(L.Record.Link1Caption.isEmpty()); // Link1 not found, so the list stops there
    EXPECT_FALSE(L.LinksPanelVisible);
}

TEST(BrandParse, PicksMapEachIndexToItsEntry)
{
    QByteArray text;
    for (int n = 1; n <= 4; ++n)
        text += Tag("Welcome" + QByteArray::number(n), "page" + QByteArray::number(n));
    for (int n = 1; n <= 3; ++n)
        text += Tag("Banner" + QByteArray::number(n),
                    "pic" + QByteArray::number(n) + ".png^http://b/" + QByteArray::number(n));
    for (int n = 1; n <= 5; ++n)
        text += Tag("Link" + QByteArray::number(n),
                    "cap" + QByteArray::number(n) + "^http://l/" + QByteArray::number(n));
    // Each pick draws once, with the size of its list; the second link
    // draws from the four entries left.
    for (int w = 0; w < 4; ++w) {
        for (int b = 0; b < 3; ++b) {
            for (int first = 0; first < 5; ++first) {
                for (int second = 0; second < 4; ++second) {
                    TScriptedRandom rnd;
                    rnd.Answers = {w, b, first, second};
                    const TBrandLoad L = ParseBrandText(text, rnd.Source());
                    ASSERT_EQ(rnd.Counts, (QList<int>{4, 3, 5, 4}));
                    EXPECT_EQ(L.Record.WelcomeHtml, "page" + QString::number(w + 1));
                    EXPECT_EQ(L.Record.BannerImageFile, "pic" + QString::number(b + 1) + ".png");
                    EXPECT_EQ(L.BannerNumber, b + 1);
                    EXPECT_EQ(L.BannerDataFile, "banner" + QString::number(b + 1) + ".dat");
                    QList<int> rest = {1, 2, 3, 4, 5};
                    rest.removeAt(first);
                    EXPECT_EQ(L.Link1Caption, "cap" + QString::number(first + 1));
                    EXPECT_EQ(L.Link1URL, "http://l/" + QString::number(first + 1));
                    EXPECT_EQ(L.Link2Caption, "cap" + QString::number(rest[second]));
                    EXPECT_EQ(L.Record.Link2URL, "http://l/" + QString::number(rest[second]));
                }
            }
        }
    }
}

TEST(BrandParse, OutOfRangeAnswersOfTheSourceAreFolded)
{
    const QByteArray text = Tag("Link1", "a^1") + Tag("Link2", "b^2") + Tag("Link3", "c^3");
    TScriptedRandom rnd;
    rnd.Answers = {-1, 7};
    const TBrandLoad L = ParseBrandText(text, rnd.Source());
    EXPECT_EQ(L.Link1Caption, "c");
    EXPECT_EQ(L.Link2Caption, "b");
}

TEST(BrandParse, SystemPicksAreUniformAndLinksDiffer)
{
    std::map<int, int> seen;
    for (int i = 0; i < 16000; ++i)
        ++seen[SystemRandomIndex(16)];
    ASSERT_EQ(seen.size(), 16u);
    for (const auto& [index, hits] : seen) {
        EXPECT_GE(index, 0);
        EXPECT_LT(index, 16);
        EXPECT_GT(hits, 800) << index; // expected 1000, sd about 31
        EXPECT_LT(hits, 1200) << index;
    }

    const QByteArray text = Tag("Link1", "a^1") + Tag("Link2", "b^2") + Tag("Link3", "c^3");
    std::map<QString, int> pairs;
    for (int i = 0; i < 1200; ++i) {
        const TBrandLoad L = ParseBrandText(text);
        ASSERT_NE(L.Link1Caption, L.Link2Caption);
        ++pairs[L.Link1Caption + L.Link2Caption];
    }
    EXPECT_EQ(pairs.size(), 6u); // every ordered pair turns up
    for (const auto& [pair, hits] : pairs)
        EXPECT_GT(hits, 120) << pair.toStdString(); // expected 200
}

TEST(BrandParse, SingleLinkFillsTheFirstLabelOnly)
{
    const TBrandLoad L = Parse(Tag("Link1", "Our shop^http://shop"));
    EXPECT_TRUE(L.LinksPanelVisible);
    EXPECT_EQ(L.Link1Caption, "Our shop");
    EXPECT_EQ(L.Link1URL, "http://shop");
    EXPECT_TRUE(L.Link2Caption.isEmpty());
    EXPECT_TRUE(L.Link2URL.isEmpty());
}

TEST(BrandParse, EntriesWithoutASecondPieceHaveNoAddress)
{
    const TBrandLoad NoCaret = Parse(Tag("Banner1", "pic.jpg") + Tag("Link1", "Caption only"));
    EXPECT_EQ(NoCaret.Record.BannerImageFile, "pic.jpg");
    EXPECT_TRUE(NoCaret.Record.BannerURL.isEmpty());
    EXPECT_FALSE(NoCaret.BannerClickable);
    EXPECT_TRUE(NoCaret.BannerPanelVisible);
    EXPECT_EQ(NoCaret.Link1Caption, "Caption only");
    EXPECT_TRUE(NoCaret.Link1URL.isEmpty());

    const TBrandLoad Trailing = Parse(Tag("Banner1", "pic.jpg^") + Tag("Link1", "^http://nocaption"));
    EXPECT_TRUE(Trailing.Record.BannerURL.isEmpty());
    EXPECT_TRUE(Trailing.Link1Caption.isEmpty());
    EXPECT_FALSE(Trailing.LinksPanelVisible); // the label would be blank

    const TBrandLoad NoImage = Parse(Tag("Banner1", "^http://click"));
    EXPECT_FALSE(NoImage.BannerPanelVisible);
    EXPECT_TRUE(NoImage.BannerDataFile.isEmpty());
    EXPECT_EQ(SplitBrandEntry("a^b^c"), (QPair<QString, QString>{"a", "b"}));
}

TEST(BrandParse, BannerIsClickableOnlyWithAnAddress)
{
    const TBrandLoad L = Parse(Tag("Banner1", "anim.GIF^http://click"));
    EXPECT_TRUE(L.BannerClickable);
    EXPECT_TRUE(L.BannerAnimated);
    EXPECT_EQ(L.BannerFormat, QByteArray("gif"));
    EXPECT_EQ(L.Record.BannerURL, "http://click");
    const TBrandLoad None = Parse(Tag("Welcome1", "w"));
    EXPECT_FALSE(None.BannerPanelVisible);
    EXPECT_EQ(None.BannerNumber, 0);
}

TEST(BrandParse, TheEntryPickedNamesItsNeutralFileAndFormat)
{
    const QByteArray text = Tag("Banner1", "one.png^u") + Tag("Banner2", "C:\\art\\two.jpg^u");
    TScriptedRandom rnd;
    rnd.Answers = {1};
    const TBrandLoad L = ParseBrandText(text, rnd.Source());
    EXPECT_EQ(L.BannerDataFile, "banner2.dat");
    EXPECT_FALSE(L.BannerAnimated);
    EXPECT_EQ(L.BannerFormat, QByteArray("jpeg"));
}

TEST(BannerNames, FormatAndAnimationFollowTheFileNamePart)
{
    EXPECT_EQ(BannerDataFileName(3), "banner3.dat");
    EXPECT_EQ(BannerDataFileName(16), "banner16.dat");
    EXPECT_TRUE(IsGifName("Top.GIF"));
    EXPECT_TRUE(IsGifName("a.gif.bak"));
    EXPECT_FALSE(IsGifName("C:\\x.gif\\banner.png"));
    EXPECT_FALSE(IsGifName("/x.gif/banner.png"));
    EXPECT_EQ(FileNamePart("C:\\art\\top.png"), "top.png");
    EXPECT_EQ(FileNamePart("art/top.png"), "top.png");
    EXPECT_EQ(ImageFormatForName("A.JPG"), QByteArray("jpeg"));
    EXPECT_EQ(ImageFormatForName("a.jpeg"), QByteArray("jpeg"));
    EXPECT_EQ(ImageFormatForName("a.Png"), QByteArray("png"));
    EXPECT_EQ(ImageFormatForName("a.bmp"), QByteArray("bmp"));
    EXPECT_TRUE(ImageFormatForName("noext").isEmpty());
    EXPECT_TRUE(ImageFormatForName("dir.v2/noext").isEmpty());
}
