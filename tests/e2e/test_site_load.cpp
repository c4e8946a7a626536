// The reference site at scale and under concurrent traffic: long selections,
// lists bigger than PHP's memory limit, sales that arrive all at once or
// twice, requests that must not count, and a database from before the
// upgrade script.
#include "SiteFixture.h"
#include "net/HttpClient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <memory>

using namespace tftest;

namespace
{

class SiteLoad : public TSiteTest
{
protected:
    // A table source "n" with the numbers 1..count in column i.
    QString Numbers(int count) const
    {
        if (Maria())
            return QStringLiteral("(SELECT seq AS i FROM seq_1_to_%1) n").arg(count);
        return QStringLiteral("(WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < %1) "
                              "SELECT i FROM c) n")
            .arg(count);
    }
    QString Cat(const QStringList& parts) const
    {
        return Maria() ? "CONCAT(" + parts.join(", ") + ")" : "(" + parts.join(" || ") + ")";
    }

    // Affiliates 1..count named "Name <i>" with link ids "l<i>", and sales
    // 1..sales: sale i belongs to affiliate (i mod count) + 1, except every
    // seventh, which is direct. Counters agree with the sales.
    void Fill(int count, int sales, const QString& orderPadding = QString())
    {
        ASSERT_TRUE(Site->Exec("INSERT INTO tf_affiliates (id, name, link_id) SELECT i, " +
                               Cat({"'Name '", "i"}) + ", " + Cat({"'l'", "i"}) + " FROM " + Numbers(count)));
        ASSERT_TRUE(Site->Exec(QStringLiteral("INSERT INTO tf_sales (id, affiliate_id, sale_order) SELECT i, "
                                              "CASE WHEN i % 7 = 0 THEN NULL ELSE i % %1 + 1 END, ")
                                   .arg(count) +
                               Cat({"'ORDER-'", "i", "'" + orderPadding + "'"}) + " FROM " + Numbers(sales)));
        ASSERT_TRUE(Site->Exec("UPDATE tf_affiliates SET oto_sales = (SELECT COUNT(*) FROM tf_sales s "
                               "WHERE s.affiliate_id = tf_affiliates.id)"));
    }

    // The sales list the script must send for this condition, built from
    // the rows themselves.
    QByteArray ExpectedSales(const QString& where)
    {
        QByteArray out;
        const auto rows =
            Site->Rows("SELECT s.id, COALESCE(a.name, ''), s.sale_order FROM tf_sales s LEFT JOIN "
                       "tf_affiliates a ON a.id = s.affiliate_id " +
                       where + " ORDER BY s.id");
        out.reserve(rows.size() * 40);
        for (const TDbRow& r : rows)
            out += "\"" + r[0] + "\",\"" + Blanked(r[1]) + "\",\"" + Blanked(r[2]) + "\"^";
        return out + "OK";
    }

    QByteArray ExpectedAffiliates()
    {
        QByteArray out;
        const auto rows =
            Site->Rows("SELECT id, name, link_id, oto_sales, subscribers, visitors, unique_hits "
                       "FROM tf_affiliates ORDER BY id");
        for (TDbRow r : rows) {
            r[1] = Blanked(r[1]);
            r[2] = Blanked(r[2]);
            out += "\"" + r.join("\",\"") + "\"^";
        }
        return out + "OK";
    }

    // A value as a list reply carries it: the reply's separators blanked.
    static QByteArray Blanked(QByteArray value)
    {
        for (char& c : value)
            if (c == ',' || c == '^' || c == '"' || c == '\r' || c == '\n')
                c = ' ';
        return value;
    }

    // Affiliates whose OTO sales differ from their sale rows.
    qsizetype CounterMismatches()
    {
        const auto rows = Site->Rows("SELECT COUNT(*) FROM tf_affiliates a WHERE a.oto_sales <> "
                                     "(SELECT COUNT(*) FROM tf_sales s WHERE s.affiliate_id = a.id)");
        return rows.isEmpty() ? -1 : rows[0][0].toLongLong();
    }

