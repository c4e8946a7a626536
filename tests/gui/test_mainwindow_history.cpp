// The history of a site that keeps it, in the main window against a
// scripted site on 127.0.0.1: the range box and the days it sends, the
// sales' Date column in local time, the affiliates' counters over the range
// beside the all-time sums, the custom range, and the trend with its CSV.
// And against a site without it, none of this.
#include "support/QtPrinters.h"
#include "support/WindowFixture.h"
#include "tracking/FTrend.h"
#include "tracking/TrendView.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>
#include <time.h>

using namespace tftest;

namespace
{

QString Utc(const QDateTime& T)
{
    return T.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

struct HistoryWindow : TMainWindowTest {
    QByteArray Extensions = "\"1\",\"history\"^OK";
    QMap<QByteArray, QByteArray> Replies{
        {"3",
         "\"7\",\"Zed\",\"z1\",\"10\",\"20\",\"30\",\"40\"^\"5\",\"Ann\",\"a1\",\"1\",\"2\",\"3\",\"4\"^OK"},
        {"4", "\"91\",\"Ann\",\"o-1\"^OK"},
        {"21",
         "\"91\",\"Ann\",\"o-1\",\"2026-03-29 00:59:59\"^\"92\",\"Zed\",\"o-2\",\"2025-01-02 03:04:05\"^OK"},
        {"23", "\"5\",\"9\",\"8\",\"7\",\"6\"^OK"}};

    void SetUp() override
    {
        // An operator three and a half hours behind UTC, with daylight
        // saving: local days differ from UTC days, by no whole hour.
        qputenv("TZ", "America/St_Johns");
        tzset();
        ASSERT_EQ(QTimeZone::systemTimeZoneId(), "America/St_Johns");
        Site.SetHandler([this](const THttpRequest& r) {
            if (r.Method == "GET")
                return r.Target.endsWith(".inf") ? THttpAnswer::Text({}, 404) : THttpAnswer::Text("READY");
            const QByteArray action = FormField(r, "action");
            if (action == "20")
                return THttpAnswer::Text(Extensions);
            if (action == "22")
                return THttpAnswer::Text(Hours(r));
            return THttpAnswer::Text(Replies.value(action, "OK"));
        });
        PointSettingsAtSite();
    }
    // Buckets at the range's first hour and five hours later, and one an
    // hour before the range, which the trend must leave out.
    static QByteArray Hours(const THttpRequest& R)
    {
        const QDateTime from = QDateTime::fromString(QString::fromLatin1(FormField(R, "from")),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!from.isValid())
            return "OK";
        QDateTime utc = from;
        utc.setTimeSpec(Qt::UTC);
        const auto hour = [&](int H, const char* Counts) {
            return "\"" + Utc(utc.addSecs(H * 3600)).toLatin1() + "\"," + Counts + "^";
        };
        return hour(-1, "\"50\",\"50\",\"50\",\"50\"") + hour(0, "\"1\",\"2\",\"30\",\"20\"") +
               hour(5, "\"0\",\"1\",\"12\",\"9\"") + "OK";
    }
    void TearDown() override
    {
        Window.reset();
        qunsetenv("TZ");
        tzset();
    }
    int Sent() const { return int(Site.Requests().size()); }
    const THttpRequest& Request(int I) const { return Site.Requests()[I]; }
    QComboBox* Range() { return Control<QComboBox>("cbxRange"); }
    // Picks an entry as the operator does, with the keyboard (each key
    // that moves the box chooses the entry it lands on).
    void Pick(int Entry)
    {
        QComboBox* box = Range();
        box->setFocus();
        if (Entry == box->count() - 1) {
            QTest::keyClick(box, Qt::Key_End);
        } else {
            QTest::keyClick(box, Qt::Key_Home);
            for (int i = 0; i < Entry; ++i)
                QTest::keyClick(box, Qt::Key_Down);
        }
        ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window); }));
    }
    QStringList Column(const char* List, int C) { return ColumnTexts(Window.get(), List, C); }
};

