// Encrypted files and byte arrays: round trips through real files in a
// temporary folder, and what each kind of damage leaves behind.
#include "TestFolders.h"
#include "crypto/Encryption.h"
#include "util/FileCrypt.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using tftest::TDataFolder;

namespace
{

QByteArray RandomData(qsizetype Size, quint32 Seed)
{
    QRandomGenerator rng(Seed);
    QByteArray data(Size, Qt::Uninitialized);
    for (auto& c : data)
        c = static_cast<char>(rng.bounded(256));
    return data;
}

// Encryption with a repeatable salt: the verifier seen by a wrong password
// is then fixed, so the wrong-password cases cannot pass by chance.
std::uint8_t Seed = 0;
int SeededEntropy(std::uint8_t* Dest, unsigned Count)
{
    const unsigned n = std::min(Count, 8u);
    for (unsigned i = 0; i < n; ++i)
        Dest[i] = Seed++;
    return static_cast<int>(n);
}

QByteArray EncryptSeeded(const QByteArray& Plain, const QByteArray& Password = FixedFilePassword())
{
    Seed = 3;
    TEncryption cipher(Password.toStdString(), 1024, SeededEntropy);
    TMemoryStream source(std::vector<std::uint8_t>(Plain.begin(), Plain.end())), dest;
    EXPECT_TRUE(cipher.EncryptStream(source, dest));
    return QByteArray(reinterpret_cast<const char*>(dest.Data().data()),
                      static_cast<qsizetype>(dest.Data().size()));
}

const QByteArray BrandText = "<%%ApplicationName%%>Brand<%%/ApplicationName%%>\r\n";

} // namespace

TEST(FileCrypt, FilesRoundTripAcrossTheBufferSize)
{
    TDataFolder folder;
    for (qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(FileCryptBufferSize), qsizetype(600000)}) {
        const QByteArray plain = RandomData(size, static_cast<quint32>(size) + 1);
        folder.Write("plain.txt", plain);
        QString error;
        ASSERT_TRUE(EncryptFileTo(folder.File("plain.txt"), folder.File("brand.dat"), &error))
            << error.toStdString();
        EXPECT_EQ(folder.Read("brand.dat").size(), size + 20);
        ASSERT_TRUE(DecryptFileTo(folder.File("brand.dat"), folder.File("back.txt"), &error))
            << error.toStdString();
        EXPECT_EQ(folder.Read("back.txt"), plain) << size;
    }
    EXPECT_EQ(folder.Entries(), QStringList({"back.txt", "brand.dat", "plain.txt"}));
}

TEST(FileCrypt, EncryptingReplacesTheWholeOldFile)
{
    TDataFolder folder;
    folder.Write("brand.dat", RandomData(5000, 9));
    folder.Write("plain.txt", BrandText);
    ASSERT_TRUE(EncryptFileTo(folder.File("plain.txt"), folder.File("brand.dat")));
    EXPECT_EQ(folder.Read("brand.dat").size(), BrandText.size() + 20);
    QByteArray plain;
    EXPECT_EQ(DecryptFileToMemory(folder.File("brand.dat"), plain), TDecryptOutcome::Authentic);
    EXPECT_EQ(plain, BrandText);
}

TEST(FileCrypt, MemoryOutcomesForDamagedCutAndMissingFiles)
{
    TDataFolder folder;
    const QByteArray plain = RandomData(3000, 5);
    const QByteArray cipher = EncryptBytes(plain);
    QByteArray out;

    folder.Write("ok.dat", cipher);
    EXPECT_EQ(DecryptFileToMemory(folder.File("ok.dat"), out), TDecryptOutcome::Authentic);
    EXPECT_EQ(out, plain);

    // A damaged file is still handed over, deciphered, so it can be shown.
    QByteArray flipped = cipher;
    flipped[1000] = static_cast<char>(flipped[1000] ^ 0x20);
    folder.Write("flipped.dat", flipped);
    EXPECT_EQ(DecryptFileToMemory(folder.File("flipped.dat"), out), TDecryptOutcome::Damaged);
    QByteArray expected = plain;
    expected[990] = static_cast<char>(expected[990] ^ 0x20);
    EXPECT_EQ(out, expected);

    folder.Write("cut.dat", cipher.left(2000));
    EXPECT_EQ(DecryptFileToMemory(folder.File("cut.dat"), out), TDecryptOutcome::Damaged);
    EXPECT_EQ(out, plain.left(1980));

    out = "stale";
    EXPECT_EQ(DecryptFileToMemory(folder.File("missing.dat"), out), TDecryptOutcome::Unreadable);
    EXPECT_TRUE(out.isEmpty());
    for (qsizetype size : {0, 5, 19}) {
        folder.Write("short.dat", cipher.left(size));
        out = "stale";
        EXPECT_EQ(DecryptFileToMemory(folder.File("short.dat"), out), TDecryptOutcome::Unreadable) << size;
        EXPECT_TRUE(out.isEmpty());
    }

    folder.Write("seeded.dat", EncryptSeeded(plain));
    EXPECT_EQ(DecryptFileToMemory(folder.File("seeded.dat"), out, "not the password"),
              TDecryptOutcome::Unreadable);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(DecryptFileToMemory(folder.File("seeded.dat"), out), TDecryptOutcome::Authentic);
    EXPECT_EQ(out, plain);
}