    QString TrackUrl(const QList<QPair<QString, QString>>& query) const { return Site->TrackUrl(query); }
    QString Sale(const QString& order, const QString& affid = "annb") const
    {
        return Site->SignedSaleUrl(order, affid);
    }
};

struct TBurstReply {
    int Status = 0;
    QByteArray Body;
    QString Error;
};

// Sends every request at once: several clients, each with its own
// connections (one request per connection, as a browser's retry would not
// be wanted here), and waits for all of them.
QList<TBurstReply> Burst(const QStringList& urls, int clients)
{
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers;
    for (int i = 0; i < clients; ++i)
        managers.push_back(std::make_unique<QNetworkAccessManager>());
    QList<TBurstReply> replies(urls.size());
    int open = int(urls.size());
    QEventLoop loop;
    for (int i = 0; i < urls.size(); ++i) {
        QNetworkRequest request{QUrl(urls[i])};
        request.setRawHeader("Connection", "close");
        request.setTransferTimeout(30000);
        QNetworkReply* reply = managers[size_t(i % clients)]->get(request);
        QObject::connect(reply, &QNetworkReply::finished, &loop, [&, reply, i] {
            replies[i].Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            replies[i].Body = reply->readAll();
            if (reply->error() != QNetworkReply::NoError)
                replies[i].Error = reply->errorString();
            reply->deleteLater();
            if (--open == 0)
                loop.quit();
        });
    }
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (open > 0)
        loop.exec();
    return replies;
}

// One GET with these request headers (and method HEAD when asked).
TBurstReply Fetch(const QString& url, const QList<QPair<QByteArray, QByteArray>>& headers, bool head = false)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(15000);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply* reply = head ? manager.head(request) : manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    TBurstReply out{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                    reply->error() == QNetworkReply::NoError ? QString() : reply->errorString()};
    delete reply;
    return out;
}

TEST_P(SiteLoad, SalesBurstThroughOneAffiliateCountsEverySaleOnce)
{
    const QByteArray ann = Add("Ann", "annb");
    RestartWeb({}, 8);
    // Every order twice, the copies far apart, and visits in between: the
    // counter row is wanted by every request at once. The visits all come
    // from one address, so they count once.
    constexpr int kOrders = 80;
    QStringList urls;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < kOrders; ++i) {
            urls << Sale(QStringLiteral("B-%1").arg(i));
            if (i % 4 == 0)
                urls << TrackUrl({{"affid", "annb"}});
        }
    const QList<TBurstReply> replies = Burst(urls, 4);
    int failed = 0;
    TBurstReply firstFailure;
    for (const TBurstReply& r : replies)
        if (r.Status != 200 || r.Body != "OK") {
            if (failed++ == 0)
                firstFailure = r;
        }
    EXPECT_EQ(failed, 0) << "of " << replies.size() << "; first: " << firstFailure.Status << " "
                         << firstFailure.Body.toStdString() << " " << firstFailure.Error.toStdString();
    EXPECT_EQ(Count("tf_sales"), kOrders);
    EXPECT_EQ(Scalar("SELECT oto_sales FROM tf_affiliates WHERE id = ?", {ann}), QByteArray::number(kOrders));
    EXPECT_EQ(Scalar("SELECT visitors FROM tf_affiliates WHERE id = ?", {ann}), "1");
    EXPECT_EQ(Scalar("SELECT COUNT(DISTINCT sale_order) FROM tf_sales"), QByteArray::number(kOrders));
}

TEST_P(SiteLoad, RepeatedOrderIsOneSaleWhicheverWayItComesBack)
{
    const QByteArray ann = Add("Ann", "annb");
    Add("Bob", "bob7");
    THttpSession browser;
    auto sale = [&](const QString& order, const QString& affid) { return browser.Get(Sale(order, affid)); };
    EXPECT_EQ(sale("ORD 1", "annb").Body, "OK");
    // A reloaded thank-you page, the same order through another affiliate,
    // the same order as a direct sale: all answered, none counted.
    EXPECT_EQ(sale("ORD 1", "annb").Body, "OK");
    EXPECT_EQ(sale("ORD 1", "bob7").Body, "OK");
    EXPECT_EQ(sale("ORD 1", "").Body, "OK");
    EXPECT_EQ(sale("ORD 2", "").Body, "OK");
    EXPECT_EQ(sale("ORD 2", "annb").Body, "OK");
    EXPECT_EQ(Count("tf_sales"), 2);
    EXPECT_EQ(Body("3"), "\"" + ann + "\",\"Ann\",\"annb\",\"1\",\"0\",\"0\",\"0\"^\"" +
                             QByteArray::number(ann.toInt() + 1) +
                             "\",\"Bob\",\"bob7\",\"0\",\"0\",\"0\",\"0\"^OK");
    // Deleting the sale takes it off the counter as well.
    const QByteArray first = Scalar("SELECT id FROM tf_sales WHERE sale_order = 'ORD 1'");
    EXPECT_EQ(Body("5", {{"deleteids", first}}), "OK");
    EXPECT_EQ(CounterMismatches(), 0);
    EXPECT_EQ(Scalar("SELECT oto_sales FROM tf_affiliates WHERE id = ?", {ann}), "0");
}

