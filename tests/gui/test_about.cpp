#include "components/BalloonHint.h"
#include "support/GuiHelpers.h"
#include "support/TestFolders.h"
#include "vendor/FAbout.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

TEST(AboutBox, ShowsTheBrandsNameVersionCopyrightAndText)
{
    TBrandRecord brand;
    brand.ApplicationName = QStringLiteral("XYZ");
    brand.CopyrightYears = QStringLiteral("2019-2026");
    brand.CopyrightCompany = QStringLiteral("Example Events Ltd");
    brand.AboutText = QStringLiteral("one\r\ntwo\rthree\nfour\r\nfive\r\nsix\r\nseven\r\neight");
    TfrmAbout about(brand);
    about.show();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About XYZ..."));
    EXPECT_EQ(Find<QLabel>(&about, "lblProductName")->text(), QStringLiteral("XYZ"));
    EXPECT_TRUE(Find<QLabel>(&about, "lblProductName")->font().bold());
    EXPECT_EQ(Find<QLabel>(&about, "lblProductVersion")->text(), QStringLiteral("Product Version: 2.01"));
    EXPECT_EQ(Find<QLabel>(&about, "lblCopyright1")->text(),
              QStringLiteral("Copyright (c) 2019-2026 Example Events Ltd"));
    auto* memo = Find<QPlainTextEdit>(&about, "memAbout");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->document()->blockCount(), 8);
    EXPECT_EQ(memo->toPlainText().split(QLatin1Char('\n')).at(2), QStringLiteral("three"));
    WaitFor([&] { return memo->verticalScrollBar()->maximum() > 0; }, 1000);
    EXPECT_GT(memo->verticalScrollBar()->maximum(), 0) << "eight lines do not fit in 71 pixels";
    EXPECT_EQ(about.size(), QSize(368, 211));
}

TEST(AboutBox, WithoutBrandKeepsTheFixedPiecesAndOkCloses)
{
    TBrandRecord none;
    TfrmAbout about(none);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About ..."));
    EXPECT_EQ(Find<QLabel>(&about, "lblCopyright1")->text(), QStringLiteral("Copyright (c)  "));
    EXPECT_TRUE(Find<QPlainTextEdit>(&about, "memAbout")->toPlainText().isEmpty());
    about.show();
    Click(Find<QPushButton>(&about, "editAbout"));
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(BalloonHint, OpensBelowLeftOfItsControlFollowsItAndAClickClosesIt)
{
    QWidget owner;
    owner.setGeometry(100, 100, 400, 300);
    QWidget control(&owner);
    control.setGeometry(280, 80, 40, 40);
    owner.show();
    TBalloonHint hint(&owner);
    hint.ShowMessage(QStringLiteral("You've Got A Message!\r\nSummer draw"), &control);
    ASSERT_TRUE(hint.isVisible());
    const auto expectAtControl = [&] {
        const QPoint at = control.mapToGlobal(QPoint(20, 20));
        EXPECT_EQ(hint.geometry().top(), at.y());
        EXPECT_EQ(hint.geometry().right() - hint.ShadowDepth + 1, at.x());
    };
    expectAtControl();
    // Moving the window or the control takes the balloon along.
    owner.move(150, 170);
    control.move(200, 60);
    EXPECT_TRUE(WaitFor([&] { return hint.geometry().top() == control.mapToGlobal(QPoint(20, 20)).y(); }));
    expectAtControl();
    // A second notice replaces the first rather than stacking on it.
    hint.ShowMessage(QStringLiteral("second"), &control);
    EXPECT_EQ(hint.Text(), QStringLiteral("second"));
    Click(&hint);
    EXPECT_FALSE(hint.isVisible());
}

TEST(BalloonHint, GoesAwayByItself)
{
    QWidget owner;
    owner.show();
    TBalloonHint hint(&owner);
    hint.DisplayMs = 200;
    hint.ShowMessage(QStringLiteral("note"), &owner);
    EXPECT_TRUE(hint.isVisible());
    EXPECT_TRUE(WaitFor([&] { return !hint.isVisible(); }, 2000));
}

} // namespace
