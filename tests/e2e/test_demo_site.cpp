// The demo site that scripts/site.sh lays out: tracking script over the
// seeded SQLite file, the demo news service and the update descriptor.
#include "SiteServer.h"
#include "TestFolders.h"
#include "brand/AppConstants.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

QByteArray DecodeDollarHex(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '$') {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

class DemoSite : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Port = FreePort();
        ASSERT_NE(Port, 0);
        Folder = Parent.File("site");
        // Started by root, the site runs as another user, who must pass
        // through the folder above it.
        QFile::setPermissions(Parent.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                 QFile::ExeGroup | QFile::ExeOther);
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start("bash", {SourceDir() + "/scripts/site.sh", Folder, QString::number(Port)});
        ASSERT_TRUE(script.waitForFinished(60000));
        Output = script.readAll();
        ASSERT_EQ(script.exitCode(), 0) << Output.toStdString();
        Url = QStringLiteral("http://127.0.0.1:%1").arg(Port);
    }
    void TearDown() override { Stop(); }

    int Stop()
    {
        QProcess script;
        script.start("bash", {SourceDir() + "/scripts/site.sh", "--stop", Folder});
        script.waitForFinished(30000);
        return script.exitCode();
    }

    QByteArray Actions(const TPostFields& fields) { return Http.Post(Url + "/actions.php", fields).Body; }
    QByteArray News(const QString& script, const TPostFields& fields)
    {
        return Http.Post(Url + "/news/" + script, fields).Body;
    }
    static TPostFields NewsForm(const QByteArray& conttype)
    {
        return {{"memusername", "demo"}, {"prodcode", "TF"},   {"prodtype", "BM"},
                {"conttype", conttype},  {"newstarget", "UA"}, {"something", ""}};
    }
    static TPostFields DetailsForm(const QByteArray& id, const QByteArray& user = "demo",
                                   const QByteArray& type = "BM")
    {
        return {{"memusername", user}, {"prodcode", "TF"},   {"prodtype", type},
                {"newsid", id},        {"newstarget", "UA"}, {"something", ""}};
    }

    TDataFolder Parent;
    QString Folder;
    QByteArray Output;
    quint16 Port = 0;
    QString Url;
    THttpSession Http;
};

TEST_F(DemoSite, PrintsItsAddressAndServesTheSeededAffiliatesAndSales)
{
    EXPECT_TRUE(Output.contains(Url.toUtf8())) << Output.toStdString();
    EXPECT_EQ(Actions({{"action", "1"}, {"end", ""}}), "OK");

    const QRegularExpression affiliate(R"(^"\d+","[^"]+","[^"]+","\d+","\d+","\d+","\d+"$)");
    const QByteArray list = Actions({{"action", "3"}, {"end", ""}});
    ASSERT_TRUE(list.endsWith("^OK")) << list.toStdString();
    const QList<QByteArray> records = list.chopped(3).split('^');
    EXPECT_GE(records.size(), 3);
    for (const QByteArray& r : records)
        EXPECT_TRUE(affiliate.match(QString::fromUtf8(r)).hasMatch()) << r.toStdString();

    const QByteArray all = Actions({{"action", "4"}, {"querytype", "3"}, {"reftype", ""}, {"end", ""}});
    const QByteArray direct = Actions({{"action", "4"}, {"querytype", "2"}, {"reftype", ""}, {"end", ""}});
    const QByteArray referred = Actions({{"action", "4"}, {"querytype", "1"}, {"reftype", ""}, {"end", ""}});
    // Some sales of each kind, so that every entry of the Show box has rows.
    EXPECT_GT(direct.count('^'), 0);
    EXPECT_GT(referred.count('^'), 0);
    EXPECT_EQ(all.count('^'), direct.count('^') + referred.count('^'));
}

