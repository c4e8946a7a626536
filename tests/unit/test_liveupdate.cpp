// The live-update descriptor, the version decision whatever the locale, and
// the start of a real updater program.
#include "TestFolders.h"
#include "brand/AppConstants.h"
#include "vendor/LiveUpdate.h"

#include <QFile>
#include <QLocale>
#include <QProcess>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(UpdateDescriptor, AddressAndLocalPath)
{
    EXPECT_EQ(UpdateDescriptorURL(UpdateBaseURL),
              "https://update.tallyfair.example/liveupdate/tallyfair/mainappupdate.inf");
    EXPECT_TRUE(UpdateBaseURL.startsWith("https://"));
    EXPECT_TRUE(UpdateBaseURL.endsWith("/liveupdate/tallyfair/"));
    EXPECT_EQ(UpdateDescriptorURL("http://127.0.0.1:8080/lu/"), "http://127.0.0.1:8080/lu/mainappupdate.inf");
    EXPECT_EQ(UpdateDescriptorPath("/data/dir"), "/data/dir/mainappupdate.inf");
}

TEST(UpdateDescriptor, ReadsTheApplicationSectionInAnyCase)
{
    const TUpdateDescriptor d = ReadUpdateDescriptor("; maker's descriptor\r\n"
                                                     "[Other]\r\nVersion=9.9\r\n"
                                                     "  [ application ]  \r\n"
                                                     "  NAME =  Tally Tool  \r\n"
                                                     "garbage line\r\n"
                                                     "vErSiOn=\t2.02 \r\n");
    EXPECT_EQ(d.Name, "Tally Tool");
    EXPECT_EQ(d.Version, "2.02");

    const TUpdateDescriptor lf =
        ReadUpdateDescriptor("\xEF\xBB\xBF[APPLICATION]\nVersion=2.1\n[Next]\nName=no\n");
    EXPECT_EQ(lf.Version, "2.1");
    EXPECT_TRUE(lf.Name.isEmpty()); // Name stands in another section

    // The first key and the first section of a name count.
    const TUpdateDescriptor dup =
        ReadUpdateDescriptor("[APPLICATION]\nVersion=3\nVersion=4\n[APPLICATION]\nName=n\n");
    EXPECT_EQ(dup.Version, "3");
    EXPECT_TRUE(dup.Name.isEmpty());

    EXPECT_TRUE(ReadUpdateDescriptor("").Version.isEmpty());
    EXPECT_TRUE(ReadUpdateDescriptor("Version=2.5\n[APPLICATION]\n").Version.isEmpty());
    EXPECT_TRUE(ReadUpdateDescriptor("[APPLICATIONS]\nVersion=2.5\n").Version.isEmpty());
    EXPECT_TRUE(ReadUpdateDescriptor("[APPLICATION]\n;Version=2.5\n").Version.isEmpty());
    EXPECT_EQ(ReadUpdateDescriptor("[APPLICATION]\nVersion=\n").Version, "");
    EXPECT_EQ(ReadUpdateDescriptor("[APPLICATION]\nVersion=a=b\n").Version, "a=b");
}

namespace
{
void ExpectVersionTable()
{
    EXPECT_FLOAT_EQ(VersionValue("2.01"), 2.01f);
    EXPECT_FLOAT_EQ(VersionValue("10"), 10.0f);
    EXPECT_EQ(VersionValue("2,5"), 0.0f);
    EXPECT_EQ(VersionValue(""), 0.0f);
    EXPECT_EQ(VersionValue("abc"), 0.0f);
    EXPECT_EQ(VersionValue("2.0.1"), 0.0f);
    EXPECT_EQ(VersionValue("inf"), 0.0f);
    EXPECT_EQ(VersionValue("nan"), 0.0f);

    for (const char* none : {"2.01", "2", "1.99", "", "x", "2,02", "0"})
        EXPECT_FALSE(IsUpdateAvailable(QString::fromLatin1(none), AppVersion)) << none;
    for (const char* offered : {"2.02", "2.1", "10", " 2.02 ", "2.011"})
        EXPECT_TRUE(IsUpdateAvailable(QString::fromLatin1(offered), AppVersion)) << offered;
    // Own versions whose single-precision value rounds up still equal themselves.
    EXPECT_FALSE(IsUpdateAvailable("0.1", "0.1"));
    EXPECT_FALSE(IsUpdateAvailable("2.03", "2.03"));
}

// Puts the C and Qt locales and LOCPATH back however the test ends.
struct TLocaleRestore {
    QByteArray LocPath = qgetenv("LOCPATH");
    QLocale Default;
    ~TLocaleRestore()
    {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(Default);
        if (LocPath.isNull())
            qunsetenv("LOCPATH");
        else
            qputenv("LOCPATH", LocPath);
    }
};
} // namespace

