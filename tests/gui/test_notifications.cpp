// Desktop notices of new sales, on a real session bus: a private
// dbus-daemon, and a small notification service on it that records what it
// is asked to show.

#include "support/QtPrinters.h"
#include "support/WindowFixture.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusError>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tftest;

class TNoticeListener : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct TNotice {
        QString App;
        uint Replaces;
        QString Summary;
        QString Body;
    };
    QList<TNotice> Notices;

public slots:
    uint Notify(const QString& App, uint Replaces, const QString&, const QString& Summary,
                const QString& Body, const QStringList&, const QVariantMap&, int)
    {
        Notices.append({App, Replaces, Summary, Body});
        return uint(Notices.size() + 100);
    }
};

namespace
{

struct NoticeWindow : TMainWindowTest {
    QTemporaryDir BusDir;
    QProcess Daemon;
    QString Address;
    TNoticeListener Listener;
    QList<QByteArray> ChangeReplies;

    void SetUp() override
    {
        ASSERT_TRUE(BusDir.isValid());
        // The system's session bus set-up, listening in a folder of our own.
        Daemon.start("dbus-daemon",
                     {"--nofork", "--session", "--print-address=1", "--address=unix:dir=" + BusDir.path()});
        ASSERT_TRUE(Daemon.waitForStarted(5000)) << "dbus-daemon (package dbus-daemon) is needed";
        ASSERT_TRUE(WaitFor([&] { return Daemon.canReadLine(); }, 5000));
        Address = QString::fromUtf8(Daemon.readLine()).trimmed();
        // The window's notices go to the session bus, which is this one.
        qputenv("DBUS_SESSION_BUS_ADDRESS", Address.toUtf8());
        QDBusConnection bus = QDBusConnection::connectToBus(Address, "notices");
        ASSERT_TRUE(bus.isConnected()) << bus.lastError().message().toStdString();
        ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(
            bus.registerObject("/org/freedesktop/Notifications", &Listener, QDBusConnection::ExportAllSlots));

        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Method == "GET")
                return THttpAnswer::Text(QByteArray(), 404);
            const QByteArray action = FormField(r, "action");
            if (action == "20")
                return THttpAnswer::Text("\"1\",\"changes\"^OK");
            if (action == "3")
                return THttpAnswer::Text("\"1\",\"Ann\",\"a\",\"1\",\"0\",\"0\",\"0\"^OK");
            if (action == "4")
                return THttpAnswer::Text("\"91\",\"Ann\",\"o-1\"^OK");
            if (action == "30" && FormField(r, "cursor").isEmpty())
                return THttpAnswer::Text("\"R\",\"c0\"^OK");
            if (action == "30")
                return THttpAnswer::Text(ChangeReplies.isEmpty() ? QByteArray("\"C\",\"c\"^OK")
                                                                 : ChangeReplies.takeFirst());
            return THttpAnswer::Text("OK");
        });
        PointSettingsAtSite();
    }
    void TearDown() override
    {
        Window.reset();
        QDBusConnection::disconnectFromBus("notices");
        Daemon.kill();
        Daemon.waitForFinished(5000);
    }
    static QByteArray TwoSales(int From)
    {
        return "\"A\",\"1\",\"Ann\",\"a\",\"" + QByteArray::number(From + 1) +
               "\",\"0\",\"0\",\"0\"^\"S\",\"" + QByteArray::number(From * 10) +
               "\",\"Ann\",\"o\",\"2026-01-01 10:00:00\"^\"S\",\"" + QByteArray::number(From * 10 + 1) +
               "\",\"Ann\",\"p\",\"2026-01-01 10:00:01\"^\"C\",\"c\"^OK";
    }
};

TEST_F(NoticeWindow, NewSalesAreNotifiedOnlyWhenAskedAndTheWindowIsInTheBackground)
{
    Open();
    Control<QTableView>("lvwPages")->selectRow(0);
    ASSERT_TRUE(WaitFor([&] { return Control<QTableView>("lvwReferers")->model()->rowCount() == 1; }));
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(WaitFor([&] { return !Window->isActiveWindow(); }));

    // Off by default: nothing.
    ChangeReplies << TwoSales(2);
    Window->LiveTimerTimer();
    WaitFor([] { return false; }, 500);
    EXPECT_TRUE(Listener.Notices.isEmpty());

    Control<QCheckBox>("chkNotify")->setChecked(true);
    ChangeReplies << TwoSales(4);
    Window->LiveTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return Listener.Notices.size() == 1; }));
    EXPECT_EQ(Listener.Notices[0].Summary, "2 new sales");
    EXPECT_EQ(Listener.Notices[0].App, Window->windowTitle());
    EXPECT_EQ(Listener.Notices[0].Replaces, 0u);

    // The next one takes the place of the last.
    ChangeReplies << TwoSales(6);
    Window->LiveTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return Listener.Notices.size() == 2; }));
    EXPECT_EQ(Listener.Notices[1].Replaces, 101u);

    // The operator is looking: no notice.
    Window->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return Window->isActiveWindow(); }));
    ChangeReplies << TwoSales(8);
    Window->LiveTimerTimer();
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(Listener.Notices.size(), 2);
}

} // namespace

#include "test_notifications.moc"
