// The connection settings: hsettings.dat, config.php as PHP itself reads it,
// and what a failed save leaves behind.
#include "QtPrinters.h"
#include "TestFolders.h"
#include "settings/ConnectionSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <unistd.h>

namespace
{

using tftest::TDataFolder;

TConnectionSettings Sample()
{
    return {"http://example.test/event/", "db.example.test", "event", "operator", "s3cret pass"};
}

const char* const SampleIni = "[Settings]\r\n"
                              "swebserver=http://example.test/event/\r\n"
                              "shostname=db.example.test\r\n"
                              "sdatabase=event\r\n"
                              "susername=operator\r\n"
                              "spassword=s3cret pass\r\n";

const char* const SamplePhp = "<?php\r\n"
                              "  $hostname=\"db.example.test\";\r\n"
                              "  $database=\"event\";\r\n"
                              "  $username=\"operator\";\r\n"
                              "  $password=\"s3cret pass\";\r\n"
                              "?>\r\n";

QString Native(const TDataFolder& Folder, const QString& Name)
{
    return QDir::toNativeSeparators(Folder.File(Name));
}

TEST(ConnectionSettingsLoad, WithoutTheFileEverySettingIsEmpty)
{
    TDataFolder folder;
    EXPECT_EQ(LoadConnectionSettingsFrom(folder.Path()), TConnectionSettings{});
    EXPECT_TRUE(folder.Entries().isEmpty());
}

TEST(ConnectionSettingsLoad, ReadsTheFiveKeysOfTheSettingsSection)
{
    TDataFolder folder;
    folder.Write("hsettings.dat", "[Other]\r\nshostname=wrong\r\n"
                                  "[settings]\r\n"
                                  "SPASSWORD = pw \r\n"
                                  "swebserver=http://site.test/\r\n"
                                  "sdatabase=\r\n"
                                  "shostname=host\r\n");
    const TConnectionSettings s = LoadConnectionSettingsFrom(folder.Path());
    EXPECT_EQ(s.SiteUrl, "http://site.test/");
    EXPECT_EQ(s.DbHost, "host");
    EXPECT_EQ(s.DbName, "");
    EXPECT_EQ(s.DbUser, ""); // missing key
    EXPECT_EQ(s.DbPassword, "pw");
}

TEST(ConnectionSettingsLoad, AFileThatCannotBeReadGivesEmptySettings)
{
    TDataFolder folder;
    ASSERT_TRUE(QDir(folder.Path()).mkdir("hsettings.dat"));
    EXPECT_EQ(LoadConnectionSettingsFrom(folder.Path()), TConnectionSettings{});
}

TEST(ConnectionSettingsSave, AFirstSaveCreatesBothFilesExactly)
{
    TDataFolder folder;
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), Sample());
    ASSERT_TRUE(outcome.Ok) << outcome.Message.toStdString();
    EXPECT_EQ(folder.Read("hsettings.dat"), QByteArray(SampleIni));
    EXPECT_EQ(folder.Read("config.php"), QByteArray(SamplePhp));
    EXPECT_EQ(folder.Entries(), (QStringList{"config.php", "hsettings.dat"}));
}

TEST(ConnectionSettingsSave, ValuesComeBackExactlyAsTheyWereEntered)
{
    TDataFolder folder;
    TConnectionSettings s = Sample();
    s.SiteUrl = "http://example.test/a b/";
    s.DbPassword = QString::fromUtf8("p\"a'ss=w;o#rd [x] \xC3\xA4\xE2\x82\xAC");
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), s).Ok);
    EXPECT_EQ(LoadConnectionSettingsFrom(folder.Path()), s);
}

