#pragma once
// The real main window on the shared site of the test's parameter: started
// with a settings file that names the site, its controls found by name.
#include "SiteFixture.h"
#include "app/FMain.h"
#include "support/GuiHelpers.h"
#include "support/TestFolders.h"

#include <QTableView>
#include <memory>

namespace tftest
{

class TProgramSiteTest : public TSiteTest
{
protected:
    TDataFolder Folder;
    std::unique_ptr<TfrmMain> Window;

    void OpenProgram()
    {
        Folder.Write(QStringLiteral("hsettings.dat"),
                     "[Settings]\r\nswebserver=" + Site->SiteUrl().toLatin1() + "\r\n");
        TAppEnvironment env;
        env.DataDir = Folder.Path();
        env.UpdateBaseURL = QStringLiteral("http://127.0.0.1:9/liveupdate/tallyfair/");
        Window = std::make_unique<TfrmMain>(env);
        ASSERT_TRUE(ShowUntilStarted(*Window, 60000));
    }
    void TearDown() override
    {
        Window.reset();
        TSiteTest::TearDown();
    }
    template <class T> T* Control(const char* name) { return Find<T>(Window.get(), name); }
    QStringList Column(const char* List, int C) { return ColumnTexts(Window.get(), List, C); }
    // Until the window has no request running.
    void Idle()
    {
        ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window); }, 60000));
    }
};

} // namespace tftest
