// The vendor's services when they send more than they should, or try to
// take the update check off https: each reply over its cap fails like any
// failed request, quietly where the check is quiet.
#include "app/FMain.h"
#include "brand/AppConstants.h"
#include "components/HtmlView.h"
#include "net/HttpClient.h"
#include "support/GuiHelpers.h"
#include "support/HttpPeer.h"
#include "support/TestFolders.h"
#include "util/FileCrypt.h"
#include "vendor/LiveUpdate.h"
#include "vendor/NewsProtocol.h"

#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

constexpr qint64 MiB = qint64(1) << 20;

struct LimitedVendor : ::testing::Test {
    TDataFolder Folder;
    THttpPeer News;
    THttpPeer Update{THttpPeer::Tls};
    std::unique_ptr<TfrmMain> Window;

    void SetUp() override
    {
        const QByteArray plain = "<%%BranderCode%%>PD1<%%/BranderCode%%>\r\n"
                                 "<%%BranderType%%>Gold<%%/BranderType%%>\r\n"
                                 "<%%GoldNewsBaseURL%%>" +
                                 News.Url(QStringLiteral("/news/")).toLatin1() +
                                 "<%%/GoldNewsBaseURL%%>\r\n"
                                 "<%%GoldPublID%%>pub-7<%%/GoldPublID%%>\r\n";
        ASSERT_TRUE(EncryptBytesToFile(plain, Folder.File(QStringLiteral("dbsettings.dat"))));
    }
    // Opens the window with the update service over https, trusting the
    // test authority as the system's store would trust the maker's.
    void Open()
    {
        TAppEnvironment env{Folder.Path(), Update.Url(QStringLiteral("/liveupdate/tallyfair/"))};
        Window = std::make_unique<TfrmMain>(env);
        Window->IdHTTP1->AddTrustedCertificates(THttpPeer::TestCa());
        ASSERT_TRUE(ShowUntilStarted(*Window, 20000));
    }
    static THttpAnswer Endless(char Filler)
    {
        THttpAnswer a;
        a.Chunked = true;
        a.Filler = Filler;
        a.FillerSize = 64 * MiB;
        return a;
    }
};

TEST_F(LimitedVendor, NewsRepliesOverTheirCapFailQuietlyAtStartAndAsNoNewsOnTheButton)
{
    News.SetHandler([](const THttpRequest&) { return Endless('^'); });
    TModalPilot pilot;
    Open();
    EXPECT_TRUE(pilot.Messages.isEmpty()); // the start-up check stays quiet

    // Read whole, the carets would be one entry without "OK", and so no
    // message; cut off, the reply is empty like any failed request's.
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    Window->btnNewsClick();
    EXPECT_EQ(
        pilot.Messages,
        (QStringList{QStringLiteral("There is a trouble accessing the news site. Contact your provider."),
                     NoNewsMessage}));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(LimitedVendor, ANewsBodyOverItsCapIsNotShownNorRemembered)
{
    News.SetHandler([](const THttpRequest& r) {
        if (r.Target.endsWith("getnewsdetails.php")) {
            THttpAnswer a = THttpAnswer::Text("$3Cp$3E");
            a.FillerSize = NewsBodyMaxSize; // one page and a bit more
            return a;
        }
        return THttpAnswer::Text(FormField(r, "conttype") == "all" ? "12^Big^today\xAFOK" : "OK");
    });
    Open();
    TModalPilot pilot;
    QString shown = QStringLiteral("unset");
    pilot.Handle([&](QWidget* news) {
        auto* list = news->findChild<QTreeWidget*>(QStringLiteral("lvwItems"));
        list->setCurrentItem(list->topLevelItem(0));
        WaitFor([&] { return News.Requests().last().Target.endsWith("getnewsdetails.php"); });
        WaitFor([&] { return !pilot.Messages.isEmpty(); });
        shown = news->findChild<THtmlView*>(QStringLiteral("prfEditorNews"))->toPlainText();
        news->close();
    });
    pilot.Answer(QMessageBox::Ok);
    Window->btnNewsClick();
    EXPECT_EQ(pilot.Messages, QStringList{QStringLiteral(
                                  "There is a trouble accessing the news site. Contact your provider.")});
    EXPECT_EQ(shown, QString());
    QByteArray plain;
    ASSERT_EQ(DecryptFileToMemory(Folder.File(QStringLiteral("dbsettings.dat")), plain),
              TDecryptOutcome::Authentic);
    EXPECT_FALSE(plain.contains("LastNewsId"));
}

TEST_F(LimitedVendor, TheUpdateCheckRunsOverHttpsAndNeverDropsToHttp)
{
    News.SetHandler([](const THttpRequest&) { return THttpAnswer::Text("OK"); });
    THttpPeer plain;
    plain.SetHandler(
        [](const THttpRequest&) { return THttpAnswer::Text("[APPLICATION]\r\nVersion=9.99\r\n"); });
    bool downgrade = false;
    Update.SetHandler([&](const THttpRequest&) {
        if (downgrade)
            return THttpAnswer::Redirect(plain.Url(QStringLiteral("/lu/mainappupdate.inf")).toLatin1());
        return THttpAnswer::Text("[APPLICATION]\r\nVersion=9.99\r\n");
    });
    // Over https the offer comes, at start.
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Cancel);
    Open();
    EXPECT_EQ(pilot.Messages, QStringList{NewUpdateQuestion(QStringLiteral("9.99"))});

    // Sent on to plain http, the check fails: nothing is fetched there.
    downgrade = true;
    pilot.Answer(QMessageBox::Ok);
    Window->btnUpdateClick();
    EXPECT_EQ(pilot.Messages.last(), NoUpdatesMessage);
    EXPECT_TRUE(plain.Requests().isEmpty());
    EXPECT_FALSE(Folder.Exists(UpdateDescriptorName));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(LimitedVendor, ADescriptorOverItsCapIsNoUpdate)
{
    News.SetHandler([](const THttpRequest&) { return THttpAnswer::Text("OK"); });
    bool chunked = false;
    Update.SetHandler([&](const THttpRequest&) {
        THttpAnswer a = chunked ? Endless('\n') : THttpAnswer::Text("[APPLICATION]\r\nVersion=9.99\r\n");
        if (chunked)
            a.Body = "[APPLICATION]\r\nVersion=9.99\r\n";
        else
            a.FillerSize = 16 * MiB; // announced by its length
        return a;
    });
    // The version at the head of both would be offered, were they read.
    TModalPilot pilot;
    Open();
    EXPECT_TRUE(pilot.Messages.isEmpty()); // quiet at start
    chunked = true;                        // and without a length, counted
    pilot.Answer(QMessageBox::Ok);
    Window->btnUpdateClick();
    EXPECT_EQ(pilot.Messages, QStringList{NoUpdatesMessage});
    EXPECT_FALSE(Folder.Exists(UpdateDescriptorName));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

} // namespace
