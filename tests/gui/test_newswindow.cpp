// The news window against a scripted news service: what the list shows, what
// each selection posts, how the reply is shown or reported, and that the
// list stays put while a body is on its way.
#include "components/HtmlView.h"
#include "components/MessageBox.h"
#include "support/GuiHelpers.h"
#include "support/TestFolders.h"
#include "vendor/FNews.h"

#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <deque>

using namespace tftest;

namespace
{

const QByteArray AF(1, char(0xAF));

struct TPost {
    QString Url;
    TFormFields Fields;
};

// Plays the main window's side: the HTTP client and the brand file.
struct TNewsService {
    struct TAnswer {
        bool Delivered = true;
        QByteArray Body;
    };
    std::deque<TAnswer> Answers;
    QList<TPost> Posts;
    QStringList Saved;
    int Aborts = 0;
    // Runs while the request is pending, inside its own event loop.
    std::function<void(QEventLoop&)> WhilePending;
    QEventLoop* Pending = nullptr;

    void Reply(const QByteArray& Body, bool Delivered = true) { Answers.push_back({Delivered, Body}); }

    TNewsWindowServices Services(bool WithAbort = true)
    {
        TNewsWindowServices s;
        s.PostForm = [this](const QString& Url, const TFormFields& Fields, QByteArray& Body) {
            Posts << TPost{Url, Fields};
            bool delivered = false;
            if (WhilePending) {
                QEventLoop loop;
                Pending = &loop;
                QTimer::singleShot(0, &loop, [this, &loop] { WhilePending(loop); });
                QTimer::singleShot(5000, &loop, [&loop] { loop.exit(2); });
                const int how = loop.exec();
                Pending = nullptr;
                if (how != 0) // aborted or timed out
                    return false;
            }
            if (Answers.empty())
                return false;
            const TAnswer a = Answers.front();
            Answers.pop_front();
            delivered = a.Delivered;
            Body = a.Body;
            return delivered;
        };
        s.SaveLastNewsId = [this](const QString& Id) { Saved << Id; };
        if (WithAbort)
            s.AbortRequest = [this] {
                ++Aborts;
                if (Pending)
                    Pending->exit(1);
            };
        return s;
    }
};

TBrandRecord GoldBrand()
{
    TBrandRecord b;
    b.BranderType = QStringLiteral("Gold");
    b.BranderCode = QStringLiteral("TF-01");
    b.MasterPublID = QStringLiteral("pub-m");
    b.MasterNewsBaseURL = QStringLiteral("http://master.example/news");
    b.GoldPublID = QStringLiteral("pub-g");
    b.GoldNewsBaseURL = QStringLiteral("http://gold.example/svc/");
    return b;
}

const TNewsList ThreeItems = {
    QStringLiteral("7^Summer draw^2024-06-01 10:00"),
    QStringLiteral("12^Winners announced^June 30"),
    QStringLiteral("3^Old news^May"),
};

class NewsWindowTest : public ::testing::Test
{
protected:
    QWidget Owner;
    TMessageBox Msg{&Owner};
    TBrandRecord Brand = GoldBrand();
    TNewsService Service;

    std::unique_ptr<TfrmNews> Open(const TNewsList& List = ThreeItems, bool WithAbort = true)
    {
        auto w = std::make_unique<TfrmNews>(List, Brand, Msg, Service.Services(WithAbort));
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }

    static QTreeWidget* List(QWidget* w) { return Find<QTreeWidget>(w, "lvwItems"); }
    static bool Waiting(QWidget* w) { return w->cursor().shape() == Qt::WaitCursor; }
    static THtmlView* View(QWidget* w) { return Find<THtmlView>(w, "prfEditorNews"); }

    static void ClickRow(QWidget* w, int Row)
    {
        QTreeWidget* list = List(w);
        const QRect r = list->visualItemRect(list->topLevelItem(Row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }

    static int SelectedRow(QWidget* w)
    {
        const QList<QTreeWidgetItem*> s = List(w)->selectedItems();
        return s.size() == 1 ? List(w)->indexOfTopLevelItem(s.first()) : -1;
    }
};

TEST_F(NewsWindowTest, RowsShowTitleAndDateWithTheIdKeptOutOfTheColumns)
{
    auto w = Open({QStringLiteral("7^Summer draw^2024-06-01 10:00"), QStringLiteral("8^No date"),
                   QStringLiteral("9"), QStringLiteral("10^With^extra^fields")});
    QTreeWidget* list = List(w.get());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("News"));
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), QStringLiteral("News Title"));
    EXPECT_EQ(list->headerItem()->text(1), QStringLiteral("Published"));
    ASSERT_EQ(list->topLevelItemCount(), 4);

