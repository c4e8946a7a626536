#pragma once
// One running site per database kind for a whole test program: MariaDB takes
// a moment to start, so the tests share it and empty the tables instead.
#include "SiteServer.h"

#include <QProcess>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace tftest
{

class TSharedSites : public ::testing::Environment
{
public:
    // The site of this kind, started on first use; startError says why it
    // is not up (empty when it is).
    static TSiteServer& Get(TSiteDb db, QString* startError)
    {
        auto& slot = Sites()[db];
        if (!slot) {
            slot = std::make_unique<TSiteServer>(db);
            StartErrors()[db] = slot->Start() ? QString() : slot->Error();
        }
        *startError = StartErrors()[db];
        return *slot;
    }
    // Processes must end while the application object still exists.
    void TearDown() override { Sites().clear(); }

private:
    static std::map<TSiteDb, std::unique_ptr<TSiteServer>>& Sites()
    {
        static std::map<TSiteDb, std::unique_ptr<TSiteServer>> sites;
        return sites;
    }
    static std::map<TSiteDb, QString>& StartErrors()
    {
        static std::map<TSiteDb, QString> errors;
        return errors;
    }
};

inline ::testing::Environment* const kSharedSites = ::testing::AddGlobalTestEnvironment(new TSharedSites);

// A test on the shared site of its parameter, with empty tables.
class TSiteTest : public ::testing::TestWithParam<TSiteDb>
{
protected:
    void SetUp() override
    {
        QString startError;
        Site = &TSharedSites::Get(GetParam(), &startError);
        ASSERT_TRUE(startError.isEmpty())
            << SiteDbName(GetParam()) << " site did not start: " << startError.toStdString();
        ASSERT_TRUE(Site->WriteConfig(Site->ConfigPhp())) << Site->Error().toStdString();
        ASSERT_TRUE(Site->Reset()) << "site not usable: " << Site->Error().toStdString();
    }

    // POSTs action, the given fields, then the empty "end", as the program does.
    THttpReply Send(const QByteArray& action, const TPostFields& fields = {})
    {
        TPostFields form = {{"action", action}};
        form += fields;
        form.append(qMakePair(QByteArray("end"), QByteArray("")));
        return Http.Post(Site->ActionsUrl(), form);
    }
    QByteArray Body(const QByteArray& action, const TPostFields& fields = {})
    {
        return Send(action, fields).Body;
    }

    // Adds through the script and gives back the new record id as text.
    QByteArray Add(const QByteArray& name, const QByteArray& linkId)
    {
        EXPECT_EQ(Body("6", {{"affname", name}, {"afflinkid", linkId}}), "OK") << name.toStdString();
        const auto rows = Site->Rows("SELECT MAX(id) FROM tf_affiliates");
        return rows.size() == 1 ? rows[0][0] : QByteArray();
    }

    // A sale written straight into the table (no affiliate when the id is
    // empty), made now or at a UTC time as the wire writes it; its id.
    QByteArray AddSale(const QByteArray& affiliateId, const QByteArray& order, const QByteArray& time = {})
    {
        QList<QByteArray> values{order};
        if (!time.isEmpty())
            values << time;
        if (!affiliateId.isEmpty())
            values.prepend(affiliateId);
        EXPECT_TRUE(
            Site->Exec(QStringLiteral("INSERT INTO tf_sales (affiliate_id, sale_order%1) VALUES (%2, ?%3)")
                           .arg(time.isEmpty() ? "" : ", created_at", affiliateId.isEmpty() ? "NULL" : "?",
                                time.isEmpty() ? "" : ", ?"),
                       values));
        const auto rows = Site->Rows("SELECT MAX(id) FROM tf_sales");
        return rows.isEmpty() ? QByteArray() : rows[0][0];
    }

    bool Maria() const { return GetParam() == TSiteDb::MariaDb; }

    QByteArray Scalar(const QString& sql, const QList<QByteArray>& params = {})
    {
        const auto rows = Site->Rows(sql, params);
        return rows.isEmpty() || rows[0].isEmpty() ? QByteArray("<none>") : rows[0][0];
    }

    // The web server again, with these php.ini settings and workers; the
    // test's end starts it as it was.
    void RestartWeb(const QStringList& ini, int workers)
    {
        WebChanged = true;
        Site->SetWebOptions(ini, workers);
        ASSERT_TRUE(Site->StartWeb()) << Site->Error().toStdString();
    }
    void TearDown() override
    {
        if (Site && WebChanged) {
            Site->SetWebOptions({}, 0);
            EXPECT_TRUE(Site->StartWeb()) << Site->Error().toStdString();
        }
    }

    // php upgrade.php in the document root, the site's user granted these
    // rights on MariaDB for it (as the database's owner would run it); its
    // output, or empty on failure.
    QString RunUpgrade(const QByteArray& grants = {})
    {
        if (Maria() && !grants.isEmpty()) {
            EXPECT_TRUE(Site->Exec("GRANT " + grants + " ON `tallyfair`.* TO 'tf_site'@'%'"));
        }
        QProcess php;
        php.setWorkingDirectory(Site->DocRoot());
        php.setProcessChannelMode(QProcess::MergedChannels);
        php.start("php", {"upgrade.php"});
        const bool ok = php.waitForFinished(60000) && php.exitCode() == 0;
        const QString out = QString::fromLocal8Bit(php.readAll());
        if (Maria() && !grants.isEmpty()) {
            EXPECT_TRUE(Site->Exec("REVOKE " + grants + " ON `tallyfair`.* FROM 'tf_site'@'%'"));
        }
        EXPECT_TRUE(ok) << "upgrade.php failed: " << out.toStdString();
        return ok ? out : QString();
    }

    qsizetype Count(const char* table) const
    {
        const auto rows = Site->Rows(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
        return rows.isEmpty() ? -1 : rows[0][0].toLongLong();
    }

    TSiteServer* Site = nullptr;
    THttpSession Http;

private:
    bool WebChanged = false;
};

// One record as the list replies carry it: quoted fields, commas, a caret.
inline QByteArray Rec(const QList<QByteArray>& fields)
{
    QByteArray out;
    for (const QByteArray& f : fields)
        out += (out.isEmpty() ? "\"" : ",\"") + f + "\"";
    return out + "^";
}

// The site on the older scripts while this lives, then on server/ again.
struct TOlderSite {
    explicit TOlderSite(TSiteServer& site) : Site(site)
    {
        Site.SetScriptsFolder(TSiteServer::OlderScriptsFolder());
        Started = Site.StartWeb();
    }
    ~TOlderSite()
    {
        Site.SetScriptsFolder({});
        Site.StartWeb();
    }
    TSiteServer& Site;
    bool Started = false;
};

// Clients counting through track.php at once, each request from a loopback
// address of its own; Url(client, i) is the i-th request of a client.
class TCountingClients
{
public:
    TCountingClients(int clients, int perClient, std::function<QString(int, int)> url) : Left(clients)
    {
        for (int c = 0; c < clients; ++c)
            Threads.emplace_back([this, c, clients, perClient, url] {
                for (int i = 0; i < perClient; ++i) {
                    const QByteArray from = "127.0.0." + QByteArray::number(2 + (i * clients + c) % 200);
                    const TRawReply r = RawRequest(url(c, i), from);
                    if (r.Status != 200 && r.Status != 404)
                        ++Failed;
                }
                --Left;
            });
    }
    ~TCountingClients() { Join(); }
    bool Running() const { return Left > 0; }
    // Waits for every client; gives the requests that failed.
    int Join()
    {
        for (std::thread& t : Threads)
            if (t.joinable())
                t.join();
        return Failed;
    }

private:
    std::atomic<int> Left;
    std::atomic<int> Failed{0};
    std::vector<std::thread> Threads;
};

inline std::string SiteDbParamName(const ::testing::TestParamInfo<TSiteDb>& info)
{
    return SiteDbName(info.param);
}

} // namespace tftest