TEST_P(SiteLoad, RequestsNoPersonMadeAreAnsweredButNotCounted)
{
    const QByteArray ann = Add("Ann", "annb");
    QFile extra(Site->DocRoot() + "/crawlers.txt");
    ASSERT_TRUE(extra.open(QIODevice::WriteOnly));
    extra.write("# our uptime checker\nShopWatch\n\n");
    extra.close();
    const QString visit = TrackUrl({{"affid", "annb"}});
    const QString order = Sale("X1");
    const QByteArray browser =
        "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 Chrome/120.0 Safari/537.36";
    const QList<QList<QPair<QByteArray, QByteArray>>> automatic = {
        {{"User-Agent", "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)"}},
        {{"User-Agent", "facebookexternalhit/1.1"}},
        {{"User-Agent", "TelegramBot (like TwitterBot)"}},
        {{"User-Agent", "ShopWatch/3.0"}},
        {{"User-Agent", browser}, {"Sec-Purpose", "prefetch;prerender"}},
        {{"User-Agent", browser}, {"Purpose", "prefetch"}},
    };
    for (const auto& headers : automatic) {
        for (const QString& url : {visit, order}) {
            const TBurstReply r = Fetch(url, headers);
            EXPECT_EQ(r.Status, 200) << headers[0].second.toStdString();
            EXPECT_EQ(r.Body, "OK");
        }
    }
    EXPECT_EQ(Fetch(visit, {{"User-Agent", browser}}, true).Status, 200);
    EXPECT_EQ(Scalar("SELECT visitors + unique_hits + oto_sales FROM tf_affiliates WHERE id = ?", {ann}),
              "0");
    EXPECT_EQ(Count("tf_sales"), 0);
    // A person's browser is counted.
    EXPECT_EQ(Fetch(visit, {{"User-Agent", browser}}).Body, "OK");
    EXPECT_EQ(Fetch(order, {{"User-Agent", browser}}).Body, "OK");
    EXPECT_EQ(Scalar("SELECT visitors + unique_hits + oto_sales FROM tf_affiliates WHERE id = ?", {ann}),
              "3");
    QFile::remove(Site->DocRoot() + "/crawlers.txt");
}

TEST_P(SiteLoad, SelectionsOfTensOfThousandsListAndDelete)
{
    constexpr int kAffiliates = 20000;
    Fill(kAffiliates, 40000);
    // Every affiliate selected, in the window's (name) order, not by id.
    QByteArray ids;
    for (int i = kAffiliates; i >= 1; --i)
        ids += QByteArray::number(i) + (i > 1 ? "," : "");
    const THttpReply listed = Send("4", {{"querytype", "0"}, {"reftype", ids}});
    EXPECT_EQ(listed.Status, 200) << listed.Error.toStdString();
    const QByteArray expected = ExpectedSales("WHERE s.affiliate_id IS NOT NULL");
    EXPECT_EQ(listed.Body.size(), expected.size());
    EXPECT_TRUE(listed.Body == expected);

    // 15,000 sales in one request, and the counters follow.
    QByteArray saleIds;
    for (int i = 1; i <= 15000; ++i)
        saleIds += QByteArray::number(i * 2) + (i < 15000 ? "," : "");
    EXPECT_EQ(Body("5", {{"deleteids", saleIds}}), "OK");
    EXPECT_EQ(Count("tf_sales"), 25000);
    EXPECT_EQ(CounterMismatches(), 0);

    // All or nothing: one sale that cannot be deleted, last in the list,
    // keeps every other one too.
    ASSERT_TRUE(Site->Exec("UPDATE tf_sales SET sale_order = 'KEEP' WHERE id = 39999"));
    ASSERT_TRUE(Site->Exec(
        Maria() ? "CREATE TRIGGER tf_test_keep BEFORE DELETE ON tf_sales FOR EACH ROW BEGIN IF "
                  "OLD.sale_order = 'KEEP' "
                  "THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'kept'; END IF; END"
                : "CREATE TRIGGER tf_test_keep BEFORE DELETE ON tf_sales WHEN OLD.sale_order = 'KEEP' "
                  "BEGIN SELECT RAISE(ABORT, 'kept'); END"));
    QByteArray withKept;
    for (int i = 1; i <= 10000; ++i)
        withKept += QByteArray::number(i * 2 - 1) + ",";
    withKept += "39999";
    const QByteArray countersBefore = Scalar("SELECT SUM(oto_sales) FROM tf_affiliates");
    EXPECT_NE(Body("5", {{"deleteids", withKept}}), "OK");
    EXPECT_TRUE(Site->Exec("DROP TRIGGER tf_test_keep"));
    EXPECT_EQ(Count("tf_sales"), 25000);
    EXPECT_EQ(Scalar("SELECT SUM(oto_sales) FROM tf_affiliates"), countersBefore);

    // Every affiliate deleted by id; their sales stay, without affiliate.
    EXPECT_EQ(Body("2", {{"deleteids", ids}}), "OK");
    EXPECT_EQ(Count("tf_affiliates"), 0);
    EXPECT_EQ(Count("tf_sales"), 25000);
}

