#include "brand/Skin.h"
#include "support/FakeBrowser.h"
#include "support/QtPrinters.h"
#include "support/TestFolders.h"
#include "util/DesktopBrowser.h"
#include "util/UUtils.h"

#include <gtest/gtest.h>

namespace
{

QList<QByteArray> Split(char sep, const QByteArray& text)
{
    QList<QByteArray> list{"left over"};
    SplitByChar(sep, text, list);
    return list;
}

TEST(SplitByChar, KeepsInnerEmptyPiecesAndDropsAnEmptyLastOne)
{
    EXPECT_EQ(Split('^', "a^^b"), (QList<QByteArray>{"a", "", "b"}));
    EXPECT_EQ(Split('^', "a^"), (QList<QByteArray>{"a"}));
    EXPECT_EQ(Split('^', "^a"), (QList<QByteArray>{"", "a"}));
    EXPECT_EQ(Split('^', ""), QList<QByteArray>{});
    EXPECT_EQ(Split('^', "plain"), (QList<QByteArray>{"plain"}));
    EXPECT_EQ(Split(',', "1,,"), (QList<QByteArray>{"1", ""}));
    // The high-bit separator of the news replies must not be taken as negative.
    EXPECT_EQ(Split(char(0xAF), QByteArray("x\xAFy\xAF")), (QList<QByteArray>{"x", "y"}));
}

TEST(SplitByChar, StringOverloadAgreesWithTheByteOne)
{
    QStringList list{QStringLiteral("stale")};
    SplitByChar(QChar(u'^'), QStringLiteral("ä^^ö^"), list);
    EXPECT_EQ(list, (QStringList{QStringLiteral("ä"), QString(), QStringLiteral("ö")}));
}

TEST(UnescapeDollarHex, DecodesEscapesAndEmptiesOnTheFirstBadOne)
{
    EXPECT_EQ(UnescapeDollarHex("A$41$62c"), QByteArray("AAbc"));
    EXPECT_EQ(UnescapeDollarHex("100$25"), QByteArray("100%"));
    EXPECT_EQ(UnescapeDollarHex("$4"), QByteArray(1, '\x04'));
    EXPECT_EQ(UnescapeDollarHex("$ff$FF"), QByteArray("\xff\xff"));
    EXPECT_EQ(UnescapeDollarHex("$00"), QByteArray(1, '\0'));
    EXPECT_TRUE(UnescapeDollarHex("x$").isEmpty());
    EXPECT_TRUE(UnescapeDollarHex("$G1").isEmpty());
    EXPECT_TRUE(UnescapeDollarHex("good text $4x").isEmpty());
    EXPECT_TRUE(UnescapeDollarHex("").isEmpty());
}

TEST(TrimLow, RemovesControlCharactersAndBlanksAtBothEnds)
{
    EXPECT_EQ(TrimLow(QByteArray("\r\n\t OK \x01")), QByteArray("OK"));
    EXPECT_EQ(TrimLow(QByteArray(" a b ")), QByteArray("a b"));
    EXPECT_EQ(TrimLow(QByteArray("\n\n")), QByteArray());
    EXPECT_EQ(TrimLow(QStringLiteral("\t ä \r\n")), QStringLiteral("ä"));
}

TEST(OpenInBrowser, StartsTheDesktopsDefaultBrowserWithTheAddress)
{
    tftest::TFakeBrowser browser;
    EXPECT_TRUE(OpenInBrowser(QStringLiteral("http://example.test/a b?c=1&d=\"2\"")));
    // No address: the browser starts on its home page, with no argument.
    EXPECT_TRUE(OpenInBrowser(QString()));
    ASSERT_TRUE(browser.WaitForCalls(2));
    QStringList calls = browser.Calls();
    calls.sort();
    EXPECT_EQ(calls, (QStringList{QString(), QStringLiteral("http://example.test/a b?c=1&d=\"2\"")}));
}

TEST(OpenInBrowser, AddsHttpToBareAddressesAndHandsOnNoOtherScheme)
{
    tftest::TFakeBrowser browser;
    for (const char* refused : {"file:///etc/passwd", "javascript:alert(1)", "mailto:a@b.test",
                                "prizedesk://run", "FILE:x", "data:text/html,hi"})
        EXPECT_FALSE(OpenInBrowser(QString::fromLatin1(refused))) << refused;
    for (const char* opened :
         {"www.example.test/offer?a=1", "HTTPS://Secure.test/", "localhost:8080/x", " -x "})
        EXPECT_TRUE(OpenInBrowser(QString::fromLatin1(opened))) << opened;
    ASSERT_TRUE(browser.WaitForCalls(4));
    tftest::WaitFor([] { return false; }, 200);
    QStringList calls = browser.Calls();
    calls.sort();
    EXPECT_EQ(calls, (QStringList{"HTTPS://Secure.test/", "http://-x", "http://localhost:8080/x",
                                  "http://www.example.test/offer?a=1"}));
}

TEST(OpenInBrowser, FallsBackToTheDebianAlternativesAndTheBrowserVariable)
{
    using K = tftest::TFakeBrowser;
    for (const K::TKind kind : {K::BrokenDefault, K::SensibleBrowser, K::BrowserVariable}) {
        K browser(kind);
        EXPECT_TRUE(OpenInBrowser(QStringLiteral("http://a.test/"))) << kind;
        ASSERT_TRUE(browser.WaitForCalls(1)) << kind;
        EXPECT_EQ(browser.Calls(),
                  QStringList{kind == K::BrowserVariable ? QStringLiteral("--flag\x1fhttp://a.test/")
                                                         : QStringLiteral("http://a.test/")});
    }
}

TEST(OpenInBrowser, ReturnsFalseWhenNoBrowserCanBeStarted)
{
    tftest::TNoBrowser none;
    EXPECT_FALSE(OpenInBrowser(QStringLiteral("http://example.test/")));
    EXPECT_FALSE(OpenInBrowser(QString()));
}

TEST(DesktopExec, QuotingAndFieldCodes)
{
    const QString a = QStringLiteral("http://a.test/?x=1");
    EXPECT_EQ(ExpandDesktopExec(QStringLiteral("\"/opt/my web/b\" --new %u"), a),
              (QStringList{"/opt/my web/b", "--new", a}));
    EXPECT_EQ(ExpandDesktopExec(QStringLiteral("b %i %c --url=%U 100%%"), a),
              (QStringList{"b", "--url=" + a, "100%"}));
    EXPECT_EQ(ExpandDesktopExec(QStringLiteral("b \"say \\\"hi\\\"\""), a),
              (QStringList{"b", "say \"hi\"", a}));
    EXPECT_EQ(ExpandDesktopExec(QStringLiteral("b %U"), QString()), QStringList{"b"});
}

TEST(Skin, PackedDataRoundTripsAndAnythingElseIsRefused)
{
    const QByteArray sheet = "QWidget { color: rgb(1,2,3); } /* ä */";
    const QByteArray packed = skin::Pack(sheet);
    QString out;
    ASSERT_TRUE(skin::Unpack(packed, out));
    EXPECT_EQ(out.toUtf8(), sheet);

    out = QStringLiteral("kept");
    EXPECT_FALSE(skin::Unpack(QByteArray(), out));
    EXPECT_FALSE(skin::Unpack(packed.left(packed.size() - 3), out));
    EXPECT_FALSE(skin::Unpack("TFSKIN\x01\x00garbage-garbage", out));
    QByteArray lying = packed;
    lying[8] = char(0x7f); // claims a different length than it holds
    EXPECT_FALSE(skin::Unpack(lying, out));
    QByteArray huge = packed;
    huge[11] = char(0x7f); // claims far more than any skin may be
    EXPECT_FALSE(skin::Unpack(huge, out));
    EXPECT_EQ(out, QStringLiteral("kept"));
}

} // namespace
