#pragma once
// The main window as the window tests open it: a fresh data folder, a
// scripted HTTP peer on 127.0.0.1 that stands in for the site and the
// vendor's services, and the window made on them.
#include "app/FMain.h"
#include "support/GuiHelpers.h"
#include "support/HttpPeer.h"
#include "support/TestFolders.h"

#include <QList>
#include <gtest/gtest.h>
#include <memory>

namespace tftest
{

struct TMainWindowTest : ::testing::Test {
    TDataFolder Folder;
    THttpPeer Site;
    std::unique_ptr<TfrmMain> Window;
    // How long the window's requests wait for the site (set before Make).
    int ReadTimeoutMs = TrackingProtocol::ReadTimeoutMs;

    // hsettings.dat naming the site: the peer's /site folder unless given.
    void PointSettingsAtSite(const QString& Url = {}) const
    {
        const QString url = Url.isEmpty() ? Site.Url(QStringLiteral("/site")) : Url;
        Folder.Write(QStringLiteral("hsettings.dat"), "[Settings]\r\nswebserver=" + url.toLatin1() + "\r\n");
    }
    // Makes the window, its live update asking the peer, and shows it until
    // the start-up sequence has run.
    void Open(int TimeoutMs = 10000)
    {
        Make();
        ASSERT_TRUE(ShowUntilStarted(*Window, TimeoutMs));
    }
    // Makes the window and leaves it hidden.
    void Make()
    {
        TAppEnvironment env;
        env.DataDir = Folder.Path();
        env.UpdateBaseURL = Site.Url(QStringLiteral("/liveupdate/tallyfair/"));
        env.ReadTimeoutMs = ReadTimeoutMs;
        Window = std::make_unique<TfrmMain>(env);
    }
    template <class T> T* Control(const char* name) { return Find<T>(Window.get(), name); }
    // The actions the site got, from request From on ("GET" for a download).
    QList<QByteArray> Actions(int From = 0) const
    {
        QList<QByteArray> out;
        const auto& all = Site.Requests();
        for (qsizetype i = From; i < all.size(); ++i)
            out << (all[i].Method == "GET" ? QByteArray("GET") : FormField(all[i], "action"));
        return out;
    }
};

} // namespace tftest
