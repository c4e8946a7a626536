// tallyfair-brand kit, run as a brander runs it: what a kit holds, which
// inputs it refuses (one line, nothing written), which it only warns about.
#include "TestFolders.h"
#include "brand/Skin.h"
#include "util/FileCrypt.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <functional>
#include <gtest/gtest.h>

using tftest::TDataFolder;

namespace
{

struct TRun {
    int Exit = -1;
    QByteArray Err;
};

const QStringList ExampleFiles = {"brand.txt", "banner1.dat", "banner2.dat", "skin.qss", "icon.png"};

class BrandKit : public ::testing::Test
{
protected:
    TDataFolder Root;
    QString Brand, Out, Temp;

    void SetUp() override { Fresh(); }

    // The example brand copied afresh, empty output and temporary folders.
    void Fresh()
    {
        Brand = Root.File("brand");
        Out = Root.File("out");
        Temp = Root.File("tmp");
        for (const QString& dir : {Brand, Out, Temp, Root.File("unpacked")})
            QDir(dir).removeRecursively();
        QDir().mkpath(Brand);
        QDir().mkpath(Out);
        QDir().mkpath(Temp);
        const QDir example(QDir(tftest::SourceDir()).filePath("examples/brand"));
        for (const QString& name : ExampleFiles)
            ASSERT_TRUE(QFile::copy(example.filePath(name), QDir(Brand).filePath(name)))
                << name.toStdString();
    }