TEST_P(SiteLoad, ListsLargerThanTheMemoryLimitArriveWhole)
{
    // About 6 MB of sales and 1 MB of affiliates through a script that may
    // use 4 MB.
    Fill(20000, 60000, QStringLiteral(" %1").arg(QString(70, QChar('p'))));
    // Separators written by other scripts, in the first piece of a list, in
    // the middle of what the script keeps, in its last piece and in what it
    // has to read a second time.
    for (const int sale : {3, 30000, 59999}) {
        ASSERT_TRUE(Site->Exec(QStringLiteral("UPDATE tf_sales SET sale_order = ? WHERE id = %1").arg(sale),
                               {"a,b^c\"d\re\nf"}));
    }
    for (const int affiliate : {2, 19999}) {
        ASSERT_TRUE(Site->Exec(
            QStringLiteral("UPDATE tf_affiliates SET name = ? WHERE id = %1").arg(affiliate), {"x\"y,z"}));
    }
    RestartWeb({"memory_limit=4M"}, 0);
    for (const auto& [type, where] : QList<QPair<QByteArray, QString>>{
             {"3", ""}, {"1", "WHERE s.affiliate_id IS NOT NULL"}, {"2", "WHERE s.affiliate_id IS NULL"}}) {
        const THttpReply listed = Send("4", {{"querytype", type}, {"reftype", ""}});
        const QByteArray expected = ExpectedSales(where);
        EXPECT_EQ(listed.Status, 200) << listed.Error.toStdString() << Site->WebLog().toStdString();
        EXPECT_EQ(listed.Body.size(), expected.size()) << "query type " << type.toStdString();
        EXPECT_TRUE(listed.Body == expected) << "query type " << type.toStdString();
    }
    const QByteArray affiliates = Body("3");
    EXPECT_EQ(affiliates.count('^'), 20000);
    EXPECT_TRUE(affiliates == ExpectedAffiliates());
    // The same lists when the script keeps all of them.
    RestartWeb({}, 0);
    EXPECT_TRUE(Body("4", {{"querytype", "3"}, {"reftype", ""}}) == ExpectedSales(""));
    EXPECT_TRUE(Body("3") == ExpectedAffiliates());

    // Plain at its start, the list is compressed as it is read, up to the
    // piece that holds a separator. Under a limit it would not fit plain, it
    // still comes from memory, compressed; under one that not even its
    // compressed form fits, in two passes, read again from its start.
    ASSERT_TRUE(Site->Exec("UPDATE tf_sales SET sale_order = 'plain' WHERE id = 3"));
    ASSERT_TRUE(Site->Exec("UPDATE tf_affiliates SET name = 'plain' WHERE id IN (2, 19999)"));
    const QByteArray all = ExpectedSales("");
    const TPostFields form = {{"action", "4"}, {"querytype", "3"}, {"reftype", ""}, {"end", ""}};
    TFormFields fields;
    for (const auto& [name, value] : form)
        fields.append({QString::fromLatin1(name), QString::fromLatin1(value)});
    const QByteArray boundary = "----TestBoundary7MA4YWxkTrZu0gW";
    for (const QByteArray& limit : {QByteArray("16M"), QByteArray("4M")}) {
        RestartWeb({"memory_limit=" + QString::fromLatin1(limit)}, 0);
        EXPECT_TRUE(Body("4", {{"querytype", "3"}, {"reftype", ""}}) == all) << limit.toStdString();
        const TRawReply raw = RawRequest(
            Site->ActionsUrl(), "127.0.0.1",
            {{"Content-Type", "multipart/form-data; boundary=" + boundary}, {"Accept-Encoding", "gzip"}},
            "POST", THttpClient::MultipartBody(fields, boundary));
        EXPECT_EQ(HeaderValue(raw.Head, "Content-Length").toLongLong(), raw.Body.size())
            << limit.toStdString();
        if (limit == "16M") {
            EXPECT_EQ(HeaderValue(raw.Head, "Content-Encoding"), "gzip");
            EXPECT_LT(raw.Body.size(), all.size() / 4);
        } else {
            EXPECT_TRUE(raw.Body == all);
        }
    }
}