    const QStringList titles = {"Summer draw", "No date", "", "With"};
    const QStringList dates = {"2024-06-01 10:00", "", "", "extra"};
    const QStringList ids = {"7", "8", "9", "10"};
    for (int i = 0; i < 4; ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        EXPECT_EQ(item->text(0), titles[i]) << i;
        EXPECT_EQ(item->text(1), dates[i]) << i;
        EXPECT_EQ(item->data(0, TfrmNews::NewsIdRole).toString(), ids[i]) << i;
    }
    // Opening selects nothing and asks for nothing.
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_TRUE(Service.Posts.isEmpty());
    EXPECT_TRUE(View(w.get())->toPlainText().isEmpty());
}

TEST_F(NewsWindowTest, LayoutKeepsPanelsAndCentredCloseWhenResized)
{
    auto w = Open();
    auto check = [&](int width, int height) {
        SCOPED_TRACE(QString::number(width).toStdString());
        EXPECT_EQ(w->size(), QSize(width, height));
        QWidget* top = Find<QWidget>(w.get(), "panTop");
        QWidget* bottom = Find<QWidget>(w.get(), "panBottom");
        QWidget* body = View(w.get());
        EXPECT_EQ(top->geometry(), QRect(0, 0, width, 105));
        EXPECT_EQ(body->y(), 105 + 10) << "a 10 pixel splitter between list and body";
        EXPECT_EQ(bottom->geometry(), QRect(0, height - 41, width, 41));
        EXPECT_EQ(body->geometry().bottom() + 1, height - 41);
        auto* close = Find<QPushButton>(w.get(), "btnExit");
        EXPECT_EQ(close->text(), QStringLiteral("Close"));
        EXPECT_LE(std::abs(close->geometry().center().x() - width / 2), 1);
        EXPECT_LE(std::abs(close->geometry().center().y() - 41 / 2), 1);
        QHeaderView* header = List(w.get())->header();
        EXPECT_EQ(header->sectionSize(1), 160);
        EXPECT_EQ(header->sectionSize(0) + 160, List(w.get())->viewport()->width());
    };
    check(682, 411);
    w->resize(900, 560);
    QApplication::processEvents();
    check(900, 560);
    EXPECT_FALSE(Find<QSplitter>(w.get(), "Splitter1")->childrenCollapsible());
}

TEST_F(NewsWindowTest, SelectingAnItemPostsItsIdAndShowsTheDecodedBody)
{
    Service.Reply("\r\n  $3Cp$3EHello $26 welcome$3c/p$3E" + AF + "OK \r\n");
    Service.Reply("$3Ch1$3ECaf$C3$A9$3C/h1$3E" + AF + "OK");
    auto w = Open();
    // Seen from inside the request: the hourglass everywhere.
    QList<Qt::CursorShape> cursors;
    Service.WhilePending = [&](QEventLoop& loop) {
        cursors = {List(w.get())->cursor().shape(), View(w.get())->cursor().shape(), w->cursor().shape()};
        loop.quit();
    };

    ClickRow(w.get(), 0);
    ASSERT_EQ(Service.Posts.size(), 1);
    EXPECT_EQ(Service.Posts[0].Url, QStringLiteral("http://gold.example/svc/getnewsdetails.php"));
    const TFormFields want = {{"memusername", "pub-g"}, {"prodcode", "TF-01"}, {"prodtype", "BG"},
                              {"newsid", "7"},          {"newstarget", "UA"},  {"something", ""}};
    EXPECT_EQ(Service.Posts[0].Fields, want);
    EXPECT_EQ(cursors, QList<Qt::CursorShape>({Qt::WaitCursor, Qt::WaitCursor, Qt::WaitCursor}));
    EXPECT_EQ(View(w.get())->toPlainText(), QStringLiteral("Hello & welcome"));
    EXPECT_EQ(Service.Saved, QStringList{"7"});
    for (QWidget* c : {static_cast<QWidget*>(List(w.get())), static_cast<QWidget*>(View(w.get())),
                       static_cast<QWidget*>(w.get())})
        EXPECT_EQ(c->cursor().shape(), Qt::ArrowCursor) << c->objectName().toStdString();

    // The body is text in the system code page, and replaces the one before.
    ClickRow(w.get(), 1);
    ASSERT_EQ(Service.Posts.size(), 2);
    EXPECT_EQ(Service.Posts[1].Fields.value(3), (QPair<QString, QString>("newsid", "12")));
    EXPECT_EQ(View(w.get())->toPlainText(), QStringLiteral("Caf") + QString::fromLocal8Bit("\xC3\xA9"));
    EXPECT_EQ(Service.Saved, (QStringList{"7", "12"}));
}