TEST(ConnectionSettingsSave, BothFilesAreTheOwnersAloneAlsoWhenReplacingWiderOnes)
{
    TDataFolder folder;
    const auto owner = QFile::ReadOwner | QFile::WriteOwner;
    const auto wide = owner | QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther;
    for (const bool replacing : {false, true}) {
        for (const char* name : {"hsettings.dat", "config.php"}) {
            if (replacing) {
                ASSERT_TRUE(QFile::setPermissions(folder.File(name), wide));
            }
        }
        ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), Sample()).Ok);
        for (const char* name : {"hsettings.dat", "config.php"}) {
            // As the file system has it, beside Qt's own view of owner and user.
            const auto unixBits = QFileInfo(folder.File(name)).permissions() &
                                  (owner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup |
                                   QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
            EXPECT_EQ(unixBits, owner) << name << (replacing ? " replaced" : " new");
        }
    }
    EXPECT_EQ(folder.Read("hsettings.dat"), QByteArray(SampleIni));
}

TEST(ConnectionSettingsSave, BlanksAroundAValueSurviveARestartAndOldFilesReadTheSame)
{
    TDataFolder folder;
    TConnectionSettings s = Sample();
    s.DbPassword = " pw ";
    s.DbUser = "\"quoted\"";
    s.DbName = "\" both \"";
    s.DbHost = "\"";
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), s).Ok);
    const QByteArray ini = folder.Read("hsettings.dat");
    EXPECT_TRUE(ini.contains("\r\nspassword=\" pw \"\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("\r\nshostname=\"\r\n")) << ini.toStdString();
    EXPECT_EQ(LoadConnectionSettingsFrom(folder.Path()), s);
    EXPECT_TRUE(folder.Read("config.php").contains("  $password=\" pw \";\r\n"));

    // A file from before: unquoted values lose their blanks as they always
    // did, and quotes the writer would not have added stay.
    folder.Write("hsettings.dat", "[Settings]\r\nspassword= pw \r\nsusername=\"abc\"\r\nsdatabase=\"\"\r\n");
    const TConnectionSettings old = LoadConnectionSettingsFrom(folder.Path());
    EXPECT_EQ(old.DbPassword, QStringLiteral("pw"));
    EXPECT_EQ(old.DbUser, QStringLiteral("\"abc\""));
    EXPECT_EQ(old.DbName, QStringLiteral("\"\""));
}

TEST(ConnectionSettingsSave, SavingTwiceGivesTheSameBytes)
{
    TDataFolder folder;
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), Sample()).Ok);
    const QByteArray ini = folder.Read("hsettings.dat");
    const QByteArray php = folder.Read("config.php");
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), Sample()).Ok);
    EXPECT_EQ(folder.Read("hsettings.dat"), ini);
    EXPECT_EQ(folder.Read("config.php"), php);
}

TEST(ConnectionSettingsSave, EmptyValuesGiveEmptyLinesAndEmptyStrings)
{
    TDataFolder folder;
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), Sample()).Ok);
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), TConnectionSettings{}).Ok);
    EXPECT_EQ(
        folder.Read("hsettings.dat"),
        QByteArray("[Settings]\r\nswebserver=\r\nshostname=\r\nsdatabase=\r\nsusername=\r\nspassword=\r\n"));
    EXPECT_EQ(folder.Read("config.php"), QByteArray("<?php\r\n  $hostname=\"\";\r\n  $database=\"\";\r\n"
                                                    "  $username=\"\";\r\n  $password=\"\";\r\n?>\r\n"));
    EXPECT_EQ(LoadConnectionSettingsFrom(folder.Path()), TConnectionSettings{});
}

TEST(ConnectionSettingsSave, EverythingElseInTheFileSurvives)
{
    TDataFolder folder;
    folder.Write("hsettings.dat", "; kept\r\n[Window]\r\nleft=10\r\n\r\n"
                                  "[SETTINGS]\r\nSWebServer=old\r\nextra=keep me\r\n\r\n"
                                  "[Tail]\nz=1\n");
    folder.Write("config.php", "stale");
    ASSERT_TRUE(SaveConnectionSettingsTo(folder.Path(), Sample()).Ok);
    EXPECT_EQ(folder.Read("hsettings.dat"),
              QByteArray("; kept\r\n[Window]\r\nleft=10\r\n\r\n"
                         "[SETTINGS]\r\nSWebServer=http://example.test/event/\r\n"
                         "extra=keep me\r\n"
                         "shostname=db.example.test\r\nsdatabase=event\r\n"
                         "susername=operator\r\nspassword=s3cret pass\r\n\r\n"
                         "[Tail]\nz=1\n"));
    EXPECT_EQ(folder.Read("config.php"), QByteArray(SamplePhp));
}

