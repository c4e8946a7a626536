// What brand texts, welcome pages and news bodies can make the program
// read: nothing. Each test lays out traps (a local picture, a FIFO, the
// endless /dev/zero), shows documents and captions that name them, and
// checks that nothing opened them.
#include "app/FMain.h"
#include "components/HtmlView.h"
#include "components/MessageBox.h"
#include "components/SkinApply.h"
#include "support/FakeBrowser.h"
#include "support/GuiHelpers.h"
#include "support/TestFolders.h"
#include "util/FileCrypt.h"
#include "vendor/FAbout.h"
#include "vendor/FNews.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tftest;

namespace
{

// A folder with a red picture and a FIFO, watched for any open. A FIFO that
// someone opens for reading blocks them until a writer comes: a probe keeps
// trying to open it for writing, which without blocking succeeds only while
// a reader has it open, and so both sees the reader and lets it go on.
class TTraps
{
public:
    TTraps()
    {
        QImage red(16, 16, QImage::Format_RGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
        Folder.Write(QStringLiteral("picture.png"), png);
        Fifo = Folder.File(QStringLiteral("pipe")).toLocal8Bit();
        EXPECT_EQ(mkfifo(Fifo.constData(), 0600), 0);
        Watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(Watch, 0);
        EXPECT_GE(inotify_add_watch(Watch, Folder.Path().toLocal8Bit().constData(), IN_OPEN | IN_ACCESS), 0);
        Probe = std::thread([this] {
            while (!Stop) {
                const int fd = ::open(Fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    Reader = true;
                    ::close(fd);
                }
                usleep(1000);
            }
        });
    }
    ~TTraps()
    {
        Stop = true;
        Probe.join();
        ::close(Watch);
    }

    QString Picture() const { return Folder.File(QStringLiteral("picture.png")); }
    QString Pipe() const { return QString::fromLocal8Bit(Fifo); }

    // Every way a document can name the traps: plain paths, file addresses,
    // a relative name (resolved against the working folder, which the test
    // points at the traps), a background and a style sheet.
    QString Html() const
    {
        return QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"%2\"></head>"
                              "<body background=\"%1\"><p>before</p>"
                              "<img src=\"%1\" width=\"16\" height=\"16\"><img src=\"file://%1\">"
                              "<img src=\"picture.png\"><img src=\"%2\"><img src=\"file://%2\">"
                              "<img src=\"pipe\"><p>after</p></body></html>")
            .arg(Picture(), Pipe());
    }

    // What was opened since the last call: file names, and "fifo reader".
    QStringList Opened()
    {
        QStringList names;
        alignas(inotify_event) char events[4096];
        for (;;) {
            const ssize_t n = ::read(Watch, events, sizeof events);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                names << (e->len > 0 ? QString::fromLocal8Bit(e->name) : QStringLiteral("(folder)"));
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
        if (Reader.exchange(false))
            names << QStringLiteral("fifo reader");
        names.removeDuplicates();
        return names;
    }

    TDataFolder Folder;

private:
    QByteArray Fifo;
    int Watch = -1;
    std::atomic<bool> Stop{false};
    std::atomic<bool> Reader{false};
    std::thread Probe;
};

// Lays out and paints a widget, which is when a document asks for its
// pictures; true when red (the trap picture) shows anywhere.
bool ShowsRed(QWidget* W)
{
    QApplication::processEvents();
    const QImage shot = W->grab().toImage();
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y) == QColor(Qt::red))
                return true;
    return false;
}

// The working folder points at the traps for a relative name to reach them.
struct UntrustedContent : ::testing::Test {
    TTraps Traps;
    QString OldCurrent = QDir::currentPath();
    void SetUp() override { QDir::setCurrent(Traps.Folder.Path()); }
    void TearDown() override
    {
        QDir::setCurrent(OldCurrent);
        skin::ApplyBuiltIn();
    }
};

