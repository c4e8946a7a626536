#include "components/ErrorReporter.h"
#include "support/FakeBrowser.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

struct MainWindow : TMainWindowTest {
    // Made, not yet shown.
    void Open() { Make(); }
    QStringList Headers(const char* view)
    {
        QStringList out;
        QTableView* v = Control<QTableView>(view);
        // The columns the operator sees; others may be there, hidden.
        for (int c = 0; c < v->model()->columnCount(); ++c)
            if (!v->isColumnHidden(c))
                out << v->model()->headerData(c, Qt::Horizontal).toString();
        return out;
    }
};

TEST_F(MainWindow, WithoutBrandFileOpensOnTheMainPageWithNoTabs)
{
    Open();
    Window->show();
    auto* pages = Control<QTabWidget>("pgcPrinc");
    ASSERT_NE(pages, nullptr);
    EXPECT_FALSE(pages->tabBar()->isVisible());
    EXPECT_EQ(pages->count(), 1);
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("stsMain"));
    EXPECT_EQ(Window->findChild<QWidget*>(QStringLiteral("stsWelcome")), nullptr);
    EXPECT_EQ(Window->findChild<QWidget*>(QStringLiteral("prfWelcome")), nullptr);
    // The keyboard starts on the affiliates list, and comes back to it when
    // a dialog closes, not to the button that opened the dialog.
    auto* list = Control<QWidget>("lvwPages");
    EXPECT_EQ(Window->focusWidget(), list);
    TModalPilot pilot;
    pilot.Handle([](QWidget* about) { QMetaObject::invokeMethod(about, "reject"); });
    Click(Control<QPushButton>("btnAbout"));
    EXPECT_EQ(pilot.Pending(), 0);
    EXPECT_EQ(Window->focusWidget(), list);
}

TEST_F(MainWindow, HasTheNamedControlsWithTheirCaptions)
{
    Open();
    Window->show();
    for (const char* name : {"btnSimple", "btnMakeMoney", "btnAbout"})
        EXPECT_TRUE(Control<QPushButton>(name)->isVisible()) << name;
    for (const char* name : {"btnNews", "bsSkinSpeedButton1", "bsSkinSpeedButton2"})
        EXPECT_TRUE(Control<QToolButton>(name)->isVisible()) << name;
    EXPECT_EQ(Control<QToolButton>("bsSkinSpeedButton2")->toolTip(), QStringLiteral("Help"));
    EXPECT_EQ(Control<QProgressBar>("MainGauge")->value(), 0);
    EXPECT_NE(Window->findChild<QLabel*>(QStringLiteral("MainStatusPanel")), nullptr);
    EXPECT_GE(Control<QComboBox>("cbxQueryType")->count(), 2);
    EXPECT_EQ(Headers("lvwPages"), (QStringList{"Affiliate Name", "Affiliate Id", "OTO Sales", "Subscribers",
                                                "Visitors", "Unique Hits"}));
    EXPECT_EQ(Headers("lvwReferers"), (QStringList{"Affiliate", "Sales Order"}));
    EXPECT_EQ(Control<QComboBox>("cbxQueryType")->currentText(),
              QStringLiteral("Only sales of selected affiliates"));
}

TEST_F(MainWindow, StartupTimerFiresOnceAboutATenthOfASecondAfterCreation)
{
    Open();
    QSignalSpy done(Window.get(), &TfrmMain::StartupSequenceDone);
    EXPECT_TRUE(Window->Timer1->isActive());
    EXPECT_EQ(Window->Timer1->interval(), 100);
    Window->show();
    ASSERT_TRUE(WaitFor([&] { return done.count() == 1; }, 3000));
    EXPECT_FALSE(Window->Timer1->isActive());
    WaitFor([] { return false; }, 400);
    EXPECT_EQ(done.count(), 1);
}

TEST_F(MainWindow, BannerViewsStayCentredWhenTheWindowIsResized)
{
    Open();
    Window->show();
    auto* panel = Control<QWidget>("panBanner");
    auto* still = Control<QWidget>("imgBanner");
    auto* moving = Control<QWidget>("gifBanner");
    EXPECT_EQ(moving->geometry(), still->geometry());
    for (int width : {700, 1100, 900}) {
        Window->resize(width, Window->height());
        WaitFor([&] { return panel->width() > 0 && Window->width() == width; }, 1000);
        QApplication::processEvents();
        for (QWidget* view : {still, moving}) {
            EXPECT_EQ(view->x(), panel->width() / 2 - view->width() / 2) << width;
            EXPECT_EQ(view->y(), panel->height() / 2 - view->height() / 2) << width;
        }
    }
    // A 105 high view in a 65 high panel sits above the panel's top edge.
    EXPECT_EQ(still->y(), 65 / 2 - 105 / 2);
    EXPECT_LT(still->y(), 0);
}