// The demo shop's thank-you page reports its sale as an operator's shop
// does: signed, so that the address works for that affiliate only.
TEST_F(DemoSite, ThankYouPageReportsASignedSale)
{
    const QByteArray page = Http.Get(Url + "/thank-you.php?order=DEMO-77&affid=annb").Body;
    const auto m = QRegularExpression(R"re(<img src="([^"]+)")re").match(QString::fromUtf8(page));
    ASSERT_TRUE(m.hasMatch()) << page.toStdString();
    const QString sale = Url + "/" + m.captured(1).replace("&amp;", "&");
    EXPECT_EQ(Http.Get(sale).Body, "OK");
    const QByteArray referred = Actions({{"action", "4"}, {"querytype", "1"}, {"reftype", ""}, {"end", ""}});
    EXPECT_TRUE(referred.contains("\"Ann Baker\",\"DEMO-77\"^")) << referred.toStdString();
    EXPECT_EQ(Http.Get(QString(sale).replace("affid=annb", "affid=carlos")).Body, "REFUSED");
}

TEST_F(DemoSite, WritesOnlyInsideItsFolderAndStops)
{
    EXPECT_EQ(Parent.Entries(), QStringList{"site"});
    EXPECT_TRUE(QFile::exists(Folder + "/data/tallyfair.db"));
    // The database lies outside the document root.
    EXPECT_EQ(Http.Get(Url + "/data/tallyfair.db").Status, 404);
    EXPECT_EQ(Http.Get(Url + "/../data/tallyfair.db").Status, 404);

    EXPECT_EQ(Stop(), 0);
    EXPECT_FALSE(QFile::exists(Folder + "/server.pid"));
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, Port);
    EXPECT_FALSE(probe.waitForConnected(1000));
}

TEST_F(DemoSite, NewsServiceSpeaksTheNewsReplies)
{
    const QByteArray last = News("getlastnews.php", NewsForm("lastcode"));
    const QRegularExpression lastForm(QStringLiteral("^(\\d+)\\^([^^]+)\u00afOK$"));
    const auto m = lastForm.match(QString::fromLatin1(last));
    ASSERT_TRUE(m.hasMatch()) << last.toStdString();

    const QByteArray list = News("getlastnews.php", NewsForm("all"));
    QList<QByteArray> items = list.split('\xaf');
    ASSERT_EQ(items.takeLast(), "OK");
    ASSERT_GE(items.size(), 2);
    int newest = 0;
    QString newestTitle;
    for (const QByteArray& item : items) {
        const QList<QByteArray> fields = item.split('^');
        ASSERT_EQ(fields.size(), 3) << item.toStdString();
        if (fields[0].toInt() > newest) {
            newest = fields[0].toInt();
            newestTitle = QString::fromLatin1(fields[1]);
        }
        const QByteArray details = News("getnewsdetails.php", DetailsForm(fields[0]));
        ASSERT_TRUE(details.endsWith("\xafOK")) << details.toStdString();
        const QByteArray body = details.chopped(3);
        // Only letters, digits and escapes: nothing the client would trim or cut.
        EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9$]+$").match(QString::fromLatin1(body)).hasMatch());
        EXPECT_TRUE(DecodeDollarHex(body).startsWith("<html>")) << DecodeDollarHex(body).toStdString();
    }
    // The start-up notice names the newest item of the list.
    EXPECT_EQ(m.captured(1).toInt(), newest);
    EXPECT_EQ(m.captured(2), newestTitle);
}

TEST_F(DemoSite, NewsServiceRefusals)
{
    EXPECT_EQ(News("getnewsdetails.php", DetailsForm("999")), "INVALIDNEWS");
    EXPECT_EQ(News("getnewsdetails.php", DetailsForm("1", "")), "INVALIDUSER");
    EXPECT_EQ(News("getnewsdetails.php", DetailsForm("1", "demo", "bm")), "INVALIDPRODUCT");
    TPostFields noUser = NewsForm("all");
    noUser[0].second = "";
    EXPECT_EQ(News("getlastnews.php", noUser), "INVALIDUSER");
}

TEST_F(DemoSite, UpdateDescriptorOffersNoNewerVersion)
{
    const THttpReply reply = Http.Get(Url + "/liveupdate/tallyfair/mainappupdate.inf");
    ASSERT_EQ(reply.Status, 200);
    Parent.Write("got.inf", reply.Body);
    QSettings ini(Parent.File("got.inf"), QSettings::IniFormat);
    EXPECT_FALSE(ini.value("APPLICATION/Name").toString().isEmpty());
    EXPECT_EQ(ini.value("APPLICATION/Version").toString(), AppVersion);
}

} // namespace