TEST(ConfigPhp, QuotesDollarsAndBackslashesAreEscaped)
{
    TConnectionSettings s;
    s.SiteUrl = "not in the file";
    s.DbHost = "a\"b";
    s.DbName = "$db";
    s.DbUser = "c:\\u\\";
    s.DbPassword = "{$x}";
    EXPECT_EQ(ConfigPhpText(s), QByteArray("<?php\r\n"
                                           "  $hostname=\"a\\\"b\";\r\n"
                                           "  $database=\"\\$db\";\r\n"
                                           "  $username=\"c:\\\\u\\\\\";\r\n"
                                           "  $password=\"{\\$x}\";\r\n"
                                           "?>\r\n"));
}

// Runs the real PHP interpreter over the written config.php and returns the
// four variables it defines, each as hex of its bytes.
QStringList PhpReadsBack(const QString& ConfigPath, QString& Trouble)
{
    const QString php = QStandardPaths::findExecutable("php");
    if (php.isEmpty()) {
        Trouble = "php is not installed (scripts/deps.sh installs php-cli)";
        return {};
    }
    // $x and friends exist beforehand so that any variable that slipped
    // through unescaped would show up in the values.
    const QString code =
        "$x = 'LEAK'; $db = 'LEAK'; error_reporting(E_ALL);"
        "include getenv('TF_CONFIG_PHP');"
        "foreach ([$hostname, $database, $username, $password] as $v) echo bin2hex($v), \"\\n\";";
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TF_CONFIG_PHP", ConfigPath);
    p.setProcessEnvironment(env);
    p.start(php, {"-n", "-d", "display_errors=stderr", "-r", code});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        Trouble = "php failed: " + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    const QByteArray errors = p.readAllStandardError();
    if (!errors.isEmpty())
        Trouble = "php complained: " + QString::fromLocal8Bit(errors);
    return QString::fromLatin1(p.readAllStandardOutput()).split('\n');
}

void ExpectPhpSees(const TConnectionSettings& s)
{
    TDataFolder folder;
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), s);
    ASSERT_TRUE(outcome.Ok) << outcome.Message.toStdString();
    QString trouble;
    const QStringList seen = PhpReadsBack(folder.File("config.php"), trouble);
    ASSERT_TRUE(trouble.isEmpty()) << trouble.toStdString();
    const QStringList expected{QString::fromLatin1(s.DbHost.toLocal8Bit().toHex()),
                               QString::fromLatin1(s.DbName.toLocal8Bit().toHex()),
                               QString::fromLatin1(s.DbUser.toLocal8Bit().toHex()),
                               QString::fromLatin1(s.DbPassword.toLocal8Bit().toHex()), QString()};
    EXPECT_EQ(seen, expected);
}

TEST(ConfigPhp, PhpSeesEveryValueExactlyAsTyped)
{
    TConnectionSettings s;
    s.DbHost = "he said \"hi\" and 'bye'";
    s.DbName = "{$x} $x ${x} $db[0] {$db}";
    s.DbUser = "C:\\new\\table\\x41\\u{41}\\101\\";
    s.DbPassword = QString::fromUtf8("p\xC3\xA4sswort \xC3\xB1 \xE2\x82\xAC ?> <?php \\\" \\$ \\\\");
    ExpectPhpSees(s);
}

TEST(ConfigPhp, PhpSeesEmptyValuesAsEmptyStrings)
{
    ExpectPhpSees(TConnectionSettings{"http://site.test", "", "", "", ""});
}

class ConnectionSettingsFailure : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder.Write("hsettings.dat", "[Settings]\r\nswebserver=old\r\n");
        folder.Write("config.php", "old config");
    }
    TDataFolder folder;
};

