// The vendor's services through the main window: the start-up news notice,
// the News button and the last news read, and the live update.
#include "components/BalloonHint.h"
#include "net/HttpClient.h"
#include "support/QtPrinters.h"
#include "support/WindowFixture.h"
#include "util/FileCrypt.h"

#include <QFile>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

struct VendorWindow : TMainWindowTest {
    QByteArray LastNewsReply = "12^Summer draw is open\xAFOK\r\n";
    QByteArray ListReply = "12^Summer draw is open^2026-12-01\xAF"
                           "11^Older^2026-11-01\xAFOK";
    QByteArray Descriptor; // empty: the update endpoint answers 404

    void SetUp() override
    {
        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Target.endsWith("mainappupdate.inf"))
                return Descriptor.isEmpty() ? THttpAnswer::Text("", 404) : THttpAnswer::Text(Descriptor);
            if (r.Target.endsWith("getnewsdetails.php"))
                return THttpAnswer::Text("$3Cb$3EPrize$3C/b$3E\xAFOK");
            if (r.Target.endsWith("getlastnews.php"))
                return THttpAnswer::Text(FormField(r, "conttype") == "all" ? ListReply : LastNewsReply);
            return THttpAnswer::Text("BAD");
        });
    }
    void Brand(const QByteArray& extra = {})
    {
        const QByteArray plain = "<%%ApplicationName%%>Prize Desk<%%/ApplicationName%%>\r\n"
                                 "<%%BranderCode%%>PD1<%%/BranderCode%%>\r\n"
                                 "<%%BranderType%%>Gold<%%/BranderType%%>\r\n"
                                 "<%%GoldNewsBaseURL%%>" +
                                 Site.Url(QStringLiteral("/news/")).toLatin1() +
                                 "<%%/GoldNewsBaseURL%%>\r\n"
                                 "<%%GoldPublID%%>pub-7<%%/GoldPublID%%>\r\n" +
                                 extra;
        ASSERT_TRUE(EncryptBytesToFile(plain, Folder.File(QStringLiteral("dbsettings.dat"))));
    }
    QByteArray Plain()
    {
        QByteArray plain;
        EXPECT_EQ(DecryptFileToMemory(Folder.File(QStringLiteral("dbsettings.dat")), plain),
                  TDecryptOutcome::Authentic);
        return plain;
    }
};

TEST_F(VendorWindow, NewerNewsAtStartShowsTheBalloonAtTheNewsButton)
{
    Brand("<%%LastNewsId%%>11<%%/LastNewsId%%>\r\n");
    Open();
    const THttpRequest& ask = Site.Requests().first();
    EXPECT_TRUE(ask.Target.endsWith("/news/getlastnews.php")) << ask.Target.constData();
    EXPECT_FALSE(ask.Target.contains("//getlastnews"));
    EXPECT_EQ(FormPairs(ask), (QList<QPair<QByteArray, QByteArray>>{{"memusername", "pub-7"},
                                                                    {"prodcode", "PD1"},
                                                                    {"prodtype", "BG"},
                                                                    {"conttype", "lastcode"},
                                                                    {"newstarget", "UA"},
                                                                    {"something", ""}}));
    auto* hint = Window->LMDMessageHint1;
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->Text(), QStringLiteral("You've Got A Message!\r\nSummer draw is open"));
    auto* news = Find<QToolButton>(Window.get(), "btnNews");
    const QPoint centre = news->mapToGlobal(news->rect().center());
    EXPECT_NEAR(hint->geometry().right() - hint->ShadowDepth, centre.x(), 2);
    EXPECT_NEAR(hint->geometry().top(), centre.y(), 2);
    // The start-up check never writes the brand file.
    EXPECT_TRUE(Plain().contains("<%%LastNewsId%%>11<%%/LastNewsId%%>"));
}