TEST_F(MainWindow, RightAnchoredControlsKeepTheirDistanceToTheRightEdge)
{
    Open();
    Window->show();
    const char* anchored[] = {"btnNews", "bsSkinSpeedButton1", "bsSkinSpeedButton2", "lblRefersHits",
                              "lblLink2URL"};
    QMap<QString, int> gap;
    auto rightGap = [&](const char* name) {
        QWidget* w = Control<QWidget>(name);
        return w->parentWidget()->width() - w->geometry().right();
    };
    for (const char* name : anchored)
        gap[QLatin1String(name)] = rightGap(name);
    for (int width : {1200, 760}) {
        Window->resize(width, Window->height());
        ASSERT_TRUE(WaitFor([&] { return Window->width() == width; }, 1000));
        QApplication::processEvents();
        for (const char* name : anchored)
            EXPECT_EQ(rightGap(name), gap[QLatin1String(name)]) << name << " at " << width;
    }
    // Left-anchored ones stay put.
    EXPECT_EQ(Control<QWidget>("btnSimple")->x(), 6);
    EXPECT_EQ(Control<QWidget>("lblLink1URL")->x(), 13);
}

TEST_F(MainWindow, TotalsKeepTheirPlacesWhileTheyFitAndShowWholeUpTo64Bits)
{
    Open();
    Window->show();
    QLabel* labels[] = {Control<QLabel>("lblTotalHits"), Control<QLabel>("lblOTOSales"),
                        Control<QLabel>("lblSubscribers"), Control<QLabel>("lblVisitors"),
                        Control<QLabel>("lblUniqueHits")};
    const auto fill = [&](const QByteArray& Counters) {
        Window->FillAffiliates(TrackingProtocol::DecodeList("\"1\",\"Ann\",\"a\"," + Counters + "^OK",
                                                            TrackingProtocol::AffiliateFieldCount));
        QApplication::processEvents();
    };
    fill("\"12\",\"3\",\"4\",\"5\"");
    QList<int> lefts;
    for (QLabel* l : labels)
        lefts << l->x();
    EXPECT_EQ(lefts, (QList<int>{7, 315, 426, 535, 648}));

    const QByteArray max = "9223372036854775807", min = "-9223372036854775808";
    fill("\"" + max + "\",\"" + min + "\",\"" + max + "\",\"" + min + "\"");
    ASSERT_EQ(labels[1]->text(), "OTO Sales: " + QString::fromLatin1(max));
    QWidget* panel = labels[0]->parentWidget();
    const int buttonsTop = Control<QPushButton>("btnSSelectAll")->y();
    for (int i = 0; i < 5; ++i) {
        EXPECT_GE(labels[i]->width(), labels[i]->sizeHint().width()) << i;
        EXPECT_LE(labels[i]->geometry().right(), panel->width()) << i;
        EXPECT_LE(labels[i]->geometry().bottom(), buttonsTop) << i;
        for (int k = 0; k < i; ++k)
            EXPECT_FALSE(labels[i]->geometry().intersects(labels[k]->geometry())) << k << " " << i;
    }
    // The list header is as high as its text needs (13 pixels would cut the
    // program's font, which is 14 high).
    const QHeaderView* header = Control<QTableView>("lvwPages")->horizontalHeader();
    EXPECT_GE(header->height(), header->fontMetrics().height() + 2);
}

TEST_F(MainWindow, MakeMoneyAndHelpCallTheBrowserEvenWithEmptyAddresses)
{
    TFakeBrowser browser;
    Open();
    Window->show();
    Click(Control<QPushButton>("btnMakeMoney"));
    Click(Control<QToolButton>("bsSkinSpeedButton2"));
    ASSERT_TRUE(browser.WaitForCalls(2));
    EXPECT_EQ(browser.Calls(), (QStringList{QString(), QString()}));
}

TEST_F(MainWindow, BannerWithoutAddressDoesNothingWhenClicked)
{
    TFakeBrowser browser;
    Open();
    Window->show();
    Window->imgBannerClick();
    Window->gifBannerClick();
    WaitFor([] { return false; }, 300);
    EXPECT_TRUE(browser.Calls().isEmpty());
    EXPECT_EQ(Control<QWidget>("imgBanner")->cursor().shape(), Qt::ArrowCursor);
}

TEST(ErrorReporter, AppendsToTheLogBesideTheProgramAndTellsTheUser)
{
    TDataFolder folder;
    TErrorReporter::SetFolder(folder.Path());
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    TErrorReporter::Report(QStringLiteral("first failure"));
    TErrorReporter::Report(QStringLiteral("second failure"));
    const QByteArray log = folder.Read(QStringLiteral("tallyfair-errors.log"));
    EXPECT_LT(log.indexOf("first failure"), log.indexOf("second failure"));
    EXPECT_GE(log.indexOf("first failure"), 0);
    ASSERT_EQ(pilot.Messages.size(), 2);
    EXPECT_TRUE(pilot.Messages[0].contains(QStringLiteral("first failure")));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

} // namespace
