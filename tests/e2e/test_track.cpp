// track.php, the public counter, feeding the numbers that actions.php lists:
// one count per client and window, sales only with the site's signature.
#include "SiteFixture.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

using TQuery = QList<QPair<QString, QString>>;

class Track : public TSiteTest
{
protected:
    THttpReply Hit(THttpSession& browser, const TQuery& query) { return browser.Get(Site->TrackUrl(query)); }
    TRawReply From(const QByteArray& address, const TQuery& query, const QByteArray& agent = "Mozilla/5.0")
    {
        return RawRequest(Site->TrackUrl(query), address, {{"User-Agent", agent}});
    }
    // visitors, unique hits, subscribers, OTO sales
    QList<QByteArray> Counters(const QByteArray& id)
    {
        const auto rows = Site->Rows(
            "SELECT visitors, unique_hits, subscribers, oto_sales FROM tf_affiliates WHERE id = ?", {id});
        return rows.isEmpty() ? QList<QByteArray>() : rows[0];
    }
    QString SecretFile() const { return Site->DocRoot() + "/tracking-secret.php"; }
};

TEST_P(Track, OneClientCountsOncePerAffiliateAndWindow)
{
    // The windows are fixed slices of time (the default 10 minutes, an hour
    // and a day all start on a 10-minute mark): a run that crossed a mark
    // would rightly count again, so it starts clear of one.
    const qint64 intoWindow = QDateTime::currentSecsSinceEpoch() % 600;
    if (intoWindow > 570)
        QThread::sleep(static_cast<unsigned long>(601 - intoWindow));
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray bob = Add("Bob", "bob7");
    // 200 visits and 50 subscribes from one address, from two browsers and
    // without cookies, as a script sends them: one of each.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(From("127.0.0.1", {{"affid", "annb"}}, i % 2 ? "Mozilla/5.0 A" : "Mozilla/5.0 B").Body,
                  "OK");
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(From("127.0.0.1", {{"affid", "annb"}, {"event", "subscribe"}}).Body, "OK");
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"1", "1", "1", "0"}));
    // Another address is another client, and each affiliate counts apart.
    EXPECT_EQ(From("127.0.0.2", {{"affid", "annb"}}).Body, "OK");
    EXPECT_EQ(From("127.0.0.2", {{"affid", "annb"}, {"event", "subscribe"}}).Body, "OK");
    EXPECT_EQ(From("127.0.0.1", {{"affid", "bob7"}}).Body, "OK");
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"2", "2", "2", "0"}));
    EXPECT_EQ(Counters(bob), (QList<QByteArray>{"1", "1", "0", "0"}));
}

TEST_P(Track, UniqueHitCookieFiltersFurtherVisits)
{
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray cookie =
        "tf_seen_" + QCryptographicHash::hash("annb", QCryptographicHash::Sha256).toHex().left(16);
    const TRawReply first = From("127.0.0.3", {{"affid", "annb"}});
    EXPECT_EQ(first.Body, "OK");
    EXPECT_TRUE(first.Head.contains("Set-Cookie: " + cookie + "=1;")) << first.Head.toStdString();
    // A browser that carries the cookie adds no unique hit from a new address,
    // and is not given it again.
    const TRawReply again =
        RawRequest(Site->TrackUrl({{"affid", "annb"}}), "127.0.0.4", {{"Cookie", cookie + "=1"}});
    EXPECT_EQ(again.Body, "OK");
    EXPECT_FALSE(again.Head.contains("Set-Cookie"));
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"2", "1", "0", "0"}));
}

// Under another web server: the cookie follows the script's folder and
// https, and a cookie never stands in for a query value, even where PHP
// would let cookies into $_REQUEST.
TEST_P(Track, CookieFollowsTheFolderAndQueryValuesComeFromTheQuery)
{
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray bob = Add("Bob", "bob7");
    const TRawReply r = Site->RunCgi("track.php", "affid=annb",
                                     {"SCRIPT_NAME=/shop/t/track.php", "HTTPS=on", "HTTP_COOKIE=affid=bob7"},
                                     {}, {}, {"request_order=GPC"});
    EXPECT_EQ(r.Body, "OK");
    EXPECT_TRUE(r.Head.contains("; path=/shop/t/; secure; HttpOnly; SameSite=Lax")) << r.Head.toStdString();
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"1", "1", "0", "0"}));
    EXPECT_EQ(Counters(bob), (QList<QByteArray>{"0", "0", "0", "0"}));
}