TEST(UpdateVersion, ComparedAsNumbers)
{
    ExpectVersionTable();
}

TEST(UpdateVersion, DotIsTheDecimalMarkUnderACommaLocale)
{
    // A German locale built for this test only: the machine need not have it.
    tftest::TDataFolder folder;
    QProcess localedef;
    localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", folder.File("de_DE.UTF-8")});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0)
        GTEST_SKIP() << "localedef could not build de_DE.UTF-8";
    const TLocaleRestore restore;
    qputenv("LOCPATH", QFile::encodeName(folder.Path()));
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

    // The trap is live: the C library now reads "2.01" as 2.
    ASSERT_EQ(std::localeconv()->decimal_point[0], ',');
    ASSERT_EQ(std::strtod("2.01", nullptr), 2.0);
    ASSERT_EQ(QLocale().decimalPoint(), ",");

    ExpectVersionTable();
}

TEST(UpdateTexts, QuestionShowsTheVersionAsWritten)
{
    EXPECT_EQ(NewUpdateQuestion("2.1"),
              "There is a new update: (version 2.1) available for your application!. "
              "Do you want download this update now?");
}

TEST(Updater, ArgumentsAreBaseVersionAndA)
{
    EXPECT_EQ(UpdaterArguments(UpdateBaseURL, AppVersion), (QStringList{UpdateBaseURL, "2.01", "A"}));
}

TEST(Updater, StartsTheProgramBesideTheExecutable)
{
    tftest::TDataFolder folder;
    EXPECT_FALSE(StartUpdater(folder.Path(), UpdateBaseURL, AppVersion));

    folder.Write("Updater.exe", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$(dirname \"$0\")/args.tmp\"\n"
                                "mv \"$(dirname \"$0\")/args.tmp\" \"$(dirname \"$0\")/args.txt\"\n");
    QFile::setPermissions(folder.File("Updater.exe"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(StartUpdater(folder.Path(), "http://127.0.0.1:1/lu/", "2.01"));
    ASSERT_TRUE(tftest::WaitFor([&] { return folder.Exists("args.txt"); }));
    EXPECT_EQ(folder.Read("args.txt"), "3\nhttp://127.0.0.1:1/lu/\n2.01\nA\n");
}

TEST(UpdateDescriptorRegressions, MarkBeforeBlankLeavesNoBlankInValue)
{
    // A byte-order mark right after "=" and then a blank: once the mark is
    // decoded away the value must still come without the blank.
    const TUpdateDescriptor d =
        ReadUpdateDescriptor("[APPLICATION]\nVersion=\xEF\xBB\xBF 2.5\r\nName=\xEF\xBB\xBF  Desk\n");
    EXPECT_EQ(d.Version, QStringLiteral("2.5"));
    EXPECT_EQ(d.Name, QStringLiteral("Desk"));
}

TEST(UpdateDescriptorRegressions, AQuotedBlankVersionIsNoVersion)
{
    // The profile reader keeps quoted blanks (a setting may be blanks); a
    // version or name of blanks names nothing.
    const TUpdateDescriptor d = ReadUpdateDescriptor("[APPLICATION]\r\nName=\"  T  \"\r\nVersion=\"  \"");
    EXPECT_EQ(d.Version, QString());
    EXPECT_EQ(d.Name, QStringLiteral("T"));
    EXPECT_FALSE(IsUpdateAvailable(d.Version, AppVersion));
}

TEST(UpdateAddress, OnlyALoopbackAddressTakesThePlaceOfTheFixedOne)
{
    const QString fixed = UpdateBaseURL;
    const auto with = [&](const char* Value) {
        qputenv("TALLYFAIR_UPDATE_BASE_URL", Value);
        const QString used = EffectiveUpdateBaseURL(fixed);
        qunsetenv("TALLYFAIR_UPDATE_BASE_URL");
        return used;
    };
    EXPECT_EQ(EffectiveUpdateBaseURL(fixed), fixed);
    EXPECT_EQ(with("http://127.0.0.1:8080/lu/"), "http://127.0.0.1:8080/lu/");
    EXPECT_EQ(with("https://[::1]:8443/lu/"), "https://[::1]:8443/lu/");
    EXPECT_EQ(with("http://localhost/lu/"), "http://localhost/lu/");
    EXPECT_EQ(with("http://update.attacker.example/lu/"), fixed);
    EXPECT_EQ(with("http://127.0.0.1.attacker.example/lu/"), fixed);
    EXPECT_EQ(with("http://user@127.0.0.1/lu/"), fixed);
    EXPECT_EQ(with("file:///tmp/lu/"), fixed);
    EXPECT_EQ(with("not an address"), fixed);
}
