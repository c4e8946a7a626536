// The main page against a scripted site on 127.0.0.1: start-up load, the
// two lists and their buttons, add and edit, settings, and what the window
// does while a request is still running.

#include "support/QtPrinters.h"
#include "support/WindowFixture.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

struct ListsWindow : TMainWindowTest {
    QByteArray AffiliatesReply = "\"7\",\"Zed\",\"z1\",\"1\",\"2\",\"3\",\"4\"^"
                                 "\"5\",\"Ann\",\"a1\",\"10\",\"20\",\"x\",\"40\"^OK";
    QByteArray SalesReply = "\"91\",\"Ann\",\"order-1\"^OK";
    QMap<QByteArray, QByteArray> Replies; // action -> reply, overriding the defaults
    int DelayMs = 0;

    void SetUp() override
    {
        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Method == "GET")
                return THttpAnswer::Text(r.Target.endsWith(".inf") ? QByteArray() : "READY",
                                         r.Target.endsWith(".inf") ? 404 : 200);
            const QByteArray action = FormField(r, "action");
            QByteArray reply = "OK";
            if (action == "3")
                reply = AffiliatesReply;
            else if (action == "4")
                reply = SalesReply;
            else if (action == "7")
                reply = "\"5\",\"Ann\",\"a1\",\"10\",\"20\",\"x\",\"40\"^OK";
            if (Replies.contains(action))
                reply = Replies[action];
            THttpAnswer answer = THttpAnswer::Text(reply);
            answer.DelayMs = DelayMs;
            return answer;
        });
        PointSettingsAtSite();
    }
    QString Text(const char* label) { return Control<QLabel>(label)->text(); }
    QString Cell(const char* view, int row, int column)
    {
        QTableView* v = Control<QTableView>(view);
        return v->model()->index(row, column).data().toString();
    }
    const THttpRequest& Last() { return Site.Requests().last(); }
};

TEST_F(ListsWindow, StartupChecksTheSiteAndFillsTheAffiliatesInNameOrder)
{
    Open();
    // No brand: no news. The update check asks for its descriptor quietly;
    // after the check the site is asked for its extensions.
    EXPECT_EQ(Actions(), (QList<QByteArray>{"GET", "1", "20", "3"}));
    EXPECT_TRUE(Site.Requests()[0].Target.endsWith("/liveupdate/tallyfair/mainappupdate.inf"));
    EXPECT_FALSE(Folder.Exists(QStringLiteral("mainappupdate.inf")));
    EXPECT_TRUE(Site.Requests()[1].Target.endsWith("/site/actions.php"));
    EXPECT_EQ(Cell("lvwPages", 0, 0), QStringLiteral("Ann"));
    EXPECT_EQ(Cell("lvwPages", 1, 0), QStringLiteral("Zed"));
    EXPECT_EQ(Cell("lvwPages", 1, 5), QStringLiteral("4"));
    EXPECT_EQ(Text("lblTotalHits"), QStringLiteral("Total: 2 affiliate(s)"));
    EXPECT_EQ(Text("lblOTOSales"), QStringLiteral("OTO Sales: 11"));
    // "x" is shown but left out of its total only.
    EXPECT_EQ(Cell("lvwPages", 0, 4), QStringLiteral("x"));
    EXPECT_EQ(Text("lblVisitors"), QStringLiteral("Visitors: 3"));
    EXPECT_EQ(Text("lblUniqueHits"), QStringLiteral("Unique Hits: 44"));
    EXPECT_TRUE(Control<QLabel>("MainStatusPanel")->text().isEmpty());
}

