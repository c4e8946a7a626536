// How actions.php reads the config.php that the program writes, and how it
// fails when the database cannot be reached.
#include "SiteFixture.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace tftest;

namespace
{

class Config : public TSiteTest
{
protected:
    QByteArray Check() { return Body("1"); }
};

TEST_P(Config, ConfigWithStrayOutputStillGivesExactReplies)
{
    // A byte order mark from an editor and blank lines after the closing tag
    // would otherwise be part of every reply.
    ASSERT_TRUE(Site->WriteConfig("\xEF\xBB\xBF" + Site->ConfigPhp() + "\r\n\r\n  \n"));
    EXPECT_EQ(Check(), "OK");
    EXPECT_EQ(Body("3"), "OK");
}

TEST_P(Config, MissingConfigFailsWithoutOK)
{
    ASSERT_TRUE(Site->WriteConfig(QByteArray()));
    const THttpReply reply = Send("1");
    EXPECT_EQ(reply.Status, 500);
    EXPECT_FALSE(reply.Body.contains("OK"));
}

TEST_P(Config, BrokenConfigFailsWithoutOK)
{
    ASSERT_TRUE(Site->WriteConfig("<?php\r\n  $hostname=\"unterminated;\r\n?>\r\n"));
    const THttpReply reply = Send("1");
    EXPECT_EQ(reply.Status, 500);
    EXPECT_FALSE(reply.Body.contains("OK"));
}

INSTANTIATE_TEST_SUITE_P(Db, Config, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb), SiteDbParamName);

class MariaConfig : public Config
{
protected:
    // A test that changed the password must not leave it to the next one.
    void SetUp() override
    {
        Config::SetUp();
        ASSERT_TRUE(Site->SetSiteUser("tf_site", "site-pass")) << Site->Error().toStdString();
    }
};

TEST_P(MariaConfig, EscapedPasswordWithDollarAndQuoteReachesTheDatabase)
{
    const QString password = QStringLiteral("pa$$w\"o\\rd{$x}$1");
    ASSERT_TRUE(Site->SetSiteUser("tf_site", password)) << Site->Error().toStdString();
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText(Site->DbHost(), Site->DbName(), "tf_site", password)));
    EXPECT_EQ(Check(), "OK");
    EXPECT_EQ(Body("6", {{"affname", "Ann"}, {"afflinkid", "annb"}}), "OK");

    // The same values written without escaping do not reach the database.
    const QByteArray raw = "<?php\r\n  $hostname=\"" + Site->DbHost().toUtf8() + "\";\r\n  $database=\"" +
                           Site->DbName().toUtf8() + "\";\r\n  $username=\"tf_site\";\r\n  $password=\"" +
                           password.toUtf8() + "\";\r\n?>\r\n";
    ASSERT_TRUE(Site->WriteConfig(raw));
    EXPECT_NE(Check(), "OK");
}

TEST_P(MariaConfig, WrongPasswordIsAServerErrorThatNamesNoCredentials)
{
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText(Site->DbHost(), Site->DbName(), "tf_site", "wrong-secret")));
    const THttpReply reply = Send("1");
    EXPECT_EQ(reply.Status, 500);
    EXPECT_FALSE(reply.Body.contains("OK"));
    EXPECT_FALSE(reply.Body.contains("tf_site"));
    EXPECT_FALSE(reply.Body.contains("wrong-secret"));
}

TEST_P(MariaConfig, HostMayBeAUnixSocket)
{
    // The owner's socket connection; the site user has a host of '%', which
    // a socket login matches as well.
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText(Site->DbSocket(), Site->DbName(), "tf_site", "site-pass")));
    EXPECT_EQ(Check(), "OK");
}

TEST_P(MariaConfig, SemicolonInHostCannotAddConnectionOptions)
{
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText(Site->DbHost() + ";unix_socket=" + Site->DbSocket(),
                                                Site->DbName(), "tf_site", "site-pass")));
    EXPECT_NE(Check(), "OK");
}

TEST_P(MariaConfig, CheckServerNeedsTheTablesNotOnlyTheConnection)
{
    ASSERT_TRUE(Site->Exec("RENAME TABLE tf_sales TO tf_sales_away"));
    const QByteArray reply = Check();
    ASSERT_TRUE(Site->Exec("RENAME TABLE tf_sales_away TO tf_sales"));
    EXPECT_NE(reply, "OK");
    EXPECT_EQ(Check(), "OK");
}

INSTANTIATE_TEST_SUITE_P(Db, MariaConfig, ::testing::Values(TSiteDb::MariaDb), SiteDbParamName);

class SqliteConfig : public Config
{
};

TEST_P(SqliteConfig, AbsoluteAndRelativePathsNameTheSameFile)
{
    const QString file = QDir(Site->DocRoot() + "/../data/tallyfair.db").canonicalPath();
    ASSERT_FALSE(file.isEmpty());
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText("sqlite:" + file, "", "", "")));
    EXPECT_EQ(Body("6", {{"affname", "Ann"}, {"afflinkid", "annb"}}), "OK");
    ASSERT_TRUE(Site->WriteConfig(Site->ConfigPhp()));
    EXPECT_TRUE(Body("3").contains("\"annb\""));
}

TEST_P(SqliteConfig, MissingDatabaseFileIsAnErrorAndIsNotCreated)
{
    const QString missing = Site->DocRoot() + "/../data/nothing-here.db";
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText("sqlite:" + missing, "", "", "")));
    EXPECT_NE(Check(), "OK");
    EXPECT_FALSE(QFile::exists(missing));
    ASSERT_TRUE(Site->WriteConfig(ConfigPhpText("sqlite:", "", "", "")));
    EXPECT_NE(Check(), "OK");
}

TEST_P(SqliteConfig, CheckServerNeedsTheTablesNotOnlyTheConnection)
{
    ASSERT_TRUE(Site->Exec("ALTER TABLE tf_affiliates RENAME TO tf_affiliates_away"));
    const QByteArray reply = Check();
    ASSERT_TRUE(Site->Exec("ALTER TABLE tf_affiliates_away RENAME TO tf_affiliates"));
    EXPECT_NE(reply, "OK");
    EXPECT_EQ(Check(), "OK");
}

INSTANTIATE_TEST_SUITE_P(Db, SqliteConfig, ::testing::Values(TSiteDb::Sqlite), SiteDbParamName);

} // namespace
