// The affiliates and sales list models: what each column shows of a record,
// the order of the rows, sorting, the 64-bit totals, the label texts and the
// ids of selected rows.
#include "ListReplyRules.h"
#include "QtPrinters.h"
#include "tracking/AffiliateInput.h"
#include "tracking/AffiliatesModel.h"
#include "tracking/ListOrder.h"
#include "tracking/ListSelection.h"
#include "tracking/SalesModel.h"
#include "tracking/TrackingProtocol.h"
#include "util/UUtils.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QSortFilterProxyModel>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>

namespace
{

using tftest::Affiliate;
using tftest::Records;
using Col = TAffiliatesModel::Column;

QStringList Column(const TRecordListModel& M, int C)
{
    QStringList out;
    for (int r = 0; r < M.RowCount(); ++r)
        out << M.TextAt(r, C);
    return out;
}

QStringList Ids(const TRecordListModel& M)
{
    QStringList out;
    for (int r = 0; r < M.RowCount(); ++r)
        out << M.IdAt(r);
    return out;
}

class AffiliatesModelTest : public ::testing::Test
{
protected:
    TAffiliatesModel Model;
    QAbstractItemModelTester Tester{&Model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(AffiliatesModelTest, ShowsEachFieldInItsColumnWithTheIdHidden)
{
    Model.SetRows(Records(7, {Affiliate(" 17 ", "Carol", "carol7", "1", "2", "3", " 4 ")}));
    ASSERT_EQ(Model.rowCount(), 1);
    ASSERT_EQ(Model.columnCount(), 8);
    EXPECT_EQ(Model.data(Model.index(0, Col::colName)).toString(), "Carol");
    EXPECT_EQ(Model.data(Model.index(0, Col::colAffiliateId)).toString(), "carol7");
    EXPECT_EQ(Model.data(Model.index(0, Col::colOtoSales)).toString(), "1");
    EXPECT_EQ(Model.data(Model.index(0, Col::colSubscribers)).toString(), "2");
    EXPECT_EQ(Model.data(Model.index(0, Col::colVisitors)).toString(), "3");
    // Unique hits and the id lose the record's quote and the blanks.
    EXPECT_EQ(Model.data(Model.index(0, Col::colUniqueHits)).toString(), "4");
    EXPECT_EQ(Model.IdAt(0), "17");
    EXPECT_EQ(Model.data(Model.index(0, 3), TRecordListModel::IdRole).toString(), "17");
    EXPECT_EQ(Model.IdAt(1), "");
    EXPECT_EQ(Model.IdAt(-1), "");
    EXPECT_FALSE(Model.flags(Model.index(0, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(Model.flags(Model.index(0, 0)).testFlag(Qt::ItemIsSelectable));

    QStringList headers;
    for (int c = 0; c < Model.columnCount(); ++c)
        headers << Model.headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, QStringList({"Affiliate Name", "Affiliate Id", "OTO Sales", "Subscribers", "Visitors",
                                    "Unique Hits", "Subscribe %", "Sale %"}));
}

TEST_F(AffiliatesModelTest, RowsStandInNameOrderWhateverTheArrival)
{
    Model.SetRows(Records(
        7, {Affiliate("1", "zed", "z", "0", "0", "0", "0"), Affiliate("2", "Bob", "b", "0", "0", "0", "0"),
            Affiliate("3", "alice", "a", "0", "0", "0", "0"), Affiliate("4", "bob", "b2", "0", "0", "0", "0"),
            Affiliate("5", "Bob", "b3", "0", "0", "0", "0")}));
    EXPECT_EQ(Column(Model, Col::colName), QStringList({"alice", "Bob", "Bob", "bob", "zed"}));
    // Equal names keep the order of the reply.
    EXPECT_EQ(Ids(Model), QStringList({"3", "2", "5", "4", "1"}));
}

TEST_F(AffiliatesModelTest, ShortRecordsAreLeftOutAndExtraFieldsIgnored)
{
    Model.SetRows(Records(
        7, {{"\"1", "short", "s", "1\""}, Affiliate("2", "Ann", "a", "5", "5", "5", "5") << "spill", {}}));
    ASSERT_EQ(Model.RowCount(), 1);
    EXPECT_EQ(Model.TextAt(0, Col::colName), "Ann");
    EXPECT_EQ(Model.Total(Col::colOtoSales), 5);
}

TEST_F(AffiliatesModelTest, TotalsAre64BitAndSkipWhatIsNotAnInteger)
{
    Model.SetRows(Records(7, {Affiliate("1", "a", "a", "3000000000", "1", "7", "2"),
                              Affiliate("2", "b", "b", "4000000000", "2", "many", "3"),
                              Affiliate("3", "c", "c", "-5", "x", "1.5", "")}));
    EXPECT_EQ(Model.Total(Col::colOtoSales), Q_INT64_C(6999999995));
    EXPECT_EQ(Model.Total(Col::colSubscribers), 3);
    EXPECT_EQ(Model.Total(Col::colVisitors), 7);
    EXPECT_EQ(Model.Total(Col::colUniqueHits), 5); // an empty last field adds nothing
    EXPECT_EQ(Model.Total(Col::colName), 0);
    // What is not a number is still shown as it came.
    EXPECT_EQ(Model.TextAt(1, Col::colVisitors), "many");
    EXPECT_FALSE(Model.ValueAt(1, Col::colVisitors).has_value());
    EXPECT_EQ(Model.ValueAt(0, Col::colOtoSales), Q_INT64_C(3000000000));

    const TAffiliateTotals t = Model.Totals();
    EXPECT_EQ(t.OtoSales, Q_INT64_C(6999999995));
    EXPECT_EQ(t.Subscribers, 3);
    EXPECT_EQ(t.Visitors, 7);
    EXPECT_EQ(t.UniqueHits, 5);
}

TEST_F(AffiliatesModelTest, TotalsStopAtTheEdgeInsteadOfWrapping)
{
    const QString big = QString::number(std::numeric_limits<qint64>::max() - 1);
    Model.SetRows(Records(7, {Affiliate("1", "a", "a", big, "-9000000000000000000", "1", "1"),
                              Affiliate("2", "b", "b", big, "-9000000000000000000", "1", "1"),
                              Affiliate("3", "c", "c", "99999999999999999999", "0", "1", "1")}));
    EXPECT_EQ(Model.Total(Col::colOtoSales), std::numeric_limits<qint64>::max());
    EXPECT_EQ(Model.Total(Col::colSubscribers), std::numeric_limits<qint64>::min());
    // Past 64 bits a counter is not a number at all.
    EXPECT_FALSE(Model.ValueAt(2, Col::colOtoSales).has_value());
}

TEST(CounterParsing, TakesSignedDecimalsOnly)
{
    EXPECT_EQ(ParseCounter("42"), 42);
    EXPECT_EQ(ParseCounter("-7"), -7);
    EXPECT_EQ(ParseCounter(" 8 "), 8);
    EXPECT_EQ(ParseCounter("9223372036854775807"), std::numeric_limits<qint64>::max());
    for (const char* bad : {"", " ", "1.0", "12abc", "0x10", "9223372036854775808", "1 2", "\"3"})
        EXPECT_FALSE(ParseCounter(QString::fromLatin1(bad)).has_value()) << bad;
    EXPECT_EQ(SaturatingAdd(5, -8), -3);
}

TEST_F(AffiliatesModelTest, CounterColumnsSortByValueTextColumnsByText)
{
    Model.SetRows(Records(7, {Affiliate("1", "a", "id10", "10", "0", "0", "0"),
                              Affiliate("2", "b", "id9", "9", "0", "0", "0"),
                              Affiliate("3", "c", "id100", "100", "0", "0", "0"),
                              Affiliate("4", "d", "idx", "none", "0", "0", "0"),
                              Affiliate("5", "e", "ID2", "-1", "0", "0", "0")}));

    Model.sort(Col::colOtoSales, Qt::AscendingOrder);
    EXPECT_EQ(Column(Model, Col::colOtoSales), QStringList({"none", "-1", "9", "10", "100"}));
    Model.sort(Col::colOtoSales, Qt::DescendingOrder);
    EXPECT_EQ(Column(Model, Col::colOtoSales), QStringList({"100", "10", "9", "-1", "none"}));

    Model.sort(Col::colAffiliateId, Qt::AscendingOrder);
    EXPECT_EQ(Column(Model, Col::colAffiliateId), QStringList({"id10", "id100", "ID2", "id9", "idx"}));

    // No column: back to the name order, which the next fill keeps.
    Model.sort(-1);
    EXPECT_EQ(Column(Model, Col::colName), QStringList({"a", "b", "c", "d", "e"}));
    Model.SetRows(Records(
        7, {Affiliate("6", "g", "id0", "0", "0", "0", "0"), Affiliate("7", "f", "id1", "0", "0", "0", "0")}));
    EXPECT_EQ(Column(Model, Col::colName), QStringList({"f", "g"}));
}

TEST_F(AffiliatesModelTest, EqualCountersStandInNameOrderEitherWay)
{
    Model.SetRows(Records(7, {Affiliate("1", "c", "c", "1", "5", "0", "0"),
                              Affiliate("2", "a", "a", "2", "5", "0", "0"),
                              Affiliate("3", "b", "b", "3", "7", "0", "0")}));
    Model.sort(Col::colSubscribers, Qt::AscendingOrder);
    EXPECT_EQ(Column(Model, Col::colName), QStringList({"a", "c", "b"}));
    Model.sort(Col::colSubscribers, Qt::DescendingOrder);
    EXPECT_EQ(Column(Model, Col::colName), QStringList({"b", "a", "c"}));
}

TEST_F(AffiliatesModelTest, SortKeepsPersistentIndexesOnTheirRecordAndLastsAcrossFills)
{
    Model.SetRows(Records(7, {Affiliate("1", "a", "a", "30", "0", "0", "0"),
                              Affiliate("2", "b", "b", "10", "0", "0", "0"),
                              Affiliate("3", "c", "c", "20", "0", "0", "0")}));
    QPersistentModelIndex onB(Model.index(1, Col::colAffiliateId));
    Model.sort(Col::colOtoSales, Qt::AscendingOrder);
    ASSERT_TRUE(onB.isValid());
    EXPECT_EQ(onB.row(), 0);
    EXPECT_EQ(onB.column(), int(Col::colAffiliateId));
    EXPECT_EQ(Model.IdAt(onB.row()), "2");

    // A refill keeps the operator's choice of column.
    Model.SetRows(Records(
        7, {Affiliate("7", "x", "x", "5", "0", "0", "0"), Affiliate("8", "y", "y", "1", "0", "0", "0")}));
    EXPECT_EQ(Ids(Model), QStringList({"8", "7"}));
    EXPECT_FALSE(onB.isValid());

    Model.Clear();
    EXPECT_EQ(Model.RowCount(), 0);
    EXPECT_EQ(Model.Total(Col::colOtoSales), 0);
}

// Field bytes straight into a table, broken UTF-8 and all.
TRecordTable ByteRecords(int Fields, const QList<QList<QByteArray>>& Rows)
{
    TRecordTable table(Fields);
    for (const QList<QByteArray>& r : Rows)
        for (const QByteArray& f : r) {
            table.Text += f;
            table.Ends.push_back(quint32(table.Text.size()));
        }
    return table;
}

TEST(ListOrder, EverySortIsTheTextAndValueOrder)
{
    // Names mixing case, accents, letters that fold to ASCII (the Kelvin
    // sign), bytes that are no UTF-8, shared prefixes and repeats; counters
    // with blanks, signs, and texts that are no number.
    const QList<QByteArray> pieces = {
        "a",        "A",    "b",    "B", "k", "K", "z", "\xc3\xa9",  "\xc3\x89", "\xe2\x84\xaa",
        "\xc3\x9f", "\xff", "\xfe", " ", "0", "~", "_", "affiliate-"};
    const QList<QByteArray> counters = {
        "5",  "-3", "12", "x", "", "+7", " 8 ", "007", "9223372036854775807", "99999999999999999999",
        "-0", "1e3"};
    QRandomGenerator rng(42);
    auto pick = [&](const QList<QByteArray>& from) { return from[int(rng.bounded(int(from.size())))]; };
    QList<QList<QByteArray>> rows;
    QList<QByteArray> names;
    for (int i = 0; i < 800; ++i) {
        QByteArray name;
        if (!names.isEmpty() && rng.bounded(4) == 0) {
            name = pick(names);
        } else {
            for (int n = int(rng.bounded(5)); n >= 0; --n)
                name += pick(pieces);
            names.append(name);
        }
        rows.append({"\"" + QByteArray::number(i), name, pick(pieces) + pick(pieces), pick(counters),
                     pick(counters), pick(counters), pick(counters) + "\""});
    }
    TAffiliatesModel model;
    model.SetRows(ByteRecords(7, rows));
    ASSERT_EQ(model.RowCount(), rows.size());

    auto text = [&](int Row, int C) {
        QString t = TrackingProtocol::ReplyText(rows[Row][C + 1]);
        return C == Col::colUniqueHits ? TrimLow(t.remove(QLatin1Char('"'))) : t;
    };
    auto value = [&](int Row, int C) { return ParseCounter(text(Row, C)); };
    for (int c : {int(Col::colOtoSales), int(Col::colUniqueHits)}) {
        qint64 total = 0;
        for (int r = 0; r < model.RowCount(); ++r) {
            ASSERT_EQ(model.ValueAt(r, c), ParseCounter(model.TextAt(r, c))) << r;
            total = SaturatingAdd(total, value(r, c).value_or(0));
        }
        EXPECT_EQ(model.Total(Col(c)), total);
    }
    for (int column : {-1, 0, 1, 2, 5}) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            model.sort(column, order);
            QList<int> expected(rows.size());
            std::iota(expected.begin(), expected.end(), 0);
            std::sort(expected.begin(), expected.end(), [&](int a, int b) {
                if (column >= 0) {
                    int by = 0;
                    if (column >= Col::colOtoSales) {
                        const auto va = value(a, column), vb = value(b, column);
                        by = va == vb ? 0 : !va ? -1 : !vb ? 1 : *va < *vb ? -1 : 1;
                    } else {
                        by = CompareListText(text(a, column), text(b, column));
                    }
                    if (by != 0)
                        return order == Qt::AscendingOrder ? by < 0 : by > 0;
                }
                const int first = CompareListText(text(a, 0), text(b, 0));
                return first != 0 ? first < 0 : a < b;
            });
            QStringList ids;
            for (int r : expected)
                ids << QString::number(r);
            ASSERT_EQ(Ids(model), ids) << "column " << column << " order " << order;
        }
    }
}

// Lists long enough for the radix sorts and for a column of texts that are
// nearly all different (orders), which skips finding equal ones; the
// integer ranks against the comparison ranks they replace.
// Sorted by a text column either way round, the rows follow the texts,
// and rows of equal sales orders keep the order of their affiliates.
void ExpectTextOrder(TSalesModel& Model, int Column, const std::string& What)
{
    for (Qt::SortOrder direction : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        Model.sort(Column, direction);
        for (int r = 1; r < Model.RowCount(); ++r) {
            const int by = CompareListText(Model.TextAt(r - 1, Column), Model.TextAt(r, Column));
            ASSERT_TRUE(direction == Qt::AscendingOrder ? by <= 0 : by >= 0) << What << " row " << r;
            if (by == 0 && Column == 1) {
                ASSERT_LE(CompareListText(Model.TextAt(r - 1, 0), Model.TextAt(r, 0)), 0)
                    << What << " row " << r;
            }
        }
    }
}

TEST(ListOrder, BigListsKeepTheTextAndValueOrder)
{
    const QList<QByteArray> pieces = {
        "a",    "A", "b", "Z", "\xc3\xa9", "\xc3\x89", "\xe2\x84\xaa",
        "\xff", " ", "0", "~", "_",        "ORD-",     "affiliate-long-shared-prefix-"};
    QRandomGenerator rng(7);
    auto pick = [&] { return pieces[int(rng.bounded(int(pieces.size())))]; };
    QList<QList<QByteArray>> rows;
    for (int i = 0; i < 6000; ++i) {
        QByteArray name = pick() + pick();
        QByteArray order = pick() + pick() + QByteArray::number(rng.bounded(100000));
        if (i % 50 == 0 && !rows.isEmpty())
            order = rows[int(rng.bounded(int(rows.size())))][2]; // a few repeats
        rows.append({"\"" + QByteArray::number(i), name, order + "\""});
    }
    TSalesModel model;
    model.SetRows(ByteRecords(3, rows));
    ASSERT_EQ(model.RowCount(), rows.size());
    for (int column : {0, 1})
        ExpectTextOrder(model, column, "column " + std::to_string(column));

    std::vector<std::optional<qint64>> values;
    for (int i = 0; i < 20000; ++i) {
        const quint32 kind = rng.bounded(6);
        values.push_back(kind == 0   ? std::nullopt
                         : kind == 1 ? std::optional<qint64>(qint64(rng.generate64()))
                         : kind == 2 ? std::optional<qint64>(-qint64(rng.bounded(1000)))
                         : kind == 3 ? std::optional<qint64>(std::numeric_limits<qint64>::min())
                                     : std::optional<qint64>(qint64(rng.bounded(1000))));
    }
    quint32 count = 0, expectedCount = 0;
    const std::vector<quint32> ranks = IntegerRanks(values, count);
    const std::vector<quint32> expected = NumberRanks<qint64>(
        quint32(values.size()), [&](quint32 r) { return values[r]; }, expectedCount);
    EXPECT_EQ(count, expectedCount);
    EXPECT_EQ(ranks, expected);
    // The same values with a number that none of them is standing for
    // nothing, as the times are kept.
    const qint64 none = 424242;
    std::vector<qint64> marked;
    for (const auto& v : values)
        marked.push_back(v.value_or(none));
    quint32 markedCount = 0;
    EXPECT_EQ(IntegerRanks(marked, none, markedCount), expected);
    EXPECT_EQ(markedCount, expectedCount);
}

// Orders that all begin alike, which the ordering looks past: nearly all
// different, then with the same number in other cases, with texts that are
// the shared start alone or have bytes that are not ASCII right after it,
// and with one text, where sampling does not look, that begins otherwise.
TEST(ListOrder, TextsBeginningAlikeKeepTheTextOrder)
{
    for (int variant = 0; variant < 4; ++variant) {
        QRandomGenerator rng(quint32(variant) + 3);
        QList<QList<QByteArray>> rows;
        for (int i = 0; i < 6000; ++i) {
            QByteArray order = "ORD-" + QByteArray::number(rng.bounded(1000000));
            if (variant >= 1 && i % 40 == 1)
                order = rows[int(rng.bounded(int(rows.size())))][2].toLower();
            if (variant >= 2 && i % 97 == 3)
                order = i % 2 ? QByteArray("ORD-") : "ord-\xc3\xa9" + QByteArray::number(i % 5);
            if (variant == 3 && i == 4097)
                order = "ORDZ";
            rows.append({"\"" + QByteArray::number(i), "n" + QByteArray::number(i % 7), order});
        }
        for (auto& row : rows)
            row[2] += "\"";
        TSalesModel model;
        model.SetRows(ByteRecords(3, rows));
        ASSERT_EQ(model.RowCount(), rows.size());
        ExpectTextOrder(model, 1, "variant " + std::to_string(variant));
    }
}

TEST(SalesModel, ShowsAffiliateAndOrderAndHidesTheId)
{
    TSalesModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetRows(Records(3, {{"\" 9", "zoe", " A-1 \""}, {"\"4", "adam", "\""}, {"\"5", "short"}}));
    ASSERT_EQ(model.RowCount(), 2);
    ASSERT_EQ(model.columnCount(), 2);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "Affiliate");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Sales Order");
    // Quotes go, blanks stay.
    EXPECT_EQ(model.TextAt(0, TSalesModel::colAffiliate), "adam");
    EXPECT_EQ(model.TextAt(0, TSalesModel::colSalesOrder), "");
    EXPECT_EQ(model.IdAt(0), "4");
    EXPECT_EQ(model.TextAt(1, TSalesModel::colSalesOrder), " A-1 ");
    EXPECT_EQ(model.IdAt(1), " 9");

    model.sort(TSalesModel::colSalesOrder, Qt::DescendingOrder);
    EXPECT_EQ(model.IdAt(0), " 9");
    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(ListSelection, IdsFollowTheOrderOfNamesWhateverTheViewShows)
{
    TAffiliatesModel model;
    model.SetRows(Records(7, {Affiliate("11", "b", "b", "1", "0", "0", "0"),
                              Affiliate("22", "a", "a", "3", "0", "0", "0"),
                              Affiliate("33", "c", "c", "2", "0", "0", "0")}));
    QItemSelectionModel sel(&model);
    EXPECT_EQ(SelectedAffiliateIds(&sel), "");
    EXPECT_EQ(ListModelOf(&sel), &model);

    // Selected bottom row first: the ids still come top to bottom.
    sel.select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel.select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(SelectedAffiliateIds(&sel), "22,33");
    EXPECT_EQ(SelectedModelRows(&sel), QList<int>({0, 2}));

    // Sorted by a header click, rows are shown (and copied) in that order,
    // and the ids are still sent in the order of the names.
    model.sort(TAffiliatesModel::colOtoSales, Qt::AscendingOrder);
    EXPECT_EQ(SelectedModelRows(&sel), QList<int>({1, 2}));
    EXPECT_EQ(model.IdAt(1), "33") << "c (2 OTO sales) before a (3)";
    EXPECT_EQ(SelectedAffiliateIds(&sel), "22,33");

    // Through a proxy sorted the other way, the same.
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.sort(TAffiliatesModel::colName, Qt::DescendingOrder);
    QItemSelectionModel proxySel(&proxy);
    for (int r = 0; r < proxy.rowCount(); ++r)
        proxySel.select(proxy.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(ListModelOf(&proxySel), &model);
    EXPECT_EQ(SelectedAffiliateIds(&proxySel), "22,11,33");
    EXPECT_EQ(SelectedRecordIds(&proxySel).size(), 3);
    EXPECT_EQ(SelectedAffiliateIds(nullptr), "");
}

TEST(ListSelection, SaleIdsAreJoinedByCommas)
{
    TSalesModel model;
    model.SetRows(Records(3, {{"\"8", "x", "o1\""}, {"\"3", "y", "o2\""}}));
    QItemSelectionModel sel(&model);
    sel.select(model.index(0, 1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(SelectedSaleIds(&sel), "8");
    sel.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(SelectedSaleIds(&sel), "8,3");
}

TEST(AffiliateInput, ReadsNameAndIdFromAFetchedRecord)
{
    TAffiliateInput v;
    ASSERT_TRUE(AffiliateInputFromRecordText("\"12\",\"Bob Smith\",\"bob1\",\"1\",\"2\",\"3\",\"4\"", v));
    EXPECT_EQ(v.Name, "Bob Smith");
    EXPECT_EQ(v.AffiliateId, "bob1");

    // Blanks stay as they stand.
    ASSERT_TRUE(AffiliateInputFromRecordText("\"1\",\" x \",\"y \"", v));
    EXPECT_EQ(v.Name, " x ");
    EXPECT_EQ(v.AffiliateId, "y \"");

    TAffiliateInput untouched{"keep", "me"};
    EXPECT_FALSE(AffiliateInputFromRecordText("\"1\",\"only\"", untouched));
    EXPECT_FALSE(AffiliateInputFromRecordText("", untouched));
    EXPECT_EQ(untouched.Name, "keep");
    EXPECT_EQ(untouched.AffiliateId, "me");
}

TEST(AffiliateInput, BlankTextsAreRefusedNameFirst)
{
    const QString name = "Please provide a valid Affiliate Name";
    const QString id = "Please provide a valid Affiliate ID";
    EXPECT_EQ(AffiliateInputProblem({"", ""}), name);
    EXPECT_EQ(AffiliateInputProblem({" \t ", "a"}), name);
    EXPECT_EQ(AffiliateInputProblem({"Ann", "  "}), id);
    EXPECT_EQ(AffiliateInputProblem({"Ann", "\r\n"}), id);
    EXPECT_EQ(AffiliateInputProblem({" Ann ", " a1 "}), "");
}

TEST(AffiliateInput, ExampleAddressComesFromTheSite)
{
    EXPECT_EQ(ExampleAffiliateBase("http://shop.example/event"), "http://shop.example/event/");
    EXPECT_EQ(ExampleAffiliateBase(" http://shop.example/event// "), "http://shop.example/event/");
    EXPECT_EQ(ExampleAffiliateBase(""), "http://www.yoursite.com/");
    // A protected site's credentials stay off the screen.
    EXPECT_EQ(ExampleAffiliateBase("https://op:s3cr@t@shop.example:8443/ev/"),
              "https://shop.example:8443/ev/");
    EXPECT_EQ(ExampleAffiliateBase("http://shop.example/a@b"), "http://shop.example/a@b/");
    EXPECT_EQ(
        AffiliateHelpText("http://a.example"),
        "The affiliate url will be like http://a.example/track.php?affid=AFFILIATEID where AFFILIATEID will "
        "be the value that you enter in the previous field");
}

} // namespace

namespace
{

// Random affiliates with few distinct names and counters, so that ties and
// the find text both matter.
QStringList RandomAffiliate(QRandomGenerator& Rng, int Id)
{
    const QString n = QString::number(Rng.bounded(6));
    return Affiliate(QString::number(Id), "name" + n, "link" + QString::number(Id),
                     QString::number(Rng.bounded(4)), QString::number(Rng.bounded(100)),
                     Rng.bounded(10) == 0 ? "x" : QString::number(Rng.bounded(50)),
                     QString::number(Rng.bounded(9)));
}

QList<QStringList> RowsOf(const TRecordListModel& M)
{
    QList<QStringList> rows;
    for (int r = 0; r < M.RowCount(); ++r) {
        QStringList row{M.IdAt(r)};
        for (int c = 0; c < M.columnCount(); ++c)
            row << M.TextAt(r, c);
        rows << row;
    }
    return rows;
}

} // namespace

// A merge must leave the list exactly as a full load of the new records
// would (rows, order, totals, under any sort and find text), while the
// selection stays on its records.
// Count changes to Site's records as the site sends them: each id once, in
// id order (new ones after the old, as ids grow), ids below Top; every other
// round only new records, as most live refreshes of the sales bring. Site
// takes them too.
template <class F>
void RandomChanges(QRandomGenerator& Rng, int Round, int Count, int Top, QMap<int, QStringList>& Site,
                   QMap<int, QStringList>& Upserts, QStringList& Removed, F Make)
{
    const int lowest = Round % 2 ? Site.lastKey() + 1 : 1;
    for (int k = 0; k < Count; ++k) {
        const int id = int(Rng.bounded(lowest, Top));
        if (lowest == 1 && Rng.bounded(3) == 0 && Site.contains(id) && !Upserts.contains(id)) {
            Removed << QString::number(id);
            Site.remove(id);
        } else if (!Removed.contains(QString::number(id)) && (lowest == 1 || !Site.contains(id))) {
            Site[id] = Upserts[id] = Make(id);
        }
    }
}

TEST(ListMerge, EqualsAFullLoadAndKeepsPersistentIndexesOnTheirRecords)
{
    QRandomGenerator rng(26);
    for (int round = 0; round < 40; ++round) {
        QMap<int, QStringList> site;
        for (int id = 1; id <= 60; ++id)
            site[id] = RandomAffiliate(rng, id);
        TAffiliatesModel merged, loaded;
        QAbstractItemModelTester tester(&merged, QAbstractItemModelTester::FailureReportingMode::Fatal);
        merged.SetRows(Records(7, site.values()));
        const int column = int(rng.bounded(-1, int(TAffiliatesModel::ColumnCount)));
        const auto order = rng.bounded(2) ? Qt::AscendingOrder : Qt::DescendingOrder;
        const QString find = rng.bounded(3) == 0 ? QStringLiteral("name2") : QString();
        for (TAffiliatesModel* m : {&merged, &loaded}) {
            m->sort(column, order);
            m->SetFindText(find);
        }
        QList<QPersistentModelIndex> held;
        for (int r = 0; r < merged.RowCount(); r += 3)
            held << QPersistentModelIndex(merged.index(r, 1));
        QStringList heldIds;
        for (const auto& i : held)
            heldIds << merged.IdAt(i.row());

        QMap<int, QStringList> upserts;
        QStringList removed;
        RandomChanges(rng, round, 12, 75, site, upserts, removed,
                      [&](int id) { return RandomAffiliate(rng, id); });
        merged.MergeRows(Records(7, upserts.values()), removed);
        loaded.SetRows(Records(7, site.values()));
        ASSERT_EQ(RowsOf(merged), RowsOf(loaded)) << "round " << round;
        // The order the selection's ids go by, after rows were only added.
        QList<int> all(merged.RowCount());
        std::iota(all.begin(), all.end(), 0);
        QStringList byName, loadedByName;
        for (int r : merged.InNameOrder(all))
            byName << merged.IdAt(r);
        for (int r : loaded.InNameOrder(all))
            loadedByName << loaded.IdAt(r);
        EXPECT_EQ(byName, loadedByName);
        EXPECT_EQ(merged.AllRowCount(), loaded.AllRowCount());
        EXPECT_EQ(merged.Totals().OtoSales, loaded.Totals().OtoSales);
        EXPECT_EQ(merged.Totals().Visitors, loaded.Totals().Visitors);
        EXPECT_EQ(merged.ShownTotals().UniqueHits, loaded.ShownTotals().UniqueHits);
        for (qsizetype h = 0; h < held.size(); ++h) {
            if (removed.contains(heldIds[h])) {
                EXPECT_FALSE(held[h].isValid());
                continue;
            }
            // A record that a change moves out of the find text's reach is
            // no longer shown.
            if (!held[h].isValid())
                continue;
            EXPECT_EQ(merged.IdAt(held[h].row()), heldIds[h]);
            EXPECT_EQ(held[h].column(), 1);
        }
    }
}

TEST(ListMerge, MarksOnlyWhatChangedAndTheSameChangesTwiceDoNothing)
{
    TSalesModel model;
    model.SetRows(Records(3, {{"\"1", "Ann", "o-1\""}, {"\"2", "Bob", "o-2\""}}));
    EXPECT_FALSE(model.IsMarked(0));
    const TRecordTable changes = Records(3, {{"\"2", "Bob", "o-2\""}, {"\"3", "Cy", "o-3\""}});
    TRecordListModel::TMerge m = model.MergeRows(changes, {"1", "99"});
    EXPECT_EQ(m.Added, 1);
    EXPECT_EQ(m.Changed, 0);
    EXPECT_EQ(m.Removed, 1);
    ASSERT_EQ(Ids(model), (QStringList{"2", "3"}));
    EXPECT_FALSE(model.IsMarked(0)); // sent again unchanged
    EXPECT_TRUE(model.IsMarked(1));
    EXPECT_TRUE(model.index(1, 0).data(TRecordListModel::MarkRole).toBool());
    m = model.MergeRows(changes, {"1", "99"});
    EXPECT_FALSE(m.Any());

    // A whole list drops what it lacks; a changed order is marked.
    m = model.MergeWhole(Records(3, {{"\"3", "Cy", "o-3b\""}}));
    EXPECT_EQ(m.Removed, 1);
    EXPECT_EQ(m.Changed, 1);
    EXPECT_EQ(Column(model, TSalesModel::colSalesOrder), QStringList{"o-3b"});
    EXPECT_TRUE(model.IsMarked(0));
    // The mark goes after a few seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !model.IsMarked(0); }, TRecordListModel::MarkMs + 2000));
}

// Sales with their dates: a merge keeps each row's time with it, and sorts
// after it (by any column) stand as after a full load.
TEST(ListMerge, DatedSalesKeepTheirTimesAndSortLikeAFullLoad)
{
    QRandomGenerator rng(25);
    const auto sale = [&](int Id) {
        const QString time = QStringLiteral("2026-03-%1 %2:00:00")
                                 .arg(1 + rng.bounded(28), 2, 10, QLatin1Char('0'))
                                 .arg(rng.bounded(24), 2, 10, QLatin1Char('0'));
        return QStringList{"\"" + QString::number(Id), "aff" + QString::number(rng.bounded(4)),
                           "o-" + QString::number(rng.bounded(30)), time + "\""};
    };
    for (int round = 0; round < 20; ++round) {
        QMap<int, QStringList> site;
        for (int id = 1; id <= 40; ++id)
            site[id] = sale(id);
        TSalesModel merged, loaded;
        for (TSalesModel* m : {&merged, &loaded})
            m->SetDated(true);
        merged.SetRows(Records(4, site.values()));
        const auto order = rng.bounded(2) ? Qt::AscendingOrder : Qt::DescendingOrder;
        merged.sort(TSalesModel::colDate, order);
        QMap<int, QStringList> upserts;
        QStringList removed;
        RandomChanges(rng, round, 8, 50, site, upserts, removed, sale);
        merged.MergeRows(Records(4, upserts.values()), removed);
        loaded.SetRows(Records(4, site.values()));
        loaded.sort(TSalesModel::colDate, order);
        ASSERT_EQ(RowsOf(merged), RowsOf(loaded)) << "round " << round;
        for (int r = 0; r < merged.RowCount(); ++r)
            ASSERT_EQ(merged.TimeAt(r), loaded.TimeAt(r)) << "round " << round;
        const int column = int(rng.bounded(int(TSalesModel::ColumnCount)));
        for (TSalesModel* m : {&merged, &loaded})
            m->sort(column, order);
        ASSERT_EQ(RowsOf(merged), RowsOf(loaded)) << "round " << round << " column " << column;
    }
}