TEST_P(Track, OnlyASaleSignedWithTheSiteSecretCounts)
{
    const QByteArray ann = Add("Ann", "annb");
    const QByteArray bob = Add("Bob", "bob7");
    const QString order = "ORD-1021";
    const QString otherKey(64, '0');
    const QString forged = QString::fromLatin1(
        QMessageAuthenticationCode::hash("ORD-1021\nbob7", otherKey.toLatin1(), QCryptographicHash::Sha256)
            .toHex());
    const QString annSignature = QString::fromLatin1(Site->SaleSignature(order.toUtf8(), "annb"));
    THttpSession shop;
    for (const TQuery& refused : {
             TQuery{{"event", "sale"}, {"order", order}, {"affid", "bob7"}, {"sig", forged}},
             // the real order's signature, replayed under another affiliate
             TQuery{{"event", "sale"}, {"order", order}, {"affid", "bob7"}, {"sig", annSignature}},
             TQuery{{"event", "sale"}, {"order", order}, {"affid", ""}, {"sig", annSignature}},
             TQuery{{"event", "sale"}, {"order", order}, {"affid", "bob7"}},
             TQuery{{"event", "sale"}, {"order", order}, {"affid", "bob7"}, {"sig", ""}},
         }) {
        const THttpReply r = Hit(shop, refused);
        EXPECT_EQ(r.Status, 403) << refused.last().second.toStdString();
        EXPECT_EQ(r.Body, "REFUSED");
    }
    EXPECT_EQ(Count("tf_sales"), 0);
    // The shop's own report counts, once, however often it comes.
    EXPECT_EQ(shop.Get(Site->SignedSaleUrl(order, "annb")).Body, "OK");
    EXPECT_EQ(shop.Get(Site->SignedSaleUrl(order, "annb")).Body, "OK");
    EXPECT_EQ(shop.Get(Site->SignedSaleUrl("ORD 10", "")).Body, "OK");
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"0", "0", "0", "1"}));
    EXPECT_EQ(Counters(bob), (QList<QByteArray>{"0", "0", "0", "0"}));
    // The list the control panel reads shows both sales where they belong.
    const QByteArray listed = Body("4", {{"querytype", "0"}, {"reftype", ann}});
    EXPECT_TRUE(listed.contains("\"Ann\",\"ORD-1021\"^")) << listed.toStdString();
    EXPECT_TRUE(Body("4", {{"querytype", "2"}, {"reftype", ""}}).contains("\"\",\"ORD 10\"^"));
}

// What a thank-you page uses: the library's helper signs as the shell
// one-liner of the README does, and its address counts.
TEST_P(Track, PhpHelperSignsAsOpensslDoes)
{
    const QByteArray ann = Add("Ann", "annb");
    const QString order = QStringLiteral("O'R\\D 7/\u00fc&x=1+2");
    QProcess php;
    php.setWorkingDirectory(Site->DocRoot());
    php.start(QStandardPaths::findExecutable("php"),
              {"-r",
               "require 'tracking-lib.php'; echo tf_signed_sale_url($argv[1], $argv[2], $argv[3], $argv[4]);",
               Site->SiteUrl() + "/track.php", order, "annb", QString::fromLatin1(Site->TrackingSecret())});
    ASSERT_TRUE(php.waitForFinished(15000));
    const QString url = QString::fromUtf8(php.readAllStandardOutput());
    QProcess shell;
    shell.start("sh", {"-c", "printf '%s\\n%s' \"$1\" \"$2\" | openssl dgst -sha256 -hmac \"$3\"", "sh",
                       order, "annb", QString::fromLatin1(Site->TrackingSecret())});
    ASSERT_TRUE(shell.waitForFinished(15000));
    const QByteArray openssl = shell.readAllStandardOutput().trimmed();
    const QByteArray signature = openssl.mid(openssl.lastIndexOf(' ') + 1);
    ASSERT_EQ(signature.size(), 64) << openssl.toStdString();
    EXPECT_TRUE(url.endsWith("&affid=annb&sig=" + QString::fromLatin1(signature))) << url.toStdString();
    EXPECT_EQ(Http.Get(url).Body, "OK");
    EXPECT_EQ(Site->Rows("SELECT sale_order FROM tf_sales"), QList<TDbRow>{{order.toUtf8()}});
}

TEST_P(Track, MakeSecretWritesOnceAndPrivately)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("tracking-secret.php");
    auto make = [&](QByteArray* out) {
        QProcess php;
        php.start(QStandardPaths::findExecutable("php"),
                  {Site->DocRoot() + "/upgrade.php", "--make-secret", path});
        EXPECT_TRUE(php.waitForFinished(15000));
        *out = php.readAllStandardOutput();
        return php.exitCode();
    };
    QByteArray printed;
    ASSERT_EQ(make(&printed), 0);
    ASSERT_TRUE(
        QRegularExpression("^TRACKING_SECRET=[0-9a-f]{64}\n$").match(QString::fromLatin1(printed)).hasMatch())
        << printed.toStdString();
    QFile file(path);
    // 0640: the owner's group may be the web server's.
    EXPECT_EQ(int(file.permissions() & 0x7077), int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    file.close();
    EXPECT_TRUE(text.contains("'secret' => '" + printed.mid(16, 64) + "'"));
    EXPECT_EQ(text.count(printed.mid(16, 64)), 1); // the salt is another
    // Never over a secret that is there.
    QByteArray again;
    EXPECT_NE(make(&again), 0);
    EXPECT_TRUE(again.isEmpty());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), text);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"tracking-secret.php"});
}

