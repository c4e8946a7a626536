#include "brand/Skin.h"
#include "components/SkinApply.h"
#include "support/FakeBrowser.h"
#include "support/WindowFixture.h"
#include "util/FileCrypt.h"

#include <QApplication>
#include <QBuffer>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

// A 1 by 1 GIF: the smallest picture the animated view accepts.
const QByteArray TinyGif = QByteArray::fromHex(
    "47494638396101000100800000ffffff00000021f90400000000002c00000000010001000002024401003b");

QByteArray Png(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct BrandedWindow : TMainWindowTest {

    void Brand(const QByteArray& plain)
    {
        ASSERT_TRUE(EncryptBytesToFile(plain, Folder.File(QStringLiteral("dbsettings.dat"))));
    }
    void Open()
    {
        Make();
        Window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        Window.reset();
        skin::ApplyBuiltIn();
    }
};

const QByteArray BasicBrand = "<%%ApplicationName%%>Prize Desk<%%/ApplicationName%%>\n"
                              "<%%BranderType%%>Gold<%%/BranderType%%>\n"
                              "<%%AffiliateURL%%>http://shop.test/?a=%%AFFILIATEID%%<%%/AffiliateURL%%>\n"
                              "<%%AffiliateID%%>77<%%/AffiliateID%%>\n"
                              "<%%MakeMoneyButton%%>Earn<%%/MakeMoneyButton%%>\n"
                              "<%%AppHelpURL%%>http://help.test/<%%/AppHelpURL%%>\n";

TEST_F(BrandedWindow, TakesItsCaptionButtonsAndAddressesFromTheBrandFile)
{
    Brand(BasicBrand + "<%%Link1%%>Docs^http://docs.test/<%%/Link1%%>\n");
    TFakeBrowser browser;
    Open();
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Prize Desk v2.01"));
    // Gold without its news values: no News button.
    EXPECT_FALSE(Control<QToolButton>("btnNews")->isVisible());
    EXPECT_EQ(Control<QPushButton>("btnMakeMoney")->text(), QStringLiteral("Earn"));
    EXPECT_TRUE(Control<QFrame>("panLinks")->isVisible());
    EXPECT_EQ(Control<QLabel>("lblLink1URL")->text(), QStringLiteral("Docs"));
    EXPECT_TRUE(Control<QLabel>("lblLink2URL")->text().isEmpty());
    // No banner entry: no banner panel.
    EXPECT_FALSE(Control<QFrame>("panBanner")->isVisible());

    Click(Control<QPushButton>("btnMakeMoney"));
    Click(Control<QToolButton>("bsSkinSpeedButton2"));
    // Only a caption is a link: not the blank rest of the first label, nor
    // the empty second one.
    auto* link1 = Control<QLabel>("lblLink1URL");
    QTest::mouseClick(link1, Qt::LeftButton, {}, QPoint(link1->width() - 5, link1->height() / 2));
    Click(Control<QLabel>("lblLink2URL"));
    QTest::mouseClick(link1, Qt::LeftButton, {}, QPoint(5, link1->height() / 2));
    ASSERT_TRUE(browser.WaitForCalls(3));
    QStringList calls = browser.Calls();
    calls.sort();
    EXPECT_EQ(calls, (QStringList{"http://docs.test/", "http://help.test/", "http://shop.test/?a=77"}));
}

TEST_F(BrandedWindow, StillBannerIsReadInPlaceAndTheFolderStaysAsItWas)
{
    Brand(BasicBrand + "<%%Banner1%%>art/summer.png^http://win.test/<%%/Banner1%%>\n");
    Folder.Write(QStringLiteral("banner1.dat"), Png(120, 40));
    const QStringList before = Folder.Entries();
    TFakeBrowser browser;
    Open();
    auto* panel = Control<QFrame>("panBanner");
    auto* still = Control<QLabel>("imgBanner");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(still->isVisible());
    EXPECT_FALSE(Control<QLabel>("gifBanner")->isVisible());
    EXPECT_EQ(still->size(), QSize(120, 40));
    EXPECT_EQ(panel->height(), 50);
    EXPECT_EQ(still->y(), 5);
    EXPECT_EQ(still->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Folder.Entries(), before);
    Click(still);
    ASSERT_TRUE(browser.WaitForCalls(1));
    EXPECT_EQ(browser.Calls(), QStringList{"http://win.test/"});
}

TEST_F(BrandedWindow, GifBannerPlaysInTheAnimatedView)
{
    Brand(BasicBrand + "<%%Banner1%%>promo.GIF^<%%/Banner1%%>\n");
    Folder.Write(QStringLiteral("banner1.dat"), TinyGif);
    Open();
    auto* moving = Control<QLabel>("gifBanner");
    EXPECT_TRUE(moving->isVisible());
    EXPECT_FALSE(Control<QLabel>("imgBanner")->isVisible());
    ASSERT_NE(moving->movie(), nullptr);
    EXPECT_EQ(Control<QFrame>("panBanner")->height(), 11);
    // No click address: the normal arrow.
    EXPECT_EQ(moving->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(BrandedWindow, GifBannerLoopsForEverAndDrawsItsOwnBackground)
{
    // Two frames of one transparent pixel, no loop extension; background red.
    const QByteArray frame = QByteArray::fromHex("21f9040102000000"
                                                 "2c000000000100010000"
                                                 "0202440100");
    const QByteArray gif =
        QByteArray::fromHex("4749463839610100010080010000ff00ff0000") + frame + frame + "\x3b";
    Brand(BasicBrand + "<%%Banner1%%>loop.gif^<%%/Banner1%%>\n");
    Folder.Write(QStringLiteral("banner1.dat"), gif);
    Open();
    auto* moving = Control<QLabel>("gifBanner");
    ASSERT_NE(moving->movie(), nullptr);
    ASSERT_EQ(moving->movie()->frameCount(), 2);
    QSignalSpy frames(moving->movie(), &QMovie::frameChanged);
    WaitFor([] { return false; }, 700);
    EXPECT_EQ(moving->movie()->state(), QMovie::Running);
    EXPECT_GT(frames.count(), 6);
    EXPECT_EQ(moving->grab().toImage().pixelColor(0, 0), QColor(Qt::red));
}

TEST_F(BrandedWindow, MissingOrUnreadableBannerFileHidesThePanel)
{
    Brand(BasicBrand + "<%%Banner1%%>a.png^http://x.test/<%%/Banner1%%>\n");
    Open();
    EXPECT_FALSE(Control<QFrame>("panBanner")->isVisible());
    Window.reset();
    Folder.Write(QStringLiteral("banner1.dat"), "not a picture at all");
    Open();
    EXPECT_FALSE(Control<QFrame>("panBanner")->isVisible());
}

TEST_F(BrandedWindow, WelcomePageWaitsForItsButtonBeforeTheStartupRuns)
{
    Brand(BasicBrand + "<%%Welcome1%%><html><body><h1>Hello operator</h1></body></html><%%/Welcome1%%>\n");
    Open();
    QSignalSpy done(Window.get(), &TfrmMain::StartupSequenceDone);
    auto* pages = Control<QTabWidget>("pgcPrinc");
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("stsWelcome"));
    EXPECT_FALSE(Window->Timer1->isActive());
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(done.count(), 0);
    auto* button = Control<QPushButton>("bsSkinButton1");
    EXPECT_TRUE(button->isDefault());
    Click(button);
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("stsMain"));
    EXPECT_TRUE(WaitFor([&] { return done.count() == 1; }, 3000));
}

TEST_F(BrandedWindow, EnterInTheWelcomeDocumentLeavesTheWelcomePage)
{
    Brand(BasicBrand +
          "<%%Welcome1%%><html><body><a href=\"http://x.test/\">link</a></body></html><%%/Welcome1%%>\n");
    Open();
    QSignalSpy done(Window.get(), &TfrmMain::StartupSequenceDone);
    auto* pages = Control<QTabWidget>("pgcPrinc");
    auto* view = Control<QWidget>("prfWelcome");
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("stsMain"));
    EXPECT_TRUE(WaitFor([&] { return done.count() == 1; }, 3000));
}

TEST_F(BrandedWindow, SkinAndIconBesideTheProgramAreUsed)
{
    Brand(BasicBrand);
    Folder.Write(QStringLiteral("mainskin.dat"), skin::Pack("QWidget { background: rgb(1, 2, 3); }"));
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    icon.save(Folder.File(QStringLiteral("main.ico")), "ICO");
    Open();
    EXPECT_TRUE(qApp->styleSheet().contains(QStringLiteral("rgb(1, 2, 3)")));
    EXPECT_FALSE(Window->windowIcon().isNull());
}

TEST_F(BrandedWindow, DamagedBrandFileStillOpensTheWindow)
{
    Brand(BasicBrand);
    QByteArray bytes = Folder.Read(QStringLiteral("dbsettings.dat"));
    bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x55);
    Folder.Write(QStringLiteral("dbsettings.dat"), bytes);
    Folder.Write(QStringLiteral("mainskin.dat"), "no skin in here");
    const QString before = qApp->styleSheet();
    Open();
    EXPECT_TRUE(Window->isVisible());
    EXPECT_EQ(qApp->styleSheet(), before);
    EXPECT_TRUE(Window->windowTitle().endsWith(QStringLiteral(" v2.01")));
}

} // namespace