TEST_F(VendorWindow, NoBalloonForNewsAlreadyReadOrFailedChecks)
{
    Brand("<%%LastNewsId%%>15<%%/LastNewsId%%>\r\n");
    Open();
    EXPECT_FALSE(Window->LMDMessageHint1->isVisible());
    Window.reset();
    LastNewsReply = "INVALIDUSER";
    TModalPilot pilot; // a quiet check shows nothing
    Open();
    EXPECT_FALSE(Window->LMDMessageHint1->isVisible());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(VendorWindow, NewsButtonOpensTheListAndReadingAnItemRemembersIt)
{
    Brand("<%%AboutText%%>x<%%/AboutText%%> <%%LastNewsId%%>3<%%/LastNewsId%%> tail\r\n");
    Open();
    TModalPilot pilot;
    int rows = -1;
    pilot.Handle([&](QWidget* news) {
        auto* list = news->findChild<QTreeWidget*>(QStringLiteral("lvwItems"));
        rows = list->topLevelItemCount();
        list->setCurrentItem(list->topLevelItem(1));
        WaitFor([&] { return Site.Requests().last().Target.endsWith("getnewsdetails.php"); });
        WaitFor([] { return false; }, 200);
        news->close();
    });
    Click(Find<QToolButton>(Window.get(), "btnNews"));
    EXPECT_EQ(rows, 2);
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    const QByteArray plain = Plain();
    EXPECT_TRUE(plain.contains("<%%LastNewsId%%>11<%%/LastNewsId%%>")) << plain.constData();
    // What shared the line is kept.
    EXPECT_TRUE(plain.contains("<%%AboutText%%>x<%%/AboutText%%>"));
    EXPECT_TRUE(plain.contains(" tail"));
    EXPECT_FALSE(Folder.Exists(QStringLiteral("dbsettings.sim")));
}

TEST_F(VendorWindow, ANewsIdCannotWriteElementsIntoTheBrandFile)
{
    Brand("<%%LastNewsId%%>3<%%/LastNewsId%%>\r\n");
    ListReply = "13\r\n<%%Welcome1%%>planted<%%/Welcome1%%>^Odd item^2026-12-01\xAFOK";
    Open();
    TModalPilot pilot;
    pilot.Handle([&](QWidget* news) {
        auto* list = news->findChild<QTreeWidget*>(QStringLiteral("lvwItems"));
        list->setCurrentItem(list->topLevelItem(0));
        WaitFor([&] { return Site.Requests().last().Target.endsWith("getnewsdetails.php"); });
        WaitFor([] { return false; }, 200);
        news->close();
    });
    Click(Find<QToolButton>(Window.get(), "btnNews"));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    const QByteArray plain = Plain();
    EXPECT_FALSE(plain.contains("planted")) << plain.constData();
    EXPECT_TRUE(plain.contains("<%%LastNewsId%%>3<%%/LastNewsId%%>"));
}

TEST_F(VendorWindow, ANewsServerThatNeverAnswersDoesNotStallTheStart)
{
    Brand();
    Site.SetHandler([](const THttpRequest&) {
        THttpAnswer a;
        a.Hang = true;
        return a;
    });
    // Bounded from the start, before any tracking request has run.
    ReadTimeoutMs = 400;
    Make();
    TModalPilot pilot;
    ASSERT_TRUE(ShowUntilStarted(*Window, 15000));
    EXPECT_FALSE(RequestRunning(*Window));
    EXPECT_FALSE(Window->LMDMessageHint1->isVisible());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(VendorWindow, DamagedBrandFileIsNeverRewritten)
{
    Brand();
    QByteArray bytes = Folder.Read(QStringLiteral("dbsettings.dat"));
    bytes[bytes.size() - 2] = char(bytes[bytes.size() - 2] ^ 1);
    Folder.Write(QStringLiteral("dbsettings.dat"), bytes);
    Open();
    Window->SaveLastNewsId(QStringLiteral("99"));
    EXPECT_EQ(Folder.Read(QStringLiteral("dbsettings.dat")), bytes);
}

TEST_F(VendorWindow, NoNewsSaysSoAfterTheFailureMessage)
{
    Brand();
    Open();
    ListReply = "INVALIDUSER";
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    Click(Find<QToolButton>(Window.get(), "btnNews"));
    EXPECT_EQ(pilot.Messages, (QStringList{"There is a trouble with the Publisher Id. Contact your provider.",
                                           "There's no news for this application!"}));
}

TEST_F(VendorWindow, ManualUpdateCheckWithoutDescriptorSaysThereIsNone)
{
    Open();
    // A descriptor from an earlier check that offered a newer version must
    // not be read as this check's answer.
    Folder.Write(QStringLiteral("mainappupdate.inf"), "[APPLICATION]\r\nVersion=999\r\n");
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    Click(Find<QToolButton>(Window.get(), "bsSkinSpeedButton1"));
    EXPECT_EQ(pilot.Messages, QStringList{"There's no new updates for this application!"});
    EXPECT_FALSE(Folder.Exists(QStringLiteral("mainappupdate.inf")));
}

TEST_F(VendorWindow, AcceptedUpdateStartsTheUpdaterAndCloses)
{
    Descriptor = "[Application]\r\nName=Tallyfair\r\nversion = 2.1\r\n";
    const QString log = Folder.File(QStringLiteral("updater.log"));
    Folder.Write(QStringLiteral("Updater.exe"),
                 "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + log.toLocal8Bit() +
                     "'\n");
    QFile::setPermissions(Folder.File(QStringLiteral("Updater.exe")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    Open(); // the quiet check at start offers the update
    ASSERT_TRUE(WaitFor([&] { return !Window->isVisible(); }, 5000));
    ASSERT_EQ(pilot.Messages.size(), 2);
    EXPECT_EQ(pilot.Messages[0], QStringLiteral("There is a new update: (version 2.1) available for your "
                                                "application!. Do you want download this update now?"));
    EXPECT_TRUE(pilot.Messages[1].startsWith(QStringLiteral("To update your software")));
    ASSERT_TRUE(WaitFor([&] { return Folder.Exists(QStringLiteral("updater.log")); }));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(Folder.Read(QStringLiteral("updater.log")),
              Site.Url(QStringLiteral("/liveupdate/tallyfair/")).toLatin1() + "\n2.01\nA\n");
}

TEST_F(VendorWindow, CancelOnEitherUpdateQuestionStartsNothingAndKeepsRunning)
{
    Descriptor = "[Application]\r\nVersion=2.1\r\n";
    Folder.Write(QStringLiteral("Updater.exe"), "#!/bin/sh\ntouch \"$0.ran\"\n");
    QFile::setPermissions(Folder.File(QStringLiteral("Updater.exe")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Cancel); // the offer, at start
    pilot.Answer(QMessageBox::Ok);     // the offer again, on the button
    pilot.Answer(QMessageBox::Cancel); // "To update your software..."
    Open();
    Click(Find<QToolButton>(Window.get(), "bsSkinSpeedButton1"));
    WaitFor([] { return false; }, 300);
    ASSERT_EQ(pilot.Messages.size(), 3);
    EXPECT_EQ(pilot.Messages[0], pilot.Messages[1]);
    EXPECT_TRUE(pilot.Messages[2].startsWith(QStringLiteral("To update your software")));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    EXPECT_FALSE(Folder.Exists(QStringLiteral("Updater.exe.ran")));
    EXPECT_TRUE(Window->isVisible());
}

TEST_F(VendorWindow, UpdateWithoutUpdaterWarnsAndKeepsRunning)
{
    Descriptor = "[APPLICATION]\r\nVersion=10\r\n";
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    Open(); // offered by the quiet check at start
    ASSERT_EQ(pilot.Messages.size(), 2);
    EXPECT_EQ(pilot.Messages[1],
              QStringLiteral("The updater module is missing. Please reinstall again the current version!"));
    EXPECT_TRUE(Window->isVisible());
}

} // namespace