    QString InBrand(const QString& Name) const { return QDir(Brand).filePath(Name); }
    QByteArray ReadBrand(const QString& Name) const
    {
        QFile f(InBrand(Name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void WriteBrand(const QString& Name, const QByteArray& Bytes) const
    {
        QFile f(InBrand(Name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Bytes);
    }
    void EditBrandText(const std::function<void(QByteArray&)>& Edit) const
    {
        QByteArray text = ReadBrand("brand.txt");
        Edit(text);
        WriteBrand("brand.txt", text);
    }

    TRun Kit()
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", Temp); // so that leftovers of the build would show
        process.setProcessEnvironment(env);
        process.start(QDir(QString::fromLocal8Bit(qgetenv("TF_BINARY_DIR"))).filePath("tallyfair-brand"),
                      {"kit", Brand, QDir(Out).filePath("kit.tar.gz")});
        TRun run;
        if (process.waitForStarted(10000) && process.waitForFinished(60000))
            run.Exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Err = process.readAllStandardError();
        return run;
    }

    // The kit unpacked into Root/unpacked; returns the kit's folder.
    QString Unpack()
    {
        const QString dest = Root.File("unpacked");
        QDir().mkpath(dest);
        EXPECT_EQ(QProcess::execute("tar", {"-xzf", QDir(Out).filePath("kit.tar.gz"), "-C", dest}), 0);
        return QDir(dest).filePath("prize-desk");
    }

    void ExpectRefused(const char* Says)
    {
        const TRun run = Kit();
        EXPECT_EQ(run.Exit, 1) << run.Err.toStdString();
        EXPECT_EQ(run.Err.count('\n'), 1) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.startsWith("tallyfair-brand: ")) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(Says)) << "expected \"" << Says << "\" in: " << run.Err.toStdString();
        EXPECT_TRUE(QDir(Out).isEmpty()) << "output left behind";
        EXPECT_TRUE(QDir(Temp).isEmpty()) << "temporary files left behind";
    }
};

QByteArray FileBytes(const QString& Path)
{
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST_F(BrandKit, HoldsWhatTheProgramReadsBesideItsExecutable)
{
    // A picture may also be given under the name its entry uses.
    QFile::rename(InBrand("banner1.dat"), InBrand("prizedesk-spring.png"));
    const TRun run = Kit();
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.isEmpty()) << run.Err.toStdString();
    EXPECT_TRUE(QDir(Temp).isEmpty());
    const QDir kit(Unpack());

    QByteArray plain;
    EXPECT_EQ(DecryptFileToMemory(kit.filePath("dbsettings.dat"), plain), TDecryptOutcome::Authentic);
    EXPECT_EQ(plain, ReadBrand("brand.txt"));
    EXPECT_EQ(FileBytes(kit.filePath("banner1.dat")), ReadBrand("prizedesk-spring.png"));
    EXPECT_EQ(FileBytes(kit.filePath("banner2.dat")), ReadBrand("banner2.dat"));
    QString sheet;
    ASSERT_TRUE(skin::Unpack(FileBytes(kit.filePath("mainskin.dat")), sheet));
    EXPECT_EQ(sheet.toUtf8(), ReadBrand("skin.qss"));
    // An icon file with one 256 x 256 picture (a size byte of 0 means 256).
    const QByteArray ico = FileBytes(kit.filePath("main.ico"));
    EXPECT_TRUE(ico.startsWith(QByteArray("\0\0\1\0\1\0\0\0", 8))) << ico.left(8).toHex().toStdString();
    EXPECT_TRUE(QFileInfo(kit.filePath("tallyfair")).isExecutable());
    EXPECT_TRUE(QFileInfo(kit.filePath("install.sh")).isExecutable());
    EXPECT_TRUE(FileBytes(kit.filePath("tallyfair-prize-desk.desktop")).contains("\nName=Prize Desk\n"));
}

TEST_F(BrandKit, RefusesTagsTheProgramWouldNotFind)
{
    EditBrandText([](QByteArray& t) {
        const QByteArray code = "<%%BranderCode%%>PD-201<%%/BranderCode%%>\n";
        t.replace(code, "");
        t.prepend(code);
    });
    ExpectRefused("BranderCode stands before ApplicationName");

    Fresh();
    EditBrandText([](QByteArray& t) {
        t.replace("<%%Link2%%>Giveaway checklist^https://www.prizedesk.example/checklist/<%%/Link2%%>", "");
    });
    ExpectRefused("Link2 is missing, so the program stops there and ignores Link3");

    Fresh();
    EditBrandText([](QByteArray& t) {
        t.replace("<%%Banner1%%>",
                  "<%%Welcome2%%><%%/Welcome2%%>\n<%%Welcome3%%>x<%%/Welcome3%%>\n<%%Banner1%%>");
    });
    ExpectRefused("Welcome2 is empty, so the program stops there and ignores Welcome3");

    Fresh();
    EditBrandText(
        [](QByteArray& t) { t.replace("Prize Desk<%%/ApplicationName%%>", "<%%/ApplicationName%%>"); });
    ExpectRefused("has no ApplicationName");
}

TEST_F(BrandKit, RefusesBannersTheProgramCouldNotShow)
{
    WriteBrand("banner1.dat", "not a picture at all");
    ExpectRefused("(Banner1, named prizedesk-spring.png) is not a picture the program can show");

    // Named as a GIF, so the program plays it as one; a PNG does not play.
    Fresh();
    WriteBrand("banner2.dat", ReadBrand("banner1.dat"));
    ExpectRefused("(Banner2, named prizedesk-tips.gif) is not a GIF animation the program can show");

    Fresh();
    QFile::remove(InBrand("banner2.dat"));
    ExpectRefused("Banner2 names prizedesk-tips.gif, but");
}

TEST_F(BrandKit, RefusesWhatPackSkinRefusesAndAnUnreadableIcon)
{
    WriteBrand("skin.qss", "QWidget { color: \xff\xfe; }");
    ExpectRefused("is not UTF-8 text");

    Fresh();
    WriteBrand("skin.qss", " \n");
    ExpectRefused("holds no style sheet");

    Fresh();
    WriteBrand("icon.png", "no picture");
    ExpectRefused("icon.png is not a picture");
}

TEST_F(BrandKit, WarnsButBuildsWhenNewsWouldBeOff)
{
    EditBrandText([](QByteArray& t) { t.replace(">Gold<", ">gold<"); });
    TRun run = Kit();
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Err,
              "tallyfair-brand: warning: BranderType \"gold\" is not exactly \"Master\", \"Platinum\", "
              "\"Gold\" or \"Free\": the News button stays hidden and no news is fetched\n");
    EXPECT_TRUE(QFile::exists(QDir(Out).filePath("kit.tar.gz")));

    Fresh();
    EditBrandText([](QByteArray& t) { t.replace(">prizedesk<", "><"); });
    run = Kit();
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Err, "tallyfair-brand: warning: BranderType Gold has no GoldPublID: the News button stays "
                       "hidden and no news is fetched\n");
    EXPECT_TRUE(QFile::exists(QDir(Out).filePath("kit.tar.gz")));
}