TEST_P(SiteLoad, OlderDatabaseWorksAndUpgradesOnce)
{
    // The tables as an older schema made them.
    ASSERT_TRUE(
        Site->Exec(Maria() ? "ALTER TABLE tf_sales DROP INDEX uq_tf_sales_order_key, DROP COLUMN order_key"
                           : "DROP INDEX uq_tf_sales_order_key; ALTER TABLE tf_sales DROP COLUMN order_key"));
    ASSERT_TRUE(Site->Exec("DROP TABLE tf_seen"));
    const QByteArray ann = Add("Ann", "annb");
    THttpSession browser;
    const QString sale = Sale("OLD-1");
    EXPECT_EQ(browser.Get(sale).Body, "OK");
    EXPECT_EQ(browser.Get(sale).Body, "OK"); // no way to tell a repeat yet
    // No way to count a client once either: visits wait for the upgrade.
    EXPECT_EQ(browser.Get(TrackUrl({{"affid", "annb"}})).Status, 500);
    EXPECT_EQ(Count("tf_sales"), 2);
    EXPECT_EQ(CounterMismatches(), 0);
    EXPECT_TRUE(Body("4", {{"querytype", "3"}, {"reftype", ""}}).endsWith("\"Ann\",\"OLD-1\"^OK"));

    const QString first = RunUpgrade("ALTER, INDEX, CREATE");
    EXPECT_TRUE(first.contains("added tf_sales.order_key")) << first.toStdString();
    EXPECT_TRUE(first.contains("added the table tf_seen")) << first.toStdString();
    EXPECT_TRUE(first.contains("marked 1 earlier sales")) << first.toStdString();
    const QString again = RunUpgrade("ALTER, INDEX, CREATE");
    EXPECT_FALSE(again.contains("added")) << again.toStdString();
    EXPECT_TRUE(again.contains("marked 0 earlier sales")) << again.toStdString();

    // Both old sales are kept; the order now counts once at most.
    EXPECT_EQ(browser.Get(sale).Body, "OK");
    EXPECT_EQ(Count("tf_sales"), 2);
    EXPECT_EQ(browser.Get(Sale("NEW-1")).Body, "OK");
    EXPECT_EQ(browser.Get(Sale("NEW-1")).Body, "OK");
    EXPECT_EQ(browser.Get(TrackUrl({{"affid", "annb"}})).Body, "OK");
    EXPECT_EQ(Count("tf_sales"), 3);
    EXPECT_EQ(Scalar("SELECT oto_sales FROM tf_affiliates WHERE id = ?", {ann}), "3");
    EXPECT_EQ(Scalar("SELECT visitors FROM tf_affiliates WHERE id = ?", {ann}), "1");
}

TEST_P(SiteLoad, UpgradeStoppedBeforeTheIndexStillFinishes)
{
    // The column is there, its index is not: an order recorded twice
    // meanwhile must not stop the index from being made.
    ASSERT_TRUE(Site->Exec(Maria() ? "ALTER TABLE tf_sales DROP INDEX uq_tf_sales_order_key"
                                   : "DROP INDEX uq_tf_sales_order_key"));
    Add("Ann", "annb");
    THttpSession browser;
    const QString sale = Sale("TWICE");
    EXPECT_EQ(browser.Get(sale).Body, "OK");
    EXPECT_EQ(browser.Get(sale).Body, "OK");
    EXPECT_FALSE(RunUpgrade("ALTER, INDEX").isEmpty());
    EXPECT_EQ(Count("tf_sales"), 2);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM tf_sales WHERE order_key IS NOT NULL"), "1");
    EXPECT_EQ(browser.Get(sale).Body, "OK");
    EXPECT_EQ(Count("tf_sales"), 2);
}

INSTANTIATE_TEST_SUITE_P(Db, SiteLoad, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb), SiteDbParamName);

} // namespace
