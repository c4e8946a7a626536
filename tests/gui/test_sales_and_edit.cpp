// The sales list's buttons, the messages of the add and edit flows, and the
// status text while a list loads, against a scripted site on 127.0.0.1.

#include "support/QtPrinters.h"
#include "support/WindowFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

const QString TroubleAdding = QStringLiteral(
    "There is a trouble adding this affiliate, please check your settings and your internet connection.");

struct SiteWindow : TMainWindowTest {
    QMap<QByteArray, QByteArray> Replies{
        {"3", "\"7\",\"Zed\",\"z1\",\"1\",\"2\",\"3\",\"4\"^\"5\",\"Ann\",\"a1\",\"1\",\"2\",\"3\",\"4\"^OK"},
        {"4", "\"91\",\"Ann\",\"o-1\"^\"92\",\"Zed\",\"o-2\"^OK"},
        {"7", "\"5\",\"Ann\",\"a1\",\"1\",\"2\",\"3\",\"4\"^OK"}};
    int DelayMs = 0;

    void SetUp() override
    {
        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Method == "GET") // no update; the site's script answers
                return r.Target.endsWith(".inf") ? THttpAnswer::Text({}, 404) : THttpAnswer::Text("READY");
            THttpAnswer a = THttpAnswer::Text(Replies.value(FormField(r, "action"), "OK"));
            a.DelayMs = DelayMs;
            return a;
        });
        PointSettingsAtSite();
        Open();
    }
    int Sent() const { return int(Site.Requests().size()); }
    int SelectedSales()
    {
        return int(Control<QTableView>("lvwReferers")->selectionModel()->selectedRows().size());
    }
    // Selects the one affiliate "Ann" (row 0) and lets its sales load.
    void SelectAnn()
    {
        const int before = Sent();
        Control<QTableView>("lvwPages")->selectRow(0);
        ASSERT_TRUE(WaitFor([&] { return Sent() == before + 1 && !RequestRunning(*Window); }));
    }
};

TEST_F(SiteWindow, SalesSelectAllClearDeleteAllAndRefresh)
{
    TModalPilot pilot;
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(3);
    ASSERT_EQ(Control<QTableView>("lvwReferers")->model()->rowCount(), 2);
    int before = Sent();
    Click(Control<QPushButton>("bsSkinButton5"));
    EXPECT_EQ(SelectedSales(), 2);
    Click(Control<QPushButton>("bsSkinButton6"));
    EXPECT_EQ(SelectedSales(), 0);
    EXPECT_EQ(Sent(), before); // selecting sales sends nothing

    pilot.Answer(QMessageBox::Cancel);
    Click(Control<QPushButton>("bsSkinButton9"));
    EXPECT_EQ(Sent(), before);
    pilot.Answer(QMessageBox::Ok);
    Replies["4"] = "\"93\",\"Bo\",\"o-3\"^OK";
    Click(Control<QPushButton>("bsSkinButton9"));
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"5", "4"}));
    EXPECT_EQ(FormField(Site.Requests()[before], "deleteids"), "all");
    EXPECT_EQ(FormField(Site.Requests()[before + 1], "querytype"), "3");
    EXPECT_EQ(Control<QLabel>("lblRefersHits")->text(), QStringLiteral("Total: 1 sales"));
    EXPECT_EQ(pilot.Messages.size(), 2);

    before = Sent();
    Replies["4"] = "\"94\",\"Cy\",\"o-4\"^\"95\",\"Di\",\"o-5\"^OK";
    Click(Control<QPushButton>("bsSkinButton8"));
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"1", "4"}));
    EXPECT_EQ(Control<QLabel>("lblRefersHits")->text(), QStringLiteral("Total: 2 sale(s)"));
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(SiteWindow, AddAndEditFailuresSayWhatHappened)
{
    TModalPilot pilot;
    const auto fill = [](QWidget* d) {
        d->findChild<QLineEdit*>(QStringLiteral("edtAffName"))->setText(QStringLiteral("Ann B"));
        d->findChild<QLineEdit*>(QStringLiteral("edtAffID"))->setText(QStringLiteral("a2"));
        Click(d->findChild<QPushButton*>(QStringLiteral("btnOk")));
    };
    // Add refused with anything but "EXIST RECORD".
    Replies["6"] = "SERVER ERROR";
    pilot.Handle(fill);
    pilot.Answer(QMessageBox::Ok);
    int before = Sent();
    Click(Control<QPushButton>("bsSkinButton2"));
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"GET", "6"}));

    // Edit: the record is gone by the time it is saved; then another failure.
    SelectAnn();
    for (const QByteArray& reply : {QByteArray("DON'T EXIST RECORD"), QByteArray("EXIST RECORD")}) {
        Replies["8"] = reply;
        pilot.Handle(fill);
        pilot.Answer(QMessageBox::Ok);
        before = Sent();
        Click(Control<QPushButton>("bsSkinButton3"));
        EXPECT_EQ(Actions(before), (QList<QByteArray>{"7", "GET", "8"})) << reply.constData();
    }
    EXPECT_EQ(pilot.Messages,
              (QStringList{TroubleAdding, "This Affiliate ID doesn't exists.", TroubleAdding}));

    // A fetch that fails: no dialog, no message, nothing more sent.
    Replies["7"] = "BAD";
    before = Sent();
    Click(Control<QPushButton>("bsSkinButton3"));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"7"}));
    EXPECT_EQ(pilot.Messages.size(), 3);
    EXPECT_TRUE(pilot.Unexpected.isEmpty()) << pilot.Unexpected.join(QLatin1Char('|')).toStdString();
}

TEST_F(SiteWindow, TheStatusSaysGettingDataWhileAListLoads)
{
    DelayMs = 300;
    QStringList seen; // the texts shown while a request was pending, in order, each once
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const QString text = Control<QLabel>("MainStatusPanel")->text();
        if (RequestRunning(*Window) && !seen.contains(text))
            seen << text;
    });
    probe.start(20);
    Click(Control<QPushButton>("btnRevfreshSegments")); // CheckServer, then the list
    EXPECT_EQ(seen, (QStringList{QString(), "Getting data..."}));
    EXPECT_TRUE(Control<QLabel>("MainStatusPanel")->text().isEmpty());
    seen.clear();
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(1); // the sales
    EXPECT_EQ(seen, QStringList{"Getting data..."});
    EXPECT_TRUE(Control<QLabel>("MainStatusPanel")->text().isEmpty());
}

} // namespace