// The client as the library names it: IPv4 whole, IPv6 by its /64, an
// IPv4 address mapped into IPv6 as itself; the salt and the affiliate's link
// id change every key.
TEST_P(Track, ClientAddressesAreGroupedAndHashed)
{
    QProcess php;
    php.setWorkingDirectory(Site->DocRoot());
    php.start(QStandardPaths::findExecutable("php"),
              {"-r",
               "require 'tracking-lib.php'; foreach (array_slice($argv, 1) as $a) {"
               " [$address, $salt, $link] = explode(' ', $a);"
               " echo bin2hex(tf_client_key($address, '', $link, $salt)), ' '; }",
               "2001:db8:0:1::a s annb", "2001:db8:0:1:ffff:1:2:3 s annb", "2001:db8:0:2::a s annb",
               "127.0.0.1 s annb", "::ffff:127.0.0.1 s annb", "127.0.0.2 s annb", "127.0.0.1 t annb",
               "127.0.0.1 s bob7"});
    ASSERT_TRUE(php.waitForFinished(15000));
    const QList<QByteArray> keys = php.readAllStandardOutput().trimmed().split(' ');
    ASSERT_EQ(keys.size(), 8);
    EXPECT_EQ(keys[0].size(), 32);
    EXPECT_EQ(keys[0], keys[1]);
    EXPECT_NE(keys[0], keys[2]);
    EXPECT_EQ(keys[3], keys[4]);
    for (int other : {5, 6, 7})
        EXPECT_NE(keys[3], keys[other]) << other;
}

TEST_P(Track, SecretFileDecidesWhatIsTaken)
{
    const QByteArray ann = Add("Ann", "annb");
    QFile secret(SecretFile());
    ASSERT_TRUE(secret.open(QIODevice::ReadOnly));
    const QByteArray kept = secret.readAll();
    secret.close();
    // Written anew, and the server restarted: its opcode cache would keep
    // the old file for a moment.
    auto writeSecret = [&](const QByteArray& text) {
        QFile::remove(SecretFile());
        if (!text.isNull()) {
            QFile f(SecretFile());
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        ASSERT_TRUE(Site->StartWeb()) << Site->Error().toStdString();
    };
    const TQuery unsignedSale = {{"event", "sale"}, {"order", "HOSTED-1"}, {"affid", "annb"}};

    // Without it nothing counts, and the log says why.
    writeSecret(QByteArray());
    EXPECT_EQ(Hit(Http, {{"affid", "annb"}}).Status, 403);
    EXPECT_EQ(Http.Get(Site->SignedSaleUrl("S-1", "annb")).Body, "REFUSED");
    EXPECT_TRUE(Site->WebLog().contains("tracking-secret.php is missing")) << Site->WebLog().toStdString();
    // A shop that cannot sign opts out in it.
    writeSecret(QByteArray(kept).replace("'unsigned_sales' => false", "'unsigned_sales' => true"));
    EXPECT_EQ(Hit(Http, unsignedSale).Body, "OK");
    // A broken one (a secret that is no longer 64 hex digits) counts nothing.
    writeSecret(QByteArray(kept).replace("'secret' => '", "'secret' => 'x"));
    EXPECT_EQ(Http.Get(Site->SignedSaleUrl("S-2", "annb")).Status, 403);
    writeSecret(kept);
    EXPECT_EQ(Hit(Http, unsignedSale).Status, 403);
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"0", "0", "0", "1"}));
}

TEST_P(Track, UnknownAffiliatesAndBadOrdersChangeNothing)
{
    const QByteArray ann = Add("Ann", "annb");
    THttpSession browser;
    const THttpReply unknown = Hit(browser, {{"affid", "ANNB"}});
    EXPECT_EQ(unknown.Status, 404);
    EXPECT_EQ(browser.Get(Site->SignedSaleUrl("a,b", "annb")).Status, 400);
    EXPECT_EQ(browser.Get(Site->SignedSaleUrl("", "annb")).Status, 400);
    EXPECT_EQ(Hit(browser, {{"affid", "annb"}, {"event", "refund"}}).Status, 400);
    EXPECT_EQ(Counters(ann), (QList<QByteArray>{"0", "0", "0", "0"}));
    EXPECT_EQ(Count("tf_sales"), 0);
    // Quotes and backslashes are a link id like any other.
    const QByteArray odd = Add("Odd", "o'm\\r");
    EXPECT_EQ(Hit(browser, {{"affid", "o'm\\r"}}).Body, "OK");
    EXPECT_EQ(Counters(odd), (QList<QByteArray>{"1", "1", "0", "0"}));
}

INSTANTIATE_TEST_SUITE_P(Db, Track, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb), SiteDbParamName);

} // namespace
