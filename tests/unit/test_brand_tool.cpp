// The real tallyfair-brand executable, run the way a brander runs it.
#include "TestFolders.h"
#include "brand/Skin.h"
#include "crypto/Encryption.h"
#include "util/FileCrypt.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

using tftest::TDataFolder;

namespace
{

struct TRun {
    int Exit = -1;
    QByteArray Out, Err;
};

QString ToolPath()
{
    return QDir(QString::fromLocal8Bit(qgetenv("TF_BINARY_DIR"))).filePath("tallyfair-brand");
}

TRun RunTool(const QStringList& Args)
{
    QProcess process;
    process.start(ToolPath(), Args);
    TRun run;
    if (!process.waitForStarted(10000) || !process.waitForFinished(30000))
        return run;
    run.Exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = process.readAllStandardOutput();
    run.Err = process.readAllStandardError();
    return run;
}

// A repeatable salt keeps the verifier a wrong password sees fixed.
std::uint8_t Seed = 0;
int SeededEntropy(std::uint8_t* Dest, unsigned Count)
{
    const unsigned n = std::min(Count, 8u);
    for (unsigned i = 0; i < n; ++i)
        Dest[i] = Seed++;
    return static_cast<int>(n);
}

QByteArray EncryptSeeded(const QByteArray& Plain)
{
    Seed = 11;
    TEncryption cipher(FixedFilePassword().toStdString(), 4096, SeededEntropy);
    TMemoryStream source(std::vector<std::uint8_t>(Plain.begin(), Plain.end())), dest;
    EXPECT_TRUE(cipher.EncryptStream(source, dest));
    return QByteArray(reinterpret_cast<const char*>(dest.Data().data()),
                      static_cast<qsizetype>(dest.Data().size()));
}

const QByteArray BrandText = "<%%ApplicationName%%>Giveaway Pro<%%/ApplicationName%%>\r\n"
                             "<%%AppHelpURL%%>http://example.com/help<%%/AppHelpURL%%>\r\n";

void ExpectOneLineFailure(const TRun& Run)
{
    EXPECT_EQ(Run.Exit, 1);
    EXPECT_EQ(Run.Err.count('\n'), 1) << Run.Err.toStdString();
    EXPECT_TRUE(Run.Err.startsWith("tallyfair-brand: ")) << Run.Err.toStdString();
}

} // namespace