TEST_F(ConnectionSettingsFailure, AFolderInPlaceOfTheSettingsFileWritesNeitherFile)
{
    ASSERT_TRUE(QFile::remove(folder.File("hsettings.dat")));
    ASSERT_TRUE(QDir(folder.Path()).mkdir("hsettings.dat"));
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), Sample());
    EXPECT_FALSE(outcome.Ok);
    EXPECT_TRUE(outcome.Message.contains("\"" + Native(folder, "hsettings.dat") + "\": "))
        << outcome.Message.toStdString();
    EXPECT_TRUE(outcome.Message.contains("directory", Qt::CaseInsensitive)) << outcome.Message.toStdString();
    EXPECT_EQ(folder.Read("config.php"), QByteArray("old config"));
    EXPECT_TRUE(QFileInfo(folder.File("hsettings.dat")).isDir());
    EXPECT_EQ(folder.Entries(), (QStringList{"config.php", "hsettings.dat"}));
}

TEST_F(ConnectionSettingsFailure, AFolderInPlaceOfConfigPhpKeepsTheSavedSettings)
{
    ASSERT_TRUE(QFile::remove(folder.File("config.php")));
    ASSERT_TRUE(QDir(folder.Path()).mkdir("config.php"));
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), Sample());
    EXPECT_FALSE(outcome.Ok);
    EXPECT_TRUE(outcome.Message.contains("\"" + Native(folder, "config.php") + "\": "))
        << outcome.Message.toStdString();
    EXPECT_TRUE(outcome.Message.contains("directory", Qt::CaseInsensitive)) << outcome.Message.toStdString();
    EXPECT_EQ(folder.Read("hsettings.dat"), QByteArray(SampleIni).replace("swebserver=old", ""));
    EXPECT_TRUE(QFileInfo(folder.File("config.php")).isDir());
}

TEST_F(ConnectionSettingsFailure, AReadOnlyFolderLeavesBothOldFilesWhole)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: a read-only folder does not stop writes";
    ASSERT_TRUE(QFile::setPermissions(folder.Path(), QFile::ReadOwner | QFile::ExeOwner));
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), Sample());
    QFile::setPermissions(folder.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(outcome.Ok);
    EXPECT_TRUE(outcome.Message.contains(Native(folder, "hsettings.dat"))) << outcome.Message.toStdString();
    EXPECT_EQ(folder.Read("hsettings.dat"), QByteArray("[Settings]\r\nswebserver=old\r\n"));
    EXPECT_EQ(folder.Read("config.php"), QByteArray("old config"));
}

TEST_F(ConnectionSettingsFailure, AnUnreadableSettingsFileIsNotReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: file permissions do not stop reads";
    ASSERT_TRUE(QFile::setPermissions(folder.File("hsettings.dat"), QFile::WriteOwner));
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), Sample());
    QFile::setPermissions(folder.File("hsettings.dat"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_FALSE(outcome.Ok);
    EXPECT_TRUE(outcome.Message.contains(Native(folder, "hsettings.dat"))) << outcome.Message.toStdString();
    EXPECT_EQ(folder.Read("hsettings.dat"), QByteArray("[Settings]\r\nswebserver=old\r\n"));
    EXPECT_EQ(folder.Read("config.php"), QByteArray("old config"));
}

TEST_F(ConnectionSettingsFailure, AValueWithALineBreakIsRefusedBeforeAnythingIsWritten)
{
    TConnectionSettings s = Sample();
    s.DbPassword = "pw\r\n[Injected]\r\nk=v";
    const TSaveOutcome outcome = SaveConnectionSettingsTo(folder.Path(), s);
    EXPECT_FALSE(outcome.Ok);
    EXPECT_TRUE(outcome.Message.contains(Native(folder, "hsettings.dat"))) << outcome.Message.toStdString();
    EXPECT_TRUE(outcome.Message.contains("line break")) << outcome.Message.toStdString();
    EXPECT_EQ(folder.Read("hsettings.dat"), QByteArray("[Settings]\r\nswebserver=old\r\n"));
    EXPECT_EQ(folder.Read("config.php"), QByteArray("old config"));
}

} // namespace
