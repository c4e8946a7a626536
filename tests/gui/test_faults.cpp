// The main window when things go wrong: a site that hangs, drops the
// connection, fails, loops, floods or talks nonsense; a reply after the
// window closed; a settings file that cannot be written; a brand file cut
// short. Each ends within its time-out in a quiet or a named failure, the
// lists keep what they showed, and the data folder holds no stray files.
#include "net/HttpClient.h"
#include "support/QtPrinters.h"
#include "support/WindowFixture.h"
#include "util/FileCrypt.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

const QByteArray GoodList = "\"7\",\"Zed\",\"z1\",\"1\",\"2\",\"3\",\"4\"^"
                            "\"5\",\"Ann\",\"a1\",\"10\",\"20\",\"30\",\"40\"^OK";
// A list the site would never send with a failure status or cut short.
const QByteArray OtherList = "\"9\",\"Eve\",\"e1\",\"5\",\"5\",\"5\",\"5\"^OK";

struct FaultyWindow : TMainWindowTest {
    // How the site answers the affiliates list (action 3) once it has
    // answered it well at start-up.
    std::function<THttpAnswer(const THttpRequest&)> ListAnswer;
    QStringList FolderAtStart;

    void SetUp() override
    {
        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Method == "GET")
                return r.Target.endsWith(".inf") ? THttpAnswer::Text({}, 404) : THttpAnswer::Text("READY");
            if (FormField(r, "action") == "3")
                return ListAnswer ? ListAnswer(r) : THttpAnswer::Text(GoodList);
            return THttpAnswer::Text("OK");
        });
        PointSettingsAtSite();
    }
    void OpenOnGoodList()
    {
        Open(30000);
        ASSERT_EQ(Names(), (QStringList{"Ann", "Zed"}));
        FolderAtStart = Folder.Entries();
    }
    QStringList Names()
    {
        QAbstractItemModel* m = Control<QTableView>("lvwPages")->model();
        QStringList out;
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, 0).data().toString();
        return out;
    }
    QString Text(const char* label) { return Control<QLabel>(label)->text(); }
    int ListRequests() const
    {
        int n = 0;
        for (const THttpRequest& r : Site.Requests())
            n += r.Method == "POST" && FormField(r, "action") == "3";
        return n;
    }
    // Refresh, and how long it took until the window was idle again.
    qint64 Refresh()
    {
        QElapsedTimer clock;
        clock.start();
        Click(Control<QPushButton>("btnRevfreshSegments"));
        EXPECT_TRUE(WaitFor([&] { return !RequestRunning(*Window); }, 120000));
        return clock.elapsed();
    }
    void ExpectListAsAtStart()
    {
        EXPECT_EQ(Names(), (QStringList{"Ann", "Zed"}));
        EXPECT_EQ(Text("lblTotalHits"), QStringLiteral("Total: 2 affiliate(s)"));
        EXPECT_EQ(Text("lblUniqueHits"), QStringLiteral("Unique Hits: 44"));
        EXPECT_TRUE(Control<QLabel>("MainStatusPanel")->text().isEmpty());
    }
    void ExpectFolderAsAtStart() { EXPECT_EQ(Folder.Entries(), FolderAtStart); }
};

TEST_F(FaultyWindow, AHangingSiteIsGivenUpAfterTheTrackingTimeOut)
{
    ReadTimeoutMs = 1500;
    OpenOnGoodList();
    TModalPilot pilot;
    ListAnswer = [](const THttpRequest&) {
        THttpAnswer a;
        a.Hang = true;
        return a;
    };

    // A time-out set on the client directly does not hold: each tracking
    // request puts back its own.
    Window->IdHTTP1->SetReadTimeout(300);
    bool stillWaiting = false;
    QTimer::singleShot(900, Window.get(), [&] { stillWaiting = RequestRunning(*Window); });
    const int before = ListRequests();
    const qint64 took = Refresh();
    EXPECT_TRUE(stillWaiting);
    EXPECT_EQ(ListRequests(), before + 1);
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 30000);
    ExpectListAsAtStart();
    EXPECT_TRUE(pilot.Messages.isEmpty()) << pilot.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    ExpectFolderAsAtStart();
}