TEST_F(NewsWindowTest, FailedRepliesAreReportedAndKeepTheShownItem)
{
    Service.Reply("$3Cb$3Ekept$3C/b$3E" + AF + "OK");
    Service.Reply("OK", false); // the request failed, whatever arrived
    Service.Reply("INVALIDNEWS");
    Service.Reply("  CONNECTIONFAIL\r\n");
    Service.Reply("INVALIDUSER");
    Service.Reply("INVALIDPRODUCT");
    Service.Reply("");
    Service.Reply("NOSUCHTHING"); // no message for other replies
    TModalPilot pilot;
    QList<QMessageBox::Icon> icons;
    for (int i = 0; i < 6; ++i)
        pilot.Handle([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            pilot.Messages << box->text();
            icons << box->icon();
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->button(QMessageBox::Ok)->click();
        });
    auto w = Open();
    ClickRow(w.get(), 0);
    for (int i = 0; i < 7; ++i)
        ClickRow(w.get(), i % 2 == 0 ? 1 : 0);
    QApplication::processEvents();

    EXPECT_EQ(pilot.Messages,
              (QStringList{"There is a trouble accessing the news site. Contact your provider.",
                           "There is a trouble with this news. Contact your provider.",
                           "There is a trouble in the settings file on the news site.",
                           "There is a trouble with the Publisher Id. Contact your provider.",
                           "There is a trouble with the product validation. Contact your provider.",
                           "There is a trouble accessing the news site. Contact your provider."}));
    EXPECT_EQ(icons, QList<QMessageBox::Icon>(6, QMessageBox::Warning));
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join("; ").toStdString();
    EXPECT_EQ(Service.Posts.size(), 8);
    EXPECT_EQ(View(w.get())->toPlainText(), QStringLiteral("kept"));
    EXPECT_EQ(Service.Saved, QStringList{"7"});
}

TEST_F(NewsWindowTest, BrokenEscapeShowsAnEmptyDocumentButCountsAsRead)
{
    Service.Reply("first" + AF + "OK");
    Service.Reply("fine$zzbroken" + AF + "OK");
    auto w = Open();
    ClickRow(w.get(), 0);
    EXPECT_EQ(View(w.get())->toPlainText(), QStringLiteral("first"));
    ClickRow(w.get(), 1);
    EXPECT_TRUE(View(w.get())->toPlainText().isEmpty());
    EXPECT_EQ(Service.Saved, (QStringList{"7", "12"}));
}

TEST_F(NewsWindowTest, WithoutAnAddressOrATierNothingIsPosted)
{
    Brand.GoldNewsBaseURL.clear();
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    auto w = Open();
    ClickRow(w.get(), 0);
    QApplication::processEvents();
    EXPECT_TRUE(Service.Posts.isEmpty());
    EXPECT_EQ(pilot.Messages,
              QStringList{"There is a trouble accessing the news site. Contact your provider."});
    EXPECT_TRUE(Service.Saved.isEmpty());

    // A brand type that names no tier (case counts) asks nobody and says nothing.
    Brand = GoldBrand();
    Brand.BranderType = QStringLiteral("gold");
    ClickRow(w.get(), 1);
    QApplication::processEvents();
    EXPECT_TRUE(Service.Posts.isEmpty());
    EXPECT_EQ(pilot.Messages.size(), 1);
    EXPECT_TRUE(pilot.Unexpected.isEmpty());

    // Neither left the list frozen.
    Brand = GoldBrand();
    Service.Reply("fine" + AF + "OK");
    ClickRow(w.get(), 2);
    EXPECT_EQ(Service.Posts.size(), 1);
    EXPECT_EQ(View(w.get())->toPlainText(), QStringLiteral("fine"));
}