TEST_F(ListsWindow, SelectAllReloadsTheSalesOnceWithEveryIdInViewOrder)
{
    Open();
    const int before = int(Site.Requests().size());
    Click(Control<QPushButton>("btnSSelectAll"));
    ASSERT_TRUE(WaitFor([&] { return Site.Requests().size() == before + 1; }));
    WaitFor([] { return false; }, 200);
    ASSERT_EQ(Actions(before), QList<QByteArray>{"4"});
    EXPECT_EQ(FormField(Last(), "querytype"), "0");
    EXPECT_EQ(FormField(Last(), "reftype"), "5,7");
    EXPECT_EQ(Cell("lvwReferers", 0, 1), QStringLiteral("order-1"));
    EXPECT_EQ(Text("lblRefersHits"), QStringLiteral("Total: 1 sales"));

    // Unselecting never reloads; the label is still rewritten.
    Click(Control<QPushButton>("btnSClearAll"));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(Site.Requests().size(), before + 1);

    // Another Show entry: selecting sends nothing, the Show change does.
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(3);
    ASSERT_EQ(Actions(before + 1), QList<QByteArray>{"4"});
    EXPECT_EQ(FormField(Last(), "querytype"), "3");
    EXPECT_EQ(FormField(Last(), "reftype"), "");
    Click(Control<QPushButton>("btnSSelectAll"));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(Site.Requests().size(), before + 2);
}

TEST_F(ListsWindow, DeleteAsksOnlyWithASelectionAndSendsOnlyOnOk)
{
    Open();
    TModalPilot pilot;
    int before = int(Site.Requests().size());
    Click(Control<QPushButton>("btnDeleteSeg"));
    EXPECT_EQ(Site.Requests().size(), before);
    EXPECT_TRUE(pilot.Messages.isEmpty());
    EXPECT_EQ(Text("lblRefersHits"), QStringLiteral("Total: 0 sales"));

    Control<QTableView>("lvwPages")->selectRow(1); // Zed
    WaitFor([&] { return Site.Requests().size() == before + 1; });
    before = int(Site.Requests().size());
    pilot.Answer(QMessageBox::Cancel);
    Click(Control<QPushButton>("btnDeleteSeg"));
    EXPECT_EQ(pilot.Messages, QStringList{"Are you sure do you want to delete the selected items?"});
    EXPECT_EQ(Site.Requests().size(), before);

    pilot.Answer(QMessageBox::Ok);
    Click(Control<QPushButton>("btnDeleteSeg"));
    ASSERT_EQ(Actions(before), (QList<QByteArray>{"2", "3"}));
    EXPECT_EQ(FormField(Site.Requests()[before], "deleteids"), "7");

    // A refused deletion says so and keeps the rows.
    Replies["2"] = "NO";
    pilot.Answer(QMessageBox::Ok);
    pilot.Answer(QMessageBox::Ok);
    Click(Control<QPushButton>("bsSkinButton4"));
    EXPECT_EQ(pilot.Messages.mid(2), (QStringList{"Are you sure do you want to delete all?.",
                                                  "There is a trouble deleting items, please check your "
                                                  "settings and your internet connection."}));
    EXPECT_EQ(FormField(Last(), "deleteids"), "all");
    EXPECT_EQ(Control<QTableView>("lvwPages")->model()->rowCount(), 2);
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(ListsWindow, AddSendsATouchThenTheTrimmedFormAndReportsATakenId)
{
    Open();
    TModalPilot pilot;
    pilot.Handle([](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("edtAffName"))->setText(QStringLiteral("  Bea "));
        dialog->findChild<QLineEdit*>(QStringLiteral("edtAffID"))->setText(QStringLiteral("b2\t"));
        Click(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")));
    });
    Replies["6"] = "EXIST RECORD";
    pilot.Answer(QMessageBox::Ok);
    const int before = int(Site.Requests().size());
    Click(Control<QPushButton>("bsSkinButton2"));
    ASSERT_EQ(Actions(before), (QList<QByteArray>{"GET", "6"}));
    EXPECT_EQ(FormField(Last(), "affname"), "Bea");
    EXPECT_EQ(FormField(Last(), "afflinkid"), "b2");
    EXPECT_EQ(pilot.Messages, QStringList{"This Affiliate ID already exists. Please enter a new Affiliate ID "
                                          "when add a new affiliate."});
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(ListsWindow, EditNeedsOneRowThenSavesAndReloadsBothLists)
{
    Open();
    TModalPilot pilot;
    pilot.Answer(QMessageBox::Ok);
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(1);
    Click(Control<QPushButton>("btnSSelectAll"));
    Click(Control<QPushButton>("bsSkinButton3"));
    EXPECT_EQ(pilot.Messages, QStringList{"You need to select just one affiliate."});

    Control<QTableView>("lvwPages")->selectRow(0); // Ann, record 5
    QString shownName;
    pilot.Handle([&](QWidget* dialog) {
        shownName = dialog->findChild<QLineEdit*>(QStringLiteral("edtAffName"))->text();
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Edit Affiliate"));
        dialog->findChild<QLineEdit*>(QStringLiteral("edtAffID"))->setText(QStringLiteral("a9"));
        Click(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")));
    });
    const int before = int(Site.Requests().size());
    Click(Control<QPushButton>("bsSkinButton3"));
    EXPECT_EQ(shownName, QStringLiteral("Ann"));
    ASSERT_EQ(Actions(before), (QList<QByteArray>{"7", "GET", "8", "3", "1", "4"}));
    EXPECT_EQ(FormField(Site.Requests()[before + 2], "affcod"), "5");
    EXPECT_EQ(FormField(Site.Requests()[before + 2], "afflinkid"), "a9");
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(ListsWindow, WhileARequestRunsTheMainPageTakesNoInputAndTheGaugeWorks)
{
    Open();
    DelayMs = 1200;
    auto* gauge = Control<QProgressBar>("MainGauge");
    const int before = int(Site.Requests().size());
    bool sawBusyGauge = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!RequestRunning(*Window))
            return;
        sawBusyGauge = sawBusyGauge || gauge->maximum() == 0 || gauge->value() > 0;
        // A second Refresh and a Delete All while the first request waits.
        Click(Control<QPushButton>("btnRevfreshSegments"));
        Click(Control<QPushButton>("bsSkinButton4"));
        Click(Control<QPushButton>("btnSSelectAll"));
    });
    probe.start(150);
    Click(Control<QPushButton>("btnRevfreshSegments"));
    probe.stop();
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"1", "20", "3"}));
    EXPECT_TRUE(sawBusyGauge);
    EXPECT_EQ(gauge->value(), 0);
    EXPECT_FALSE(RequestRunning(*Window));
    EXPECT_TRUE(Control<QTableView>("lvwPages")->selectionModel()->selectedRows().isEmpty());
}