TEST_F(FaultyWindow, ACutOffOrFailedOrLoopingReplyLeavesTheListAsItWas)
{
    OpenOnGoodList();
    TModalPilot pilot;

    ListAnswer = [](const THttpRequest&) {
        THttpAnswer a = THttpAnswer::Text(OtherList);
        a.DropAfter = 12;
        return a;
    };
    Refresh();
    ExpectListAsAtStart();

    ListAnswer = [](const THttpRequest&) { return THttpAnswer::Text(OtherList, 500); };
    Refresh();
    ExpectListAsAtStart();

    // Every answer for the list sends the client to the same place again.
    Site.SetHandler([this](const THttpRequest& r) {
        if (r.Target.startsWith("/site/loop") || (r.Method == "POST" && FormField(r, "action") == "3"))
            return THttpAnswer::Redirect(Site.Url(QStringLiteral("/site/loop")).toLatin1());
        return THttpAnswer::Text(r.Method == "GET" ? "READY" : "OK");
    });
    const int before = int(Site.Requests().size());
    const qint64 took = Refresh();
    int loops = 0;
    for (int i = before; i < Site.Requests().size(); ++i)
        loops += Site.Requests()[i].Target.startsWith("/site/loop");
    EXPECT_GE(loops, 1);
    EXPECT_LE(loops, THttpClient::MaxRedirects + 1);
    EXPECT_LT(took, 60000);
    ExpectListAsAtStart();

    EXPECT_TRUE(pilot.Messages.isEmpty()) << pilot.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    ExpectFolderAsAtStart();
}

TEST_F(FaultyWindow, AFiftyMegabyteReplyIsReadAndTurnedDown)
{
    OpenOnGoodList();
    TModalPilot pilot;
    const qint64 filler = qint64(50) * 1024 * 1024;
    ListAnswer = [filler](const THttpRequest&) {
        THttpAnswer a = THttpAnswer::Text("<html>");
        a.FillerSize = filler;
        return a;
    };
    const qint64 sentBefore = Site.BodyBytesSent();
    Refresh();
    EXPECT_GE(Site.BodyBytesSent() - sentBefore, filler);
    ExpectListAsAtStart();
    EXPECT_TRUE(pilot.Messages.isEmpty());
    ExpectFolderAsAtStart();
    // The window is still usable afterwards.
    ListAnswer = nullptr;
    Refresh();
    ExpectListAsAtStart();
}

TEST_F(FaultyWindow, BinaryRepliesLeaveAConsistentListAndTheNextGoodLoadRepairsIt)
{
    OpenOnGoodList();
    TModalPilot pilot;
    QRandomGenerator random(20240611);
    const auto noise = [&random](int size, bool allowO) {
        QByteArray bytes(size, '\0');
        for (char& c : bytes) {
            c = char(random.bounded(256));
            if (!allowO && c == 'O')
                c = 'o';
        }
        return bytes;
    };

    // Without "OK" anywhere the reply is no list at all.
    const QByteArray plainNoise = noise(4096, false);
    ListAnswer = [&](const THttpRequest&) { return THttpAnswer::Text(plainNoise); };
    Refresh();
    ExpectListAsAtStart();

    // Noise cut into records by the list's own separators.
    for (int round = 0; round < 5; ++round) {
        QByteArray reply;
        for (int rec = 0; rec < 4; ++rec) {
            for (int f = 0; f < 3 + round; ++f)
                reply += '"' + noise(1 + int(random.bounded(40)), true) + "\",";
            reply += "\"1\"^";
        }
        reply += "OK";
        ListAnswer = [reply](const THttpRequest&) { return THttpAnswer::Text(reply); };
        Refresh();
        QAbstractItemModel* m = Control<QTableView>("lvwPages")->model();
        ASSERT_LE(m->rowCount(), 4);
        for (int r = 0; r < m->rowCount(); ++r)
            for (int c = 0; c < m->columnCount(); ++c)
                EXPECT_TRUE(m->index(r, c).isValid());
    }

    ListAnswer = nullptr;
    Refresh();
    ExpectListAsAtStart();
    EXPECT_TRUE(pilot.Messages.isEmpty());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    ExpectFolderAsAtStart();
}

TEST_F(FaultyWindow, AReplyAfterTheWindowClosedIsDroppedQuietly)
{
    OpenOnGoodList();
    TModalPilot pilot;
    ListAnswer = [](const THttpRequest&) {
        THttpAnswer a = THttpAnswer::Text(OtherList);
        a.DelayMs = 4000;
        return a;
    };
    QTimer::singleShot(600, Window.get(), [this] { Window->close(); });
    const qint64 took = Refresh();
    EXPECT_LT(took, 3500); // closing ended the wait, the reply did not
    EXPECT_FALSE(Window->isVisible());
    ExpectListAsAtStart();

    Window.reset();
    // The site answers now, to nobody.
    WaitFor([] { return false; }, 4500);
    EXPECT_TRUE(pilot.Messages.isEmpty());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
    ExpectFolderAsAtStart();
}