TEST_F(NewsWindowTest, SelectionStaysPutWhileABodyIsOnItsWay)
{
    Service.Reply("one" + AF + "OK");
    Service.Reply("two" + AF + "OK");
    auto w = Open();
    QTreeWidget* list = List(w.get());
    int selectedDuring = -2;
    int currentDuring = -2;
    Service.WhilePending = [&](QEventLoop& loop) {
        // The user drags on with the button that chose the row still down,
        // clicks, double-clicks and uses the keys.
        QTest::mouseMove(list->viewport(), list->visualItemRect(list->topLevelItem(1)).center());
        ClickRow(w.get(), 2);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                           list->visualItemRect(list->topLevelItem(1)).center());
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_End, Qt::Key_PageDown, Qt::Key_Space, Qt::Key_O})
            QTest::keyClick(list, key);
        selectedDuring = SelectedRow(w.get());
        currentDuring = list->indexOfTopLevelItem(list->currentItem());
        Service.WhilePending = nullptr;
        loop.quit();
    };
    ClickRow(w.get(), 0);
    EXPECT_EQ(selectedDuring, 0);
    EXPECT_EQ(currentDuring, 0);
    EXPECT_EQ(Service.Posts.size(), 1);
    EXPECT_EQ(SelectedRow(w.get()), 0);
    EXPECT_EQ(View(w.get())->toPlainText(), QStringLiteral("one"));

    // Once the body is in, the list moves again.
    ClickRow(w.get(), 2);
    EXPECT_EQ(SelectedRow(w.get()), 2);
    ASSERT_EQ(Service.Posts.size(), 2);
    EXPECT_EQ(Service.Posts[1].Fields.value(3).second, QStringLiteral("3"));
    EXPECT_EQ(Service.Saved, (QStringList{"7", "3"}));
}

TEST_F(NewsWindowTest, CloseOrEscDuringAFetchEndsTheRequestAndRecordsNothing)
{
    for (const bool byEsc : {false, true}) {
        SCOPED_TRACE(byEsc ? "Esc in the list" : "Close");
        Service = TNewsService();
        Service.Reply("late" + AF + "OK");
        TModalPilot pilot;
        bool hiddenWhilePending = false;
        bool wasBusy = false;
        pilot.Handle([&](QWidget* modal) {
            Service.WhilePending = [&, modal](QEventLoop&) {
                wasBusy = Waiting(modal);
                if (byEsc)
                    QTest::keyClick(List(modal), Qt::Key_Escape);
                else
                    Click(Find<QPushButton>(modal, "btnExit"));
                hiddenWhilePending = !modal->isVisible();
                // No quit here: only the abort ends this request.
            };
            ClickRow(modal, 0);
        });
        // Should closing fail to work, the test ends the window instead of hanging.
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, &rescue, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        rescue.start(10000);
        RunNewsWindow(&Owner, ThreeItems, Brand, Msg, Service.Services());
        EXPECT_TRUE(rescue.isActive()) << "the window did not close";
        EXPECT_EQ(pilot.Pending(), 0);
        EXPECT_TRUE(wasBusy);
        EXPECT_TRUE(hiddenWhilePending);
        EXPECT_EQ(Service.Aborts, 1);
        EXPECT_EQ(Service.Posts.size(), 1);
        // The aborted request is a failure, but nobody is left to tell.
        EXPECT_TRUE(pilot.Messages.isEmpty());
        EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join("; ").toStdString();
        EXPECT_TRUE(Service.Saved.isEmpty());
    }
}

TEST_F(NewsWindowTest, ABodyArrivingAfterCloseIsNeitherShownNorRecorded)
{
    Service.Reply("late" + AF + "OK");
    auto w = Open(ThreeItems, /*WithAbort=*/false);
    Service.WhilePending = [&](QEventLoop& loop) {
        Click(Find<QPushButton>(w.get(), "btnExit"));
        loop.quit();
    };
    ClickRow(w.get(), 0);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Accepted);
    EXPECT_EQ(Service.Posts.size(), 1);
    EXPECT_TRUE(View(w.get())->toPlainText().isEmpty());
    EXPECT_TRUE(Service.Saved.isEmpty());
    EXPECT_FALSE(Waiting(w.get()));
}

TEST_F(NewsWindowTest, EveryOpeningStartsFromTheListAlone)
{
    Service.Reply("body" + AF + "OK");
    auto w = Open();
    ClickRow(w.get(), 1);
    Click(Find<QPushButton>(w.get(), "btnExit"));
    EXPECT_FALSE(w->isVisible());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(List(w.get())->topLevelItemCount(), 3);
    EXPECT_TRUE(List(w.get())->selectedItems().isEmpty());
}

} // namespace