TEST_F(HistoryWindow, TheRangeSendsLocalDaysAndTheListsShowTheRange)
{
    Open();
    ASSERT_TRUE(Range()->isVisible());
    QStringList entries;
    for (int i = 0; i < Range()->count(); ++i)
        entries << Range()->itemText(i);
    EXPECT_EQ(entries, (QStringList{"Any time", "Today", "Yesterday", "Last 7 days", "Last 30 days",
                                    "This month", "Last month", "Custom…"}));
    // Any time: the all-time counters, no range request.
    EXPECT_EQ(Column("lvwPages", 2), (QStringList{"1", "10"}));
    EXPECT_FALSE(Actions().contains("23"));

    Control<QTableView>("lvwPages")->selectRow(0); // Ann, record 5
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Actions().contains("21"); }));
    const int anyTime = int(Actions().lastIndexOf("21"));
    EXPECT_EQ(FormField(Request(anyTime), "from"), "");
    EXPECT_EQ(FormField(Request(anyTime), "to"), "");

    const int before = Sent();
    Pick(1); // Today
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"3", "23", "21"}));
    const QDate today = QDate::currentDate();
    const QByteArray from = Utc(today.startOfDay()).toLatin1(),
                     to = Utc(today.addDays(1).startOfDay()).toLatin1();
    for (int i : {before + 1, before + 2}) {
        EXPECT_EQ(FormField(Request(i), "from"), from);
        EXPECT_EQ(FormField(Request(i), "to"), to);
    }
    EXPECT_EQ(FormField(Request(before + 1), "reftype"), "all");
    // The selection outlived the reload: the sales are Ann's, loaded once.
    EXPECT_EQ(FormField(Request(before + 2), "reftype"), "5");
    EXPECT_EQ(FormField(Request(before + 2), "querytype"), "0");
    EXPECT_EQ(Control<QTableView>("lvwPages")->selectionModel()->selectedRows().size(), 1);

    // Ann's counters are the range's, Zed had nothing; the totals line adds
    // the all-time sums.
    EXPECT_EQ(Column("lvwPages", 0), (QStringList{"Ann", "Zed"}));
    EXPECT_EQ(Column("lvwPages", 2), (QStringList{"9", "0"}));
    EXPECT_EQ(Column("lvwPages", 5), (QStringList{"6", "0"}));
    EXPECT_EQ(Control<QLabel>("lblOTOSales")->text(), QStringLiteral("OTO Sales: 9 (all time: 11)"));
    EXPECT_EQ(Control<QLabel>("lblUniqueHits")->text(), QStringLiteral("Unique Hits: 6 (all time: 44)"));
    EXPECT_EQ(Control<QLabel>("lblRangeDays")->text(), today.toString(Qt::ISODate));

    // The Date column: the sale's UTC time in local time, sortable.
    QTableView* sales = Control<QTableView>("lvwReferers");
    ASSERT_EQ(sales->model()->columnCount(), 3);
    EXPECT_EQ(sales->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Date"));
    const auto local = [](const char* T) {
        QDateTime t = QDateTime::fromString(QString::fromLatin1(T), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        t.setTimeSpec(Qt::UTC);
        return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    EXPECT_EQ(Column("lvwReferers", 2),
              (QStringList{local("2026-03-29 00:59:59"), local("2025-01-02 03:04:05")}));
    sales->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(Column("lvwReferers", 1), (QStringList{"o-2", "o-1"}));

    // Back to any time: the all-time counters and sums again.
    Pick(0);
    EXPECT_EQ(Column("lvwPages", 2), (QStringList{"1", "10"}));
    EXPECT_EQ(Control<QLabel>("lblOTOSales")->text(), QStringLiteral("OTO Sales: 11"));
    EXPECT_FALSE(Control<QLabel>("lblRangeDays")->isVisible());
}

TEST_F(HistoryWindow, ACustomRangeAsksForDaysAndCancelTakesTheEntryBack)
{
    Open();
    TModalPilot pilot;
    pilot.Handle([](QWidget* d) {
        d->findChild<QDateEdit*>(QStringLiteral("edtFirstDay"))->setDate(QDate(2026, 3, 31));
        d->findChild<QDateEdit*>(QStringLiteral("edtLastDay"))->setDate(QDate(2026, 3, 29));
        Click(d->findChild<QPushButton*>(QStringLiteral("btnOk")));
    });
    int before = Sent();
    Pick(7);
    ASSERT_EQ(Actions(before), (QList<QByteArray>{"3", "23", "21"}));
    EXPECT_EQ(FormField(Request(before + 2), "from"), Utc(QDate(2026, 3, 29).startOfDay()).toLatin1());
    EXPECT_EQ(FormField(Request(before + 2), "to"), Utc(QDate(2026, 4, 1).startOfDay()).toLatin1());
    EXPECT_EQ(Control<QLabel>("lblRangeDays")->text(), QStringLiteral("2026-03-29 to 2026-03-31"));

    pilot.Handle([](QWidget* d) { Click(d->findChild<QPushButton*>(QStringLiteral("btnCancel"))); });
    Pick(1); // Today, then Custom… cancelled: back on Today
    before = Sent();
    QTest::keyClick(Range(), Qt::Key_End);
    EXPECT_TRUE(WaitFor([&] { return pilot.Pending() == 0; }));
    EXPECT_EQ(Range()->currentIndex(), 1);
    EXPECT_EQ(Sent(), before);
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(HistoryWindow, TheTrendAddsTheBucketsOfItsRangePerHourAndSavesThem)
{
    Open();
    Pick(1); // Today: per hour
    TModalPilot pilot;
    TTrend seen;
    QByteArray csv;
    const QString path = Folder.Path() + QStringLiteral("/trend.csv");
    pilot.Handle([&](QWidget* d) {
        auto* trend = qobject_cast<TfrmTrend*>(d);
        if (trend) {
            seen = trend->View()->Trend();
            trend->SaveCsv(path);
        }
        Click(d->findChild<QPushButton*>(QStringLiteral("btnClose")));
    });
    const int before = Sent();
    Click(Control<QPushButton>("btnTrend"));
    ASSERT_TRUE(WaitFor([&] { return pilot.Pending() == 0; }));
    ASSERT_EQ(Actions(before), (QList<QByteArray>{"22"}));
    EXPECT_EQ(FormField(Request(before), "reftype"), "all");
    const QDate today = QDate::currentDate();
    ASSERT_TRUE(seen.Hourly);
    ASSERT_EQ(seen.Points.size(), today.startOfDay().secsTo(today.addDays(1).startOfDay()) / 3600);
    qint64 visitors = 0, sales = 0;
    for (const TTrendPoint& p : seen.Points) {
        visitors += p.Visitors;
        sales += p.OtoSales;
    }
    EXPECT_EQ(visitors, 30 + 12); // the hour before the range is not in it
    EXPECT_EQ(sales, 1);
    EXPECT_EQ(seen.Points[0].UniqueHits, 20);
    EXPECT_EQ(seen.Points[5].Subscribers, 1);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), seen.Points.size() + 2); // heading, points, the empty end
    EXPECT_EQ(lines[0], "Hour,Visitors,Unique Hits,Subscribers,OTO Sales\r");
    EXPECT_EQ(lines[1], seen.Points[0].Label.toLatin1() + ",30,20,2,1\r");
    EXPECT_TRUE(pilot.Unexpected.isEmpty());
}

TEST_F(HistoryWindow, ASiteWithoutTheHistoryShowsNoneOfIt)
{
    Extensions = "REFUSED";
    Open();
    EXPECT_FALSE(Range()->isVisible());
    EXPECT_FALSE(Control<QPushButton>("btnTrend")->isVisible());
    EXPECT_FALSE(Control<QLabel>("lblRangeDays")->isVisible());
    const int before = Sent();
    Control<QComboBox>("cbxQueryType")->setCurrentIndex(3);
    ASSERT_TRUE(WaitFor([&] { return !RequestRunning(*Window) && Sent() > before; }));
    EXPECT_EQ(Actions(before), (QList<QByteArray>{"4"}));
    EXPECT_EQ(FormPairs(Request(before)).size(), 4); // action, querytype, reftype, end
    EXPECT_EQ(Control<QTableView>("lvwReferers")->model()->columnCount(), 2);
    EXPECT_EQ(Control<QLabel>("lblOTOSales")->text(), QStringLiteral("OTO Sales: 11"));
}

} // namespace