TEST_F(FaultyWindow, ASettingsFileReplacedByAFolderIsNamedAndTheValuesStayInUse)
{
    OpenOnGoodList();
    TModalPilot pilot;
    // The dialog comes first, then whatever the saving has to say.
    const auto save = [&](const QString& host, bool warned) {
        pilot.Handle([host](QWidget* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("edtHostname"))->setText(host);
            Click(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")));
        });
        if (warned)
            pilot.Answer(QMessageBox::Ok);
        Click(Control<QPushButton>("btnSimple"));
    };
    save(QStringLiteral("db-one"), false);
    ASSERT_TRUE(pilot.Messages.isEmpty());
    const QByteArray firstConfig = Folder.Read(QStringLiteral("config.php"));
    ASSERT_TRUE(firstConfig.contains("db-one"));

    ASSERT_TRUE(QFile::remove(Folder.File(QStringLiteral("hsettings.dat"))));
    ASSERT_TRUE(QDir(Folder.Path()).mkdir(QStringLiteral("hsettings.dat")));
    save(QStringLiteral("db-two"), true);

    ASSERT_EQ(pilot.Messages.size(), 1);
    EXPECT_TRUE(
        pilot.Messages[0].contains(QDir::toNativeSeparators(Folder.File(QStringLiteral("hsettings.dat")))))
        << pilot.Messages[0].toStdString();
    EXPECT_EQ(Window->Settings.DbHost, QStringLiteral("db-two"));
    EXPECT_EQ(Window->Settings.SiteUrl, Site.Url(QStringLiteral("/site")));
    // The site's file is not changed behind a settings file that failed.
    EXPECT_EQ(Folder.Read(QStringLiteral("config.php")), firstConfig);
    EXPECT_EQ(Folder.Entries(), (QStringList{"config.php", "hsettings.dat"}));
    EXPECT_TRUE(QFileInfo(Folder.File(QStringLiteral("hsettings.dat"))).isDir());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());

    // The values in memory still drive the requests.
    const int before = ListRequests();
    Refresh();
    EXPECT_EQ(ListRequests(), before + 1);
    ExpectListAsAtStart();
}

struct ShortBrandFile : ::testing::Test {
    const QByteArray Plain = "<%%ApplicationName%%>Prize Desk<%%/ApplicationName%%>\n"
                             "<%%BranderType%%>Gold<%%/BranderType%%>\n"
                             "<%%MakeMoneyButton%%>Earn<%%/MakeMoneyButton%%>\n"
                             "<%%LastNewsId%%>5<%%/LastNewsId%%>\n";

    struct TLook {
        QString Title;
        QString MakeMoney;
        bool NewsVisible = false;
    };
    static TLook LookOf(const QString& dataDir)
    {
        TAppEnvironment env;
        env.DataDir = dataDir;
        env.UpdateBaseURL = QStringLiteral("http://127.0.0.1:9/liveupdate/tallyfair/");
        TfrmMain window(env);
        window.show();
        QApplication::processEvents();
        TLook look;
        look.Title = window.windowTitle();
        look.MakeMoney = Find<QPushButton>(&window, "btnMakeMoney")->text();
        look.NewsVisible = Find<QToolButton>(&window, "btnNews")->isVisibleTo(&window);
        window.SaveLastNewsId(QStringLiteral("99"));
        window.close();
        return look;
    }
};

TEST_F(ShortBrandFile, OpensAsAnEmptyBrandAndIsNeverRewritten)
{
    TDataFolder plainFolder;
    const TLook design = LookOf(plainFolder.Path());
    // A brand file that yields no text is a brand with every field empty.
    TDataFolder emptyFolder;
    ASSERT_TRUE(EncryptBytesToFile(QByteArray(), emptyFolder.File(QStringLiteral("dbsettings.dat"))));
    const TLook empty = LookOf(emptyFolder.Path());

    TDataFolder intact;
    ASSERT_TRUE(EncryptBytesToFile(Plain, intact.File(QStringLiteral("dbsettings.dat"))));
    const QByteArray whole = intact.Read(QStringLiteral("dbsettings.dat"));
    const TLook branded = LookOf(intact.Path());
    ASSERT_NE(branded.Title, empty.Title); // the brand does show when whole

    for (const qsizetype keep : {qsizetype(0), qsizetype(7), whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(keep);
        TDataFolder folder;
        const QByteArray cut = whole.left(keep);
        folder.Write(QStringLiteral("dbsettings.dat"), cut);
        const TLook look = LookOf(folder.Path());
        if (keep < 8) {
            EXPECT_EQ(look.Title, empty.Title);
            EXPECT_EQ(look.NewsVisible, empty.NewsVisible);
        }
        // Whatever was read, the captions come from the program's defaults
        // or the brand, never from a half-deciphered block.
        EXPECT_TRUE(look.MakeMoney == design.MakeMoney || look.MakeMoney == branded.MakeMoney)
            << look.MakeMoney.toStdString();
        EXPECT_EQ(folder.Read(QStringLiteral("dbsettings.dat")), cut);
        EXPECT_EQ(folder.Entries(), QStringList{"dbsettings.dat"});
    }
    // The whole file, by contrast, does take the new id.
    EXPECT_NE(intact.Read(QStringLiteral("dbsettings.dat")), whole);
}

} // namespace
