// Who actions.php acts for: only where the web server marks its folder as
// protected, never for a browser; and the files beside it that must not act.
#include "SiteFixture.h"

#include <gtest/gtest.h>

using namespace tftest;

namespace
{

const QByteArray kBoundary = "tfGuardBoundary";

QByteArray Multipart(const TPostFields& fields)
{
    QByteArray body;
    for (const auto& [name, value] : fields)
        body += "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
                value + "\r\n";
    return body + "--" + kBoundary + "--\r\n";
}

// Every action, each with a form that would change or show something.
const QList<TPostFields> kEveryAction = {
    {{"action", "1"}},
    {{"action", "2"}, {"deleteids", "all"}},
    {{"action", "3"}},
    {{"action", "4"}, {"querytype", "3"}, {"reftype", ""}},
    {{"action", "5"}, {"deleteids", "all"}},
    {{"action", "6"}, {"affname", "Omar"}, {"afflinkid", "omar22"}},
    {{"action", "7"}, {"affcod", "1"}},
    {{"action", "8"}, {"affcod", "1"}, {"affname", "Omar"}, {"afflinkid", "omar22"}},
};

class ActionsGuard : public TSiteTest
{
protected:
    // actions.php run by php-cgi: a server other than PHP's own, where only
    // the web server's marker can make the folder protected.
    TRawReply Cgi(const TPostFields& fields, const QStringList& extra)
    {
        const TRawReply reply =
            Site->RunCgi("actions.php", {}, extra, fields.isEmpty() ? QByteArray() : Multipart(fields),
                         "multipart/form-data; boundary=" + kBoundary);
        EXPECT_NE(reply.Status, 0) << "php-cgi (package php-cgi, see scripts/deps.sh) did not run";
        return reply;
    }

    QByteArray Everything() { return Body("3") + Body("4", {{"querytype", "3"}, {"reftype", ""}}); }
};

TEST_P(ActionsGuard, UnprotectedFolderRefusesEveryActionAndChangesNothing)
{
    AddSale(Add("Ann", "annb"), "ORD-1");
    const QByteArray before = Everything();
    // No marker, or only what a client can send itself: its own headers
    // and the user name of an Authorization header no one checked.
    const QList<QStringList> unprotected = {
        {},
        {"HTTP_TALLYFAIR_PROTECTED=1"},
        {"TALLYFAIR_PROTECTED=yes"},
        {"HTTP_AUTHORIZATION=Basic b3BlcmF0b3I6eA==", "PHP_AUTH_USER=operator", "REMOTE_USER=operator",
         "AUTH_TYPE=Basic"},
    };
    for (const QStringList& extra : unprotected) {
        for (const TPostFields& form : kEveryAction + QList<TPostFields>{{}}) {
            const TRawReply r = Cgi(form, extra);
            EXPECT_EQ(r.Status, 403) << extra.join(' ').toStdString() << " action "
                                     << (form.isEmpty() ? "GET" : form[0].second.toStdString());
            EXPECT_EQ(r.Body, "REFUSED");
        }
    }
    EXPECT_EQ(Everything(), before);
    // Refused before the database is opened: no config.php makes no
    // difference (with the marker it is a SERVER ERROR).
    ASSERT_TRUE(Site->WriteConfig(QByteArray()));
    EXPECT_EQ(Cgi(kEveryAction[2], {}).Body, "REFUSED");
    EXPECT_EQ(Cgi(kEveryAction[2], {"TALLYFAIR_PROTECTED=1"}).Body, "SERVER ERROR");
    ASSERT_TRUE(Site->WriteConfig(Site->ConfigPhp()));
    // The same script and requests act once the web server sets the marker.
    EXPECT_EQ(Cgi({}, {"TALLYFAIR_PROTECTED=1"}).Body, "READY");
    EXPECT_EQ(Cgi({{"action", "3"}}, {"REDIRECT_TALLYFAIR_PROTECTED=1"}).Body, Body("3"));
    EXPECT_EQ(Cgi(kEveryAction[5], {"TALLYFAIR_PROTECTED=1"}).Body, "OK");
    EXPECT_EQ(Count("tf_affiliates"), 2);
}

TEST_P(ActionsGuard, BrowserRequestsAreRefusedInAProtectedFolder)
{
    Add("Ann", "annb");
    const QByteArray before = Everything();
    const QList<QPair<QByteArray, QByteArray>> marks = {
        {"Origin", "https://evil.example"},
        {"Referer", "https://evil.example/form.html"},
        {"Sec-Fetch-Site", "cross-site"},
        {"Sec-Fetch-Mode", "navigate"},
    };
    for (const auto& mark : marks) {
        for (const TPostFields& form : {kEveryAction[1], kEveryAction[4], kEveryAction[5], kEveryAction[2]}) {
            const TRawReply r =
                RawRequest(Site->ActionsUrl(), "127.0.0.1",
                           {mark, {"Content-Type", "multipart/form-data; boundary=" + kBoundary}}, "POST",
                           Multipart(form));
            EXPECT_EQ(r.Status, 403) << mark.first.toStdString() << " action "
                                     << form[0].second.toStdString();
            EXPECT_EQ(r.Body, "REFUSED");
        }
        // The plain GET that the control panel sends first still answers.
        EXPECT_EQ(RawRequest(Site->ActionsUrl(), "127.0.0.1", {mark}).Body, "READY");
    }
    EXPECT_EQ(Everything(), before);
}

TEST_P(ActionsGuard, LibraryAndSecretFilePrintNothingAndDoNothing)
{
    const QByteArray ann = Add("Ann", "annb");
    for (const char* path : {"/tracking-lib.php", "/tracking-lib.php?affid=annb", "/tracking-secret.php"}) {
        const TRawReply r = RawRequest(Site->SiteUrl() + path, "127.0.0.1");
        EXPECT_EQ(r.Status, 200) << path;
        EXPECT_EQ(r.Body, "") << path;
    }
    EXPECT_EQ(Site->Rows("SELECT visitors FROM tf_affiliates WHERE id = ?", {ann}), QList<TDbRow>{{"0"}});
}

INSTANTIATE_TEST_SUITE_P(Db, ActionsGuard, ::testing::Values(TSiteDb::Sqlite, TSiteDb::MariaDb),
                         SiteDbParamName);

} // namespace
