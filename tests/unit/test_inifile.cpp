// The profile file: lookups as the desktop's profile routines do them, and
// writes that change only the line they must.
#include "PeakMemory.h"
#include "QtPrinters.h"
#include "TestFolders.h"
#include "util/IniFile.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace
{

QByteArray Bytes(const char* Text)
{
    return QByteArray(Text);
}

const char* const Sample = "; written by hand\r\n"
                           "orphan=before any section\r\n"
                           "[Settings]\r\n"
                           "  SWebServer =  http://example.test/site  \r\n"
                           "shostname=db\r\n"
                           "shostname=second\r\n"
                           "no equals sign here\r\n"
                           ";spassword=commented\r\n"
                           "query=a=b&c=d\r\n"
                           "\r\n"
                           "[ other ]\r\n"
                           "spassword=elsewhere\r\n"
                           "[settings]\r\n"
                           "susername=in a later duplicate\r\n";

TEST(IniFileRead, NamesMatchWithoutCaseAndValuesLoseTheirBlanks)
{
    const TIniFile ini = TIniFile::FromBytes(Bytes(Sample));
    EXPECT_EQ(ini.ReadString("settings", "swebserver"), "http://example.test/site");
    EXPECT_EQ(ini.ReadString("SETTINGS", "SWEBSERVER"), "http://example.test/site");
    EXPECT_EQ(ini.ReadString("Other", "spassword"), "elsewhere");
    EXPECT_EQ(ini.ReadString("Settings", "query"), "a=b&c=d");
}

TEST(IniFileRead, MissingSectionsKeysCommentsAndOddLinesGiveTheDefault)
{
    const TIniFile ini = TIniFile::FromBytes(Bytes(Sample));
    EXPECT_EQ(ini.ReadString("Settings", "spassword", "dflt"),
              "dflt"); // only in a comment and another section
    EXPECT_EQ(ini.ReadString("Settings", "no equals sign here", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Nowhere", "shostname", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("", "orphan", "dflt"), "dflt");
    EXPECT_FALSE(ini.KeyExists("Settings", "spassword"));
    EXPECT_TRUE(ini.KeyExists("Settings", "SHOSTNAME"));
}

TEST(IniFileRead, FirstSectionAndFirstKeyOfADuplicateWin)
{
    const TIniFile ini = TIniFile::FromBytes(Bytes(Sample));
    EXPECT_EQ(ini.ReadString("Settings", "shostname"), "db");
    // A later section of the same name is not searched.
    EXPECT_EQ(ini.ReadString("Settings", "susername", "dflt"), "dflt");
}

TEST(IniFileRead, AnyLineEndingAndAMissingLastOne)
{
    const TIniFile ini = TIniFile::FromBytes(Bytes("[A]\nx=1\r\ny=2\n[B]\r\nz=3"));
    EXPECT_EQ(ini.ReadString("A", "x"), "1");
    EXPECT_EQ(ini.ReadString("A", "y"), "2");
    EXPECT_EQ(ini.ReadString("B", "z"), "3");
    EXPECT_EQ(ini.ToBytes(), Bytes("[A]\nx=1\r\ny=2\n[B]\r\nz=3"));
}

TEST(IniFileRead, EmptyInputAndAnEmptyValue)
{
    EXPECT_EQ(TIniFile::FromBytes({}).ReadString("A", "x", "d"), "d");
    const TIniFile ini = TIniFile::FromBytes(Bytes("[A]\r\nx=\r\n"));
    EXPECT_EQ(ini.ReadString("A", "x", "d"), "");
    EXPECT_TRUE(ini.KeyExists("A", "x"));
}

TEST(IniFileWrite, UpdatesTheKeyInPlaceAndLeavesEveryOtherByte)
{
    TIniFile ini = TIniFile::FromBytes(Bytes(Sample));
    ASSERT_TRUE(ini.WriteString("settings", "SHOSTNAME", "new host"));
    QByteArray expected = Bytes(Sample);
    expected.replace("shostname=db\r\n", "shostname=new host\r\n");
    EXPECT_EQ(ini.ToBytes(), expected);
    EXPECT_EQ(ini.ReadString("Settings", "shostname"), "new host");
}

TEST(IniFileWrite, KeepsTheKeySpellingOfTheFileAndEndsTheLineInCrLf)
{
    TIniFile ini = TIniFile::FromBytes(Bytes("[A]\nKeyOne = old\nnext=1\n"));
    ASSERT_TRUE(ini.WriteString("a", "keyone", "new"));
    EXPECT_EQ(ini.ToBytes(), Bytes("[A]\nKeyOne=new\r\nnext=1\n"));
}

TEST(IniFileWrite, AnUnchangedValueLeavesItsLineAlone)
{
    const QByteArray original = Bytes("[A]\n  x =  same  \n");
    TIniFile ini = TIniFile::FromBytes(original);
    ASSERT_TRUE(ini.WriteString("A", "x", "same"));
    EXPECT_EQ(ini.ToBytes(), original);
}

TEST(IniFileWrite, AppendsAMissingKeyAfterTheLastLineOfItsSection)
{
    TIniFile ini = TIniFile::FromBytes(Bytes("[A]\r\nx=1\r\n; note\r\n\r\n\r\n[B]\r\ny=2\r\n"));
    ASSERT_TRUE(ini.WriteString("A", "z", "3"));
    EXPECT_EQ(ini.ToBytes(), Bytes("[A]\r\nx=1\r\n; note\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\n"));

    ASSERT_TRUE(ini.WriteString("b", "w", "4"));
    EXPECT_EQ(ini.ToBytes(), Bytes("[A]\r\nx=1\r\n; note\r\nz=3\r\n\r\n\r\n[B]\r\ny=2\r\nw=4\r\n"));
}

TEST(IniFileWrite, AppendsAKeyToAnEmptySection)
{
    TIniFile ini = TIniFile::FromBytes(Bytes("[A]\r\n[B]\r\n"));
    ASSERT_TRUE(ini.WriteString("A", "x", "1"));
    EXPECT_EQ(ini.ToBytes(), Bytes("[A]\r\nx=1\r\n[B]\r\n"));
}

TEST(IniFileWrite, AppendsAMissingSectionAtTheEnd)
{
    TIniFile ini = TIniFile::FromBytes(Bytes("[A]\nx=1"));
    ASSERT_TRUE(ini.WriteString("New", "k", "v"));
    ASSERT_TRUE(ini.WriteString("New", "k2", "v2"));
    // The old last line gets the ending it lacked, and nothing else changes.
    EXPECT_EQ(ini.ToBytes(), Bytes("[A]\nx=1\r\n[New]\r\nk=v\r\nk2=v2\r\n"));
}

TEST(IniFileWrite, RefusesWhatCannotBeStoredOnOneLine)
{
    const QByteArray original = Bytes("[A]\r\nx=1\r\n");
    TIniFile ini = TIniFile::FromBytes(original);
    EXPECT_FALSE(ini.WriteString("A", "x", "two\r\nlines"));
    EXPECT_FALSE(ini.WriteString("A", "x", "injected\n[B]"));
    EXPECT_FALSE(ini.WriteString("A", "k=v", "1"));
    EXPECT_FALSE(ini.WriteString("A", "", "1"));
    EXPECT_FALSE(ini.WriteString("A", " x", "1"));
    EXPECT_FALSE(ini.WriteString("A", ";x", "1"));
    EXPECT_FALSE(ini.WriteString("A", "[x", "1"));
    EXPECT_FALSE(ini.WriteString("A]", "x", "1"));
    EXPECT_FALSE(ini.WriteString("", "x", "1"));
    EXPECT_EQ(ini.ToBytes(), original);
}

TEST(IniFileFiles, AMissingFileIsAnEmptyProfile)
{
    tftest::TDataFolder folder;
    TIniFile ini = TIniFile::FromBytes(Bytes("[Old]\r\nk=v\r\n"));
    QString error;
    ASSERT_TRUE(ini.LoadFile(folder.File("none.ini"), error));
    EXPECT_EQ(ini.ToBytes(), QByteArray());
    EXPECT_TRUE(folder.Entries().isEmpty()); // reading creates nothing
}

TEST(IniFileFiles, SavesAndLoadsTheSameBytes)
{
    tftest::TDataFolder folder;
    folder.Write("p.ini", Bytes(Sample));
    TIniFile ini;
    QString error;
    ASSERT_TRUE(ini.LoadFile(folder.File("p.ini"), error)) << error.toStdString();
    ASSERT_TRUE(ini.WriteString("Other", "added", "yes"));
    ASSERT_TRUE(ini.SaveFile(folder.File("p.ini"), error)) << error.toStdString();
    EXPECT_EQ(folder.Read("p.ini"), ini.ToBytes());
    EXPECT_EQ(folder.Entries(), QStringList{"p.ini"}); // no temporary file left behind
}

TEST(IniFileFiles, AFolderInPlaceOfTheFileFailsWithAReason)
{
    tftest::TDataFolder folder;
    ASSERT_TRUE(QDir(folder.Path()).mkdir("p.ini"));
    TIniFile ini;
    QString error;
    EXPECT_FALSE(ini.LoadFile(folder.File("p.ini"), error));
    EXPECT_FALSE(error.isEmpty());

    ASSERT_TRUE(ini.WriteString("S", "k", "v"));
    error.clear();
    EXPECT_FALSE(ini.SaveFile(folder.File("p.ini"), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(folder.File("p.ini")).isDir());
    EXPECT_EQ(folder.Entries(), QStringList{"p.ini"});
}

TEST(IniFileMemory, AProfileTakesAtMostFourTimesItsBytes)
{
    if (!tftest::PeaksAreMeaningful)
        GTEST_SKIP() << "peaks mean nothing under the sanitizers";
    constexpr qsizetype size = qsizetype(16) << 20;
    // The cheapest lines of each kind: blank, key, section, comment.
    for (const char* unit : {"\n", "a=\n", "[]\n", ";\n"}) {
        QByteArray bytes;
        bytes.reserve(size);
        while (bytes.size() + qsizetype(qstrlen(unit)) <= size)
            bytes += unit;
        const qint64 growth = tftest::PeakGrowth([&] {
            TIniFile ini = TIniFile::FromBytes(bytes);
            EXPECT_EQ(ini.ReadString("APPLICATION", "Version", "none"), "none");
            EXPECT_TRUE(ini.WriteString("New", "k", "v"));
            EXPECT_EQ(ini.ToBytes().size(), bytes.size() + 12);
        });
        EXPECT_LT(growth, 4 * size) << unit;
    }
}

} // namespace
