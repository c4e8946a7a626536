// The main window while a request hangs: only what would start a second
// request is refused (and keeps its state); Settings and the rest work;
// Esc and the stop button abandon the request, which then fails with its
// operation's usual message.
#include "support/QtPrinters.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

const QString TroubleDeleting = QStringLiteral(
    "There is a trouble deleting items, please check your settings and your internet connection.");
const QString AskDeleteAll = QStringLiteral("Are you sure do you want to delete all?.");

struct HangingSite : TMainWindowTest {

    void SetUp() override
    {
        Site.SetHandler([](const THttpRequest& r) {
            if (r.Method == "GET")
                return THttpAnswer::Text({}, 404);
            if (FormField(r, "action") == "3")
                return THttpAnswer::Text("\"5\",\"Ann\",\"a1\",\"1\",\"2\",\"3\",\"4\"^"
                                         "\"6\",\"Bob\",\"b1\",\"1\",\"2\",\"3\",\"4\"^OK");
            return THttpAnswer::Text("OK");
        });
        PointSettingsAtSite();
        // Without a way out the test would wait this long, then fail.
        ReadTimeoutMs = 15000;
        Open();
    }
    // Delete All against a site that never answers the deletion; Act runs
    // once while the request is pending. How long the click took.
    qint64 DeleteAllWhileHanging(const std::function<void()>& Act)
    {
        THttpAnswer hang;
        hang.Hang = true;
        Site.Queue(hang);
        QTimer probe;
        // Acts once the site holds the deletion, so that what Act counts
        // as sent meanwhile never includes the deletion itself.
        const int sent = Requests();
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (RequestRunning(*Window) && Requests() > sent) {
                probe.stop();
                Act();
            }
        });
        probe.start(20);
        QElapsedTimer clock;
        clock.start();
        Click(Control<QPushButton>("bsSkinButton4"));
        return clock.elapsed();
    }
    int Requests() const { return int(Site.Requests().size()); }
};

TEST_F(HangingSite, SettingsStillOpensWhatWouldStartARequestIsRefusedAndEscAbandons)
{
    TModalPilot pilot;
    bool settingsOpened = false;
    pilot.Answer(QMessageBox::Ok);
    pilot.Handle([&](QWidget* dialog) {
        settingsOpened = dialog->objectName() == QStringLiteral("frmSettings");
        QMetaObject::invokeMethod(dialog, "reject");
    });
    pilot.Answer(QMessageBox::Ok);
    auto* show = Control<QComboBox>("cbxQueryType");
    auto* pages = Control<QTableView>("lvwPages");
    const int beforeSales = Requests();
    QTest::mouseClick(pages->viewport(), Qt::LeftButton, {},
                      pages->visualRect(pages->model()->index(0, 0)).center());
    ASSERT_TRUE(WaitFor([&] { return Requests() > beforeSales && !RequestRunning(*Window); }));
    int sentMeanwhile = -1;
    bool stopEnabled = false;
    const qint64 took = DeleteAllWhileHanging([&] {
        const int before = Requests();
        stopEnabled = Control<QToolButton>("btnStop")->isEnabled();
        Click(Control<QPushButton>("btnSimple"));
        // Neither the wheel over the Show box nor Refresh starts anything.
        const QPointF at = show->rect().center();
        QWheelEvent wheel(at, show->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(show, &wheel);
        Click(Control<QPushButton>("btnRevfreshSegments"));
        // No key moves the list's row, Tab and Backtab included: the sales
        // shown would belong to another affiliate than the one selected.
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_End})
            QTest::keyClick(pages, key);
        sentMeanwhile = Requests() - before;
        QTest::keyClick(Control<QWidget>("lvwPages"), Qt::Key_Escape);
    });
    EXPECT_LT(took, 10000);
    EXPECT_TRUE(stopEnabled);
    EXPECT_TRUE(settingsOpened);
    EXPECT_EQ(sentMeanwhile, 0);
    EXPECT_EQ(show->currentIndex(), 0);
    EXPECT_EQ(pages->currentIndex().row(), 0);
    EXPECT_EQ(pages->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(pilot.Messages, (QStringList{AskDeleteAll, TroubleDeleting}));
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(Control<QToolButton>("btnStop")->isEnabled());
}

TEST_F(HangingSite, TheStopButtonAbandonsTheRequestLikeEsc)
{
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    const qint64 took = DeleteAllWhileHanging([&] { Click(Control<QToolButton>("btnStop")); });
    EXPECT_LT(took, 10000);
    EXPECT_EQ(pilot.Messages, (QStringList{AskDeleteAll, TroubleDeleting}));
    EXPECT_FALSE(RequestRunning(*Window));
}

} // namespace