TEST(FileCrypt, FailedDecryptionWritesNothingAndKeepsTheOldFile)
{
    TDataFolder folder;
    const QByteArray cipher = EncryptSeeded(BrandText);
    QByteArray damaged = cipher;
    damaged[12] = static_cast<char>(damaged[12] ^ 1);
    QByteArray cutMac = cipher.left(cipher.size() - 1);
    folder.Write("damaged.dat", damaged);
    folder.Write("cut.dat", cutMac);
    folder.Write("short.dat", "abc");

    struct TCase {
        QString Source;
        QByteArray Password;
    };
    const TCase cases[] = {{"damaged.dat", FixedFilePassword()},
                           {"cut.dat", FixedFilePassword()},
                           {"short.dat", FixedFilePassword()},
                           {"missing.dat", FixedFilePassword()},
                           {"damaged.dat", "wrong password"}};
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(DecryptFileTo(folder.File(c.Source), folder.File("new.txt"), &error, c.Password))
            << c.Source.toStdString();
        EXPECT_TRUE(error.contains(c.Source)) << error.toStdString();
        EXPECT_FALSE(folder.Exists("new.txt"));

        folder.Write("old.txt", "keep me");
        EXPECT_FALSE(DecryptFileTo(folder.File(c.Source), folder.File("old.txt"), nullptr, c.Password));
        EXPECT_EQ(folder.Read("old.txt"), QByteArray("keep me"));
    }
    // No temporary was left behind by any of them.
    EXPECT_EQ(folder.Entries(), QStringList({"cut.dat", "damaged.dat", "old.txt", "short.dat"}));
}

TEST(FileCrypt, EncryptionFailuresLeaveNoFile)
{
    TDataFolder folder;
    QString error;
    EXPECT_FALSE(EncryptFileTo(folder.File("missing.txt"), folder.File("out.dat"), &error));
    EXPECT_TRUE(error.contains("missing.txt")) << error.toStdString();
    EXPECT_FALSE(folder.Exists("out.dat"));

    folder.Write("plain.txt", BrandText);
    error.clear();
    EXPECT_FALSE(EncryptFileTo(folder.File("plain.txt"), folder.File("no/such/folder/out.dat"), &error));
    EXPECT_FALSE(error.isEmpty());

    const QByteArray tooLong(129, 'p');
    EXPECT_FALSE(EncryptFileTo(folder.File("plain.txt"), folder.File("out.dat"), &error, tooLong));
    EXPECT_FALSE(EncryptBytesToFile(BrandText, folder.File("out.dat"), &error, tooLong));
    EXPECT_TRUE(EncryptBytes(BrandText, tooLong).isEmpty());
    EXPECT_EQ(folder.Entries(), QStringList({"plain.txt"}));
}

TEST(FileCrypt, BytesAndOtherPasswords)
{
    TDataFolder folder;
    const QByteArray long48(48, 'k');
    const QByteArray cipher = EncryptBytes(BrandText, long48);
    EXPECT_EQ(cipher.size(), BrandText.size() + 16 + 12);
    QByteArray plain;
    EXPECT_EQ(DecryptBytes(cipher, plain, long48), TDecryptOutcome::Authentic);
    EXPECT_EQ(plain, BrandText);

    ASSERT_TRUE(EncryptBytesToFile(BrandText, folder.File("brand.dat")));
    EXPECT_EQ(DecryptFileToMemory(folder.File("brand.dat"), plain), TDecryptOutcome::Authentic);
    EXPECT_EQ(plain, BrandText);
    ASSERT_TRUE(DecryptFileTo(folder.File("brand.dat"), folder.File("brand.txt")));
    EXPECT_EQ(folder.Read("brand.txt"), BrandText);

    // Two encryptions of one text differ, and both decrypt.
    const QByteArray again = EncryptBytes(BrandText);
    EXPECT_NE(again, EncryptBytes(BrandText));
    EXPECT_EQ(DecryptBytes(again, plain), TDecryptOutcome::Authentic);
}
