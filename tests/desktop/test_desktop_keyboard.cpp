// The real program under a window manager, against the reference site on
// 127.0.0.1, driven only by keys that go through the X server (xdotool), as
// a user's keyboard would: nothing is clicked first. What the keys did is
// read back from the clipboard, which the program fills on Ctrl+C.
#include "support/SiteServer.h"
#include "support/TestFolders.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

bool Xdotool(const QStringList& Args, QByteArray* Out = nullptr)
{
    QProcess x;
    x.start(QStringLiteral("xdotool"), Args);
    if (!x.waitForFinished(20000) || x.exitCode() != 0)
        return false;
    if (Out)
        *Out = x.readAllStandardOutput().trimmed();
    return true;
}

bool Keys(const QString& Keys)
{
    return Xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80")} +
                   Keys.split(QLatin1Char(' ')));
}

struct DesktopKeyboard : ::testing::Test {
    TDataFolder Folder;
    TSiteServer Site;
    QProcess App;

    void SetUp() override
    {
        ASSERT_TRUE(Site.Start()) << Site.Error().toStdString();
        for (const char* name : {"Ann", "Bob"})
            ASSERT_TRUE(Site.Exec(QStringLiteral("INSERT INTO tf_affiliates (name, link_id) VALUES (?, ?)"),
                                  {name, QByteArray(name).toLower() + "-1"}));
        // The program's folder is its data folder: a copy beside its settings.
        const QString program = Folder.File(QStringLiteral("tallyfair"));
        ASSERT_TRUE(
            QFile::copy(qEnvironmentVariable("TF_BINARY_DIR") + QStringLiteral("/tallyfair"), program));
        Folder.Write(QStringLiteral("hsettings.dat"),
                     "[Settings]\r\nswebserver=" + Site.SiteUrl().toLatin1() + "\r\n");
        App.setWorkingDirectory(Folder.Path());
        App.start(program, {});
        ASSERT_TRUE(App.waitForStarted());
        QByteArray window;
        ASSERT_TRUE(
            Xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(App.processId())},
                    &window));
        ASSERT_TRUE(Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                             QString::fromLatin1(window.split('\n').first())}));
    }
    void TearDown() override
    {
        App.kill();
        App.waitForFinished();
    }
    // Select All and Copy in whatever has the keyboard, until the clipboard
    // holds what Expect accepts (the start-up load takes a moment).
    QString CopyUntil(const std::function<bool(const QString&)>& Expect)
    {
        QString text;
        WaitFor(
            [&] {
                Keys(QStringLiteral("ctrl+a ctrl+c"));
                text = QGuiApplication::clipboard()->text();
                return Expect(text);
            },
            20000);
        return text;
    }
};

bool Has(const QString& Text, const char* Name)
{
    return Text.contains(QLatin1String(Name));
}

TEST_F(DesktopKeyboard, ShortcutsFindRefreshAndTabWorkFromTheFirstSecond)
{
    // The affiliates list has the keyboard as soon as the window is open.
    QString copied = CopyUntil([](const QString& t) { return Has(t, "Ann") && Has(t, "Bob"); });
    ASSERT_TRUE(Has(copied, "Ann") && Has(copied, "Bob")) << copied.toStdString();

    // Ctrl+F, then typed text filters the list. Tab goes on in reading
    // order (News, Updates, Help, then the list); Shift+Tab comes back, and
    // Tab again returns to the list.
    ASSERT_TRUE(Keys(QStringLiteral("ctrl+f")));
    ASSERT_TRUE(Xdotool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("bo")}));
    ASSERT_TRUE(Keys(QStringLiteral("Tab Tab Tab Tab shift+Tab Tab")));
    copied = CopyUntil([](const QString& t) { return Has(t, "Bob") && !Has(t, "Ann"); });
    EXPECT_TRUE(Has(copied, "Bob")) << copied.toStdString();
    EXPECT_FALSE(Has(copied, "Ann")) << copied.toStdString();

    // F5 reloads from the site, and the find text still applies. The new
    // row carries the site's change mark, as the scripts write it, so that
    // a refresh by changes brings it too.
    ASSERT_TRUE(
        Site.Exec(QStringLiteral("INSERT INTO tf_affiliates (name, link_id, changed) VALUES ('Bobby', "
                                 "'bobby-1', (SELECT value FROM tf_changes WHERE name = 'epoch'))")));
    ASSERT_TRUE(Keys(QStringLiteral("F5")));
    copied = CopyUntil([](const QString& t) { return Has(t, "Bobby"); });
    EXPECT_TRUE(Has(copied, "Bobby")) << copied.toStdString();
    EXPECT_FALSE(Has(copied, "Ann")) << copied.toStdString();
}

} // namespace
