#pragma once
// One running site per database kind for a whole test program: MariaDB takes
// a moment to start, so the tests share it and empty the tables instead.
#include "SiteServer.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>

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

    QByteArray AddSale(const QByteArray& affiliateId, const QByteArray& order)
    {
        if (affiliateId.isEmpty())
            EXPECT_TRUE(
                Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (NULL, ?)", {order}));
        else
            EXPECT_TRUE(Site->Exec("INSERT INTO tf_sales (affiliate_id, sale_order) VALUES (?, ?)",
                                   {affiliateId, order}));
        const auto rows = Site->Rows("SELECT MAX(id) FROM tf_sales");
        return rows.isEmpty() ? QByteArray() : rows[0][0];
    }

    qsizetype Count(const char* table) const
    {
        const auto rows = Site->Rows(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
        return rows.isEmpty() ? -1 : rows[0][0].toLongLong();
    }

    TSiteServer* Site = nullptr;
    THttpSession Http;
};

inline std::string SiteDbParamName(const ::testing::TestParamInfo<TSiteDb>& info)
{
    return SiteDbName(info.param);
}

} // namespace tftest