TEST_F(ListsWindow, ClosingAbortsThePendingRequestWithoutAnyMessage)
{
    Open();
    TModalPilot pilot;
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(1);
    WaitFor([] { return false; }, 100);
    Replies["4"] = QByteArray();
    THttpAnswer hang;
    hang.Hang = true;
    Site.Queue(hang);
    QTimer::singleShot(300, Window.get(), [&] { Window->close(); });
    QElapsedTimer clock;
    clock.start();
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(2);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_TRUE(pilot.Messages.isEmpty());
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(ListsWindow, SettingsDialogSavesBothFilesAndReportsAFailedWrite)
{
    Open();
    TModalPilot pilot;
    auto fill = [](const QString& site) {
        return [site](QWidget* dialog) {
            dialog->findChild<QLineEdit*>(QStringLiteral("edtSite"))->setText(site);
            dialog->findChild<QLineEdit*>(QStringLiteral("edtPassword"))->setText(QStringLiteral("p$\"w"));
            Click(dialog->findChild<QPushButton*>(QStringLiteral("btnOk")));
        };
    };
    pilot.Handle(fill(QStringLiteral("http://new.test")));
    Click(Control<QPushButton>("btnSimple"));
    EXPECT_TRUE(Folder.Read(QStringLiteral("hsettings.dat")).contains("http://new.test"));
    EXPECT_TRUE(Folder.Read(QStringLiteral("config.php")).contains("p\\$\\\"w"));
    EXPECT_EQ(Window->Settings.SiteUrl, QStringLiteral("http://new.test"));

    // A folder where config.php belongs: the warning names it; memory keeps the values.
    QFile::remove(Folder.File(QStringLiteral("config.php")));
    QDir(Folder.Path()).mkdir(QStringLiteral("config.php"));
    pilot.Handle(fill(QStringLiteral("http://newer.test")));
    pilot.Answer(QMessageBox::Ok);
    Click(Control<QPushButton>("btnSimple"));
    ASSERT_EQ(pilot.Messages.size(), 1);
    EXPECT_TRUE(pilot.Messages[0].contains(QStringLiteral("config.php")));
    EXPECT_EQ(Window->Settings.SiteUrl, QStringLiteral("http://newer.test"));
}

} // namespace