TEST_F(UntrustedContent, TheHtmlViewOpensNoLocalFileNotEvenDevZero)
{
    THtmlView view;
    view.resize(400, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.WriteDocument(Traps.Html());
    EXPECT_FALSE(ShowsRed(&view));
    ASSERT_EQ(Traps.Opened(), QStringList());
    EXPECT_TRUE(view.toPlainText().contains(QStringLiteral("after")));

    // Read, /dev/zero would fill memory until the program died; only asked
    // once the traps above have shown that nothing is read.
    view.WriteDocument(QStringLiteral("<html><head><link rel=\"stylesheet\" href=\"/dev/zero\"></head>"
                                      "<body><img src=\"/dev/zero\"><img src=\"file:///dev/zero\">"
                                      "<p>zero</p></body></html>"));
    EXPECT_FALSE(ShowsRed(&view));
    EXPECT_TRUE(view.toPlainText().contains(QStringLiteral("zero")));
}

TEST_F(UntrustedContent, AWelcomePageAndBrandCaptionsOpenNothing)
{
    const QString img = QStringLiteral("<img src=\"%1\">").arg(Traps.Picture());
    const QString plain = QStringLiteral("<%%ApplicationName%%>%1 Desk<%%/ApplicationName%%>\n"
                                         "<%%CopyrightYears%%>%1<%%/CopyrightYears%%>\n"
                                         "<%%Welcome1%%>%2<%%/Welcome1%%>\n"
                                         "<%%Link1%%>%1 one^http://one.test/<%%/Link1%%>\n")
                              .arg(img, Traps.Html());
    // The brand file is written before the traps are armed for this test.
    ASSERT_TRUE(EncryptBytesToFile(plain.toUtf8(), Traps.Folder.File(QStringLiteral("dbsettings.dat"))));
    Traps.Opened();

    TAppEnvironment env{Traps.Folder.Path(), QStringLiteral("http://127.0.0.1:9/liveupdate/tallyfair/")};
    auto window = std::make_unique<TfrmMain>(env);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_FALSE(ShowsRed(window.get()));
    auto* link = Find<QLabel>(window.get(), "lblLink1URL");
    EXPECT_EQ(link->text(), img + QStringLiteral(" one"));
    EXPECT_EQ(link->textFormat(), Qt::PlainText);

    TfrmAbout about(window->Brand);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_FALSE(ShowsRed(&about));
    EXPECT_EQ(Find<QLabel>(&about, "lblProductName")->text(), img + QStringLiteral(" Desk"));
    // The brand file itself is read, and nothing else in the folder.
    QStringList opened = Traps.Opened();
    opened.removeAll(QStringLiteral("dbsettings.dat"));
    EXPECT_EQ(opened, QStringList());
}

TEST_F(UntrustedContent, ANewsBodyOpensNothing)
{
    // As the news service sends it: "$"-hex escapes, then 0xAF and OK.
    QByteArray reply;
    for (const char c : Traps.Html().toUtf8())
        reply +=
            (c == '<' || c == '>' || c == '"') ? "$" + QByteArray(1, c).toHex().toUpper() : QByteArray(1, c);
    reply += char(0xAF);
    reply += "OK";

    QWidget owner;
    TMessageBox msg(&owner);
    TBrandRecord brand;
    brand.BranderType = QStringLiteral("Gold");
    brand.GoldPublID = QStringLiteral("pub-g");
    brand.GoldNewsBaseURL = QStringLiteral("http://gold.example/svc/");
    TNewsWindowServices services;
    services.PostForm = [&](const QString&, const TFormFields&, QByteArray& Body) {
        Body = reply;
        return true;
    };
    services.SaveLastNewsId = [](const QString&) {};
    TfrmNews news({QStringLiteral("7^Trap^today")}, brand, msg, services);
    news.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&news));
    auto* list = Find<QTreeWidget>(&news, "lvwItems");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(0)).center());
    auto* view = Find<THtmlView>(&news, "prfEditorNews");
    ASSERT_TRUE(WaitFor([&] { return view->toPlainText().contains(QStringLiteral("after")); }));
    EXPECT_FALSE(ShowsRed(&news));
    EXPECT_EQ(Traps.Opened(), QStringList());
}

TEST_F(UntrustedContent, OnlyWebLinksOfADocumentReachTheBrowser)
{
    TFakeBrowser browser;
    THtmlView view;
    for (const char* link : {"file:///etc/hostname", "javascript:alert(1)", "mailto:a@b.test", "picture.png",
                             "http://one.test/a", "https://two.test/b"})
        emit view.anchorClicked(QUrl(QString::fromLatin1(link)));
    ASSERT_TRUE(browser.WaitForCalls(2));
    WaitFor([] { return false; }, 300); // room for a wrong third call
    // The browsers start detached, so their calls land in either order.
    QStringList calls = browser.Calls();
    calls.sort();
    EXPECT_EQ(calls,
              (QStringList{QStringLiteral("http://one.test/a"), QStringLiteral("https://two.test/b")}));
    EXPECT_EQ(Traps.Opened(), QStringList());
}

} // namespace
