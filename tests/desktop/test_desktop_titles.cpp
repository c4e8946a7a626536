// What the window system is told: the titles of the main window, the dialogs
// and the message boxes as xprop reads them from a real X server (Xvfb), for
// the window built in this process and for the real program started with
// Qt options on its command line.
#include "app/AppStart.h"
#include "app/FMain.h"
#include "components/ErrorReporter.h"
#include "support/GuiHelpers.h"
#include "support/QtPrinters.h"
#include "support/TestFolders.h"
#include "util/FileCrypt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

const QByteArray Brand = "<%%ApplicationName%%>Prize Desk<%%/ApplicationName%%>\n";

// _NET_WM_NAME of the X window, as xprop prints it; empty while unset.
QString DesktopTitle(WId Window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(Window), QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000))
        return {};
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype eq = out.indexOf(QLatin1String(" = \""));
    if (eq < 0 || !out.endsWith(QLatin1Char('"')))
        return {};
    return out.mid(eq + 4, out.size() - eq - 5);
}

QString TitleOf(QWidget* w)
{
    QString title;
    WaitFor([&] { return !(title = DesktopTitle(w->winId())).isEmpty(); });
    return title;
}

struct DesktopTitles : ::testing::Test {
    TDataFolder Folder;

    std::unique_ptr<TfrmMain> Open()
    {
        TAppEnvironment env{Folder.Path(), QStringLiteral("http://127.0.0.1:9/liveupdate/tallyfair/")};
        auto window = std::make_unique<TfrmMain>(env);
        EXPECT_TRUE(ShowUntilStarted(*window, 30000));
        return window;
    }
};

TEST_F(DesktopTitles, ABrandedCopyNamesOnlyItsBrandAndDialogsOnlyThemselves)
{
    ASSERT_TRUE(EncryptBytesToFile(Brand, Folder.File(QStringLiteral("dbsettings.dat"))));
    auto window = Open();
    EXPECT_EQ(TitleOf(window.get()), QStringLiteral("Prize Desk v2.01"));

    TModalPilot pilot;
    QStringList titles;
    const auto record = [&](QWidget* modal) {
        titles << TitleOf(modal);
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->button(QMessageBox::Ok)->click();
        else
            QMetaObject::invokeMethod(modal, "reject");
    };
    for (int i = 0; i < 3; ++i)
        pilot.Handle(record);
    Click(Find<QPushButton>(window.get(), "btnSimple"));
    Click(Find<QPushButton>(window.get(), "btnAbout"));
    Click(Find<QPushButton>(window.get(), "bsSkinButton3")); // Edit, nothing selected
    EXPECT_EQ(titles, (QStringList{"Settings", "About Prize Desk...", "Prize Desk v2.01"}));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(DesktopTitles, TheRealProgramIgnoresQtOptionsOnItsCommandLine)
{
    // The program's folder is its data folder: run a copy beside a brand file.
    const QString program = Folder.File(QStringLiteral("tallyfair"));
    ASSERT_TRUE(QFile::copy(qEnvironmentVariable("TF_BINARY_DIR") + QStringLiteral("/tallyfair"), program));
    ASSERT_TRUE(EncryptBytesToFile(Brand, Folder.File(QStringLiteral("dbsettings.dat"))));
    QProcess app;
    app.start(program,
              {QStringLiteral("-qwindowtitle"), QStringLiteral("Other"), QStringLiteral("-reverse")});
    ASSERT_TRUE(app.waitForStarted());
    QStringList titles;
    WaitFor(
        [&] {
            QProcess search;
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--pid"),
                                                     QString::number(app.processId())});
            search.waitForFinished();
            titles.clear();
            for (const QByteArray& id : search.readAllStandardOutput().split('\n'))
                if (const QString title = DesktopTitle(id.toULongLong()); !title.isEmpty())
                    titles << title;
            return !titles.isEmpty();
        },
        20000);
    app.kill();
    app.waitForFinished();
    EXPECT_EQ(titles, QStringList{QStringLiteral("Prize Desk v2.01")});
}

} // namespace
