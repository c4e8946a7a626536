// The main window while a request hangs: only what would start a second
// request is refused (and keeps its state); Settings and the rest work;
// Esc and the stop button abandon the request, which then fails with its
// operation's usual message.
#include "app/FMain.h"
#include "support/GuiHelpers.h"
#include "support/HttpPeer.h"
#include "support/QtPrinters.h"
#include "support/TestFolders.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
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

struct HangingSite : ::testing::Test {
    TDataFolder Folder;
    THttpPeer Site;
    std::unique_ptr<TfrmMain> Window;

    void SetUp() override
    {
        Site.SetHandler([](const THttpRequest& r) {
            if (r.Method == "GET")
                return THttpAnswer::Text({}, 404);
            if (FormField(r, "action") == "3")
                return THttpAnswer::Text("\"5\",\"Ann\",\"a1\",\"1\",\"2\",\"3\",\"4\"^OK");
            return THttpAnswer::Text("OK");
        });
        Folder.Write(QStringLiteral("hsettings.dat"),
                     "[Settings]\r\nswebserver=" + Site.Url(QStringLiteral("/site")).toLatin1() + "\r\n");
        TAppEnvironment env{Folder.Path(), Site.Url(QStringLiteral("/liveupdate/tallyfair/"))};
        Window = std::make_unique<TfrmMain>(env);
        ASSERT_TRUE(ShowUntilStarted(*Window, 10000));
        // Without a way out the test would wait this long, then fail.
        Window->SetTrackingReadTimeout(15000);
    }
    template <class T> T* Control(const char* name) { return Find<T>(Window.get(), name); }
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
            if (Window->RequestPending() && Requests() > sent) {
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
        QTest::keyClick(Control<QWidget>("lvwPages"), Qt::Key_Down);
        sentMeanwhile = Requests() - before;
        QTest::keyClick(Control<QWidget>("lvwPages"), Qt::Key_Escape);
    });
    EXPECT_LT(took, 10000);
    EXPECT_TRUE(stopEnabled);
    EXPECT_TRUE(settingsOpened);
    EXPECT_EQ(sentMeanwhile, 0);
    EXPECT_EQ(show->currentIndex(), 0);
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
    EXPECT_FALSE(Window->RequestPending());
}

} // namespace