TEST(BrandTool, EncryptsForTheProgramAndDecryptsBack)
{
    ASSERT_TRUE(QFile::exists(ToolPath())) << ToolPath().toStdString();
    TDataFolder folder;
    folder.Write("brand.txt", BrandText);
    const TRun enc = RunTool({"encrypt", folder.File("brand.txt"), folder.File("dbsettings.dat")});
    ASSERT_EQ(enc.Exit, 0) << enc.Err.toStdString();
    EXPECT_EQ(folder.Read("dbsettings.dat").size(), BrandText.size() + 20);

    // The program reads what the tool wrote.
    QByteArray plain;
    EXPECT_EQ(DecryptFileToMemory(folder.File("dbsettings.dat"), plain), TDecryptOutcome::Authentic);
    EXPECT_EQ(plain, BrandText);

    // The plain text is the brander's alone, also over a file others could read.
    folder.Write("back.txt", "old");
    ASSERT_TRUE(QFile::setPermissions(folder.File("back.txt"), QFile::ReadOwner | QFile::WriteOwner |
                                                                   QFile::ReadGroup | QFile::ReadOther));
    const TRun dec = RunTool({"decrypt", folder.File("dbsettings.dat"), folder.File("back.txt")});
    ASSERT_EQ(dec.Exit, 0) << dec.Err.toStdString();
    EXPECT_EQ(folder.Read("back.txt"), BrandText);
    EXPECT_EQ(QFileInfo(folder.File("back.txt")).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
}

TEST(BrandTool, AnotherPassword)
{
    TDataFolder folder;
    folder.Write("brand.txt", BrandText);
    ASSERT_EQ(
        RunTool({"--password", "a brander's own", "encrypt", folder.File("brand.txt"), folder.File("b.dat")})
            .Exit,
        0);
    QByteArray plain;
    EXPECT_EQ(DecryptFileToMemory(folder.File("b.dat"), plain, "a brander's own"),
              TDecryptOutcome::Authentic);
    EXPECT_EQ(plain, BrandText);
    const TRun dec =
        RunTool({"decrypt", folder.File("b.dat"), folder.File("back.txt"), "--password=a brander's own"});
    EXPECT_EQ(dec.Exit, 0) << dec.Err.toStdString();
    EXPECT_EQ(folder.Read("back.txt"), BrandText);
}

TEST(BrandTool, RefusesWrongPasswordDamageAndMissingFilesWithoutOutput)
{
    TDataFolder folder;
    const QByteArray cipher = EncryptSeeded(BrandText);
    QByteArray damaged = cipher;
    damaged[30] = static_cast<char>(damaged[30] ^ 0x01);
    folder.Write("good.dat", cipher);
    folder.Write("damaged.dat", damaged);
    folder.Write("cut.dat", cipher.left(cipher.size() - 3));

    ExpectOneLineFailure(
        RunTool({"decrypt", folder.File("good.dat"), folder.File("out.txt"), "--password", "nope"}));
    ExpectOneLineFailure(RunTool({"decrypt", folder.File("damaged.dat"), folder.File("out.txt")}));
    ExpectOneLineFailure(RunTool({"decrypt", folder.File("cut.dat"), folder.File("out.txt")}));
    ExpectOneLineFailure(RunTool({"decrypt", folder.File("missing.dat"), folder.File("out.txt")}));
    ExpectOneLineFailure(RunTool({"encrypt", folder.File("missing.txt"), folder.File("out.dat")}));
    EXPECT_EQ(folder.Entries(), QStringList({"cut.dat", "damaged.dat", "good.dat"}));

    // An existing output file survives a failed decryption unchanged.
    folder.Write("out.txt", "earlier");
    ExpectOneLineFailure(RunTool({"decrypt", folder.File("damaged.dat"), folder.File("out.txt")}));
    EXPECT_EQ(folder.Read("out.txt"), QByteArray("earlier"));
}

TEST(BrandTool, HelpAndUsageErrors)
{
    const TRun help = RunTool({"--help"});
    EXPECT_EQ(help.Exit, 0);
    EXPECT_TRUE(help.Out.contains("encrypt PLAIN ENCRYPTED"));
    EXPECT_TRUE(help.Out.contains("decrypt ENCRYPTED PLAIN"));
    EXPECT_TRUE(help.Out.contains("--password"));
    EXPECT_TRUE(help.Out.contains("pack-skin STYLE.qss SKIN"));

    EXPECT_EQ(RunTool({}).Exit, 2);
    EXPECT_EQ(RunTool({"shred", "a", "b"}).Exit, 2);
    EXPECT_EQ(RunTool({"encrypt", "only-one"}).Exit, 2);
    EXPECT_EQ(RunTool({"decrypt", "a", "b", "c"}).Exit, 2);
    EXPECT_EQ(RunTool({"decrypt", "a", "b", "--password"}).Exit, 2);
    EXPECT_EQ(RunTool({"--verbose", "decrypt", "a", "b"}).Exit, 2);
    EXPECT_EQ(RunTool({"pack-skin", "style.qss"}).Exit, 2);
}

TEST(BrandTool, PacksASkinTheProgramReadsBack)
{
    TDataFolder folder;
    const QString sheet = QStringLiteral("/* Prize Desk \u2014 teal */\n"
                                         "QPushButton:hover {\n    border-color: #17806d;\n}\n");
    folder.Write("style.qss", sheet.toUtf8());
    const TRun run = RunTool({"pack-skin", folder.File("style.qss"), folder.File("mainskin.dat")});
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.isEmpty());

    QString unpacked;
    ASSERT_TRUE(skin::Unpack(folder.Read("mainskin.dat"), unpacked));
    EXPECT_EQ(unpacked, sheet);
    EXPECT_EQ(folder.Entries(), QStringList({"mainskin.dat", "style.qss"}));

    // Packing again replaces the earlier skin; a byte-order mark is not
    // part of the sheet.
    const QString other = QStringLiteral("QLabel { color: #0b3d35; }\n");
    folder.Write("style.qss", "\xEF\xBB\xBF" + other.toUtf8());
    ASSERT_EQ(RunTool({"pack-skin", folder.File("style.qss"), folder.File("mainskin.dat")}).Exit, 0);
    ASSERT_TRUE(skin::Unpack(folder.Read("mainskin.dat"), unpacked));
    EXPECT_EQ(unpacked, other);
}

TEST(BrandTool, RefusesToPackWhatTheProgramCouldNotApply)
{
    TDataFolder folder;
    ExpectOneLineFailure(RunTool({"pack-skin", folder.File("missing.qss"), folder.File("mainskin.dat")}));
    EXPECT_TRUE(folder.Entries().isEmpty()) << folder.Entries().join(' ').toStdString();

    folder.Write("empty.qss", " \r\n\t\n");
    folder.Write("latin1.qss", "QLabel { font-family: \"Caf\xE9\"; }");
    ExpectOneLineFailure(RunTool({"pack-skin", folder.File("empty.qss"), folder.File("a.dat")}));
    ExpectOneLineFailure(RunTool({"pack-skin", folder.File("latin1.qss"), folder.File("b.dat")}));
    EXPECT_EQ(folder.Entries(), QStringList({"empty.qss", "latin1.qss"}));

    // A skin already in place survives a failed pack unchanged.
    const QByteArray earlier = skin::Pack("QLabel { color: red; }");
    folder.Write("mainskin.dat", earlier);
    ExpectOneLineFailure(RunTool({"pack-skin", folder.File("missing.qss"), folder.File("mainskin.dat")}));
    EXPECT_EQ(folder.Read("mainskin.dat"), earlier);
}
