// The encrypted stream format, checked byte for byte against a stream built
// independently with OpenSSL, and its handling of damage and refusals.
#include "CryptoTestUtil.h"
#include "crypto/Encryption.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

using namespace cryptotest;

namespace
{

const std::string FixedPassword = "plokmijnuh";

// A repeatable salt source, so that two encryptions can be compared.
std::uint8_t SaltSeed = 0;
int SeededEntropy(std::uint8_t* Dest, unsigned Count)
{
    const unsigned n = std::min(Count, 8u);
    for (unsigned i = 0; i < n; ++i)
        Dest[i] = SaltSeed++;
    return static_cast<int>(n);
}

TBytes Encrypt(const std::string& Password, const TBytes& Plain, std::int32_t BufferSize = 4096,
               TEntropyFunction Entropy = ClockEntropy)
{
    TEncryption cipher(Password, BufferSize, Entropy);
    TMemoryStream source(Plain), dest;
    EXPECT_TRUE(cipher.EncryptStream(source, dest));
    return dest.Data();
}

TBytes EncryptSeeded(const std::string& Password, const TBytes& Plain, std::uint8_t Seed,
                     std::int32_t BufferSize = 4096)
{
    SaltSeed = Seed;
    return Encrypt(Password, Plain, BufferSize, SeededEntropy);
}

struct TDecrypted {
    TStreamOutcome Outcome;
    TBytes Plain;
};

TDecrypted Decrypt(const std::string& Password, const TBytes& Cipher, std::int32_t BufferSize = 4096,
                   std::int64_t Size = -1)
{
    TEncryption cipher(Password, BufferSize);
    TMemoryStream source(Cipher), dest;
    const auto outcome = cipher.DecryptStreamOutcome(
        source, &dest, Size < 0 ? static_cast<std::int64_t>(Cipher.size()) : Size);
    return {outcome, dest.Data()};
}

// The stream as the format defines it, built from OpenSSL's PBKDF2, AES and
// HMAC with the salt taken from our output.
TBytes ReferenceStream(const std::string& Password, const TBytes& Salt, const TBytes& Plain)
{
    const std::size_t keyLength = Salt.size() * 2; // 8 -> 16, 12 -> 24, 16 -> 32
    TBytes material(2 * keyLength + 2);
    PKCS5_PBKDF2_HMAC_SHA1(Password.data(), static_cast<int>(Password.size()), Salt.data(),
                           static_cast<int>(Salt.size()), 1000, static_cast<int>(material.size()),
                           material.data());
    const EVP_CIPHER* aes = keyLength == 16   ? EVP_aes_128_ecb()
                            : keyLength == 24 ? EVP_aes_192_ecb()
                                              : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, aes, nullptr, material.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    TBytes cipher = Plain;
    std::uint64_t counter = 0;
    for (std::size_t at = 0; at < cipher.size(); at += 16) {
        ++counter;
        std::uint8_t block[16] = {}, keystream[16];
        for (int i = 0; i < 8; ++i)
            block[i] = static_cast<std::uint8_t>(counter >> (8 * i));
        int n = 0;
        EVP_EncryptUpdate(ctx, keystream, &n, block, 16);
        for (std::size_t i = 0; i < 16 && at + i < cipher.size(); ++i)
            cipher[at + i] ^= keystream[i];
    }
    EVP_CIPHER_CTX_free(ctx);
    std::uint8_t mac[20];
    unsigned macLength = 0;
    HMAC(EVP_sha1(), material.data() + keyLength, static_cast<int>(keyLength), cipher.data(), cipher.size(),
         mac, &macLength);

    TBytes stream = Salt;
    stream.insert(stream.end(), material.end() - 2, material.end());
    stream.insert(stream.end(), cipher.begin(), cipher.end());
    stream.insert(stream.end(), mac, mac + 10);
    return stream;
}

// Counts reads and can be told to fail reading or writing.
class TProbeStream : public TMemoryStream
{
public:
    using TMemoryStream::TMemoryStream;
    std::ptrdiff_t Read(std::uint8_t* Dest, std::size_t Count) override
    {
        ReadSizes.push_back(Count);
        if (FailReadAfter >= 0 && static_cast<int>(ReadSizes.size()) > FailReadAfter)
            return -1;
        return TMemoryStream::Read(Dest, Count);
    }
    bool Write(const std::uint8_t* Data, std::size_t Count) override
    {
        if (FailWrites)
            return false;
        return TMemoryStream::Write(Data, Count);
    }
    std::vector<std::size_t> ReadSizes;
    int FailReadAfter = -1;
    bool FailWrites = false;
};

} // namespace

TEST(Encryption, MatchesTheIndependentlyBuiltStream)
{
    // Password lengths on both sides of each key-mode boundary; plaintext
    // sizes around block and buffer edges, and past 256 blocks so that the
    // counter carries into its second byte.
    for (std::size_t passwordLength : {10u, 31u, 32u, 47u, 48u, 128u}) {
        for (std::size_t size : {0u, 1u, 15u, 16u, 17u, 100u, 4096u, 5000u}) {
            const std::string password(reinterpret_cast<const char*>(RandomBytes(passwordLength).data()),
                                       passwordLength);
            const TBytes plain = RandomBytes(size);
            const TBytes ours = Encrypt(password, plain, 1000);
            const std::size_t salt = passwordLength < 32 ? 8 : passwordLength < 48 ? 12 : 16;
            ASSERT_EQ(ours.size(), size + salt + 12);
            const TBytes reference =
                ReferenceStream(password, TBytes(ours.begin(), ours.begin() + salt), plain);
            ASSERT_EQ(ToHex(ours), ToHex(reference)) << "password " << passwordLength << " size " << size;
        }
    }
}

TEST(Encryption, KeyModeAndSaltFollowThePasswordLength)
{
    for (const auto& [length, mode] : {std::pair{0, 1}, {31, 1}, {32, 2}, {47, 2}, {48, 3}, {200, 3}}) {
        TEncryption cipher(std::string(static_cast<std::size_t>(length), 'x'), 64);
        EXPECT_EQ(cipher.KeyMode, mode) << length;
        EXPECT_EQ(cipher.SaltLength(), static_cast<std::size_t>(4 * mode + 4));
    }
}

TEST(Encryption, FixedPasswordAddsTwentyBytesAndRoundTrips)
{
    for (std::size_t size : {0u, 1u, 999u, 1000u, 1001u, 3000u}) {
        const TBytes plain = RandomBytes(size);
        const TBytes cipher = Encrypt(FixedPassword, plain, 1000);
        ASSERT_EQ(cipher.size(), size + 20);
        const auto back = Decrypt(FixedPassword, cipher);
        EXPECT_EQ(back.Outcome, TStreamOutcome::Authentic);
        EXPECT_EQ(ToHex(back.Plain), ToHex(plain));
    }
}

TEST(Encryption, FullBufferIsReadAsOneFullAndOneEmptyChunk)
{
    const TBytes plain = RandomBytes(512);
    TEncryption cipher(FixedPassword, 512);
    TProbeStream source(plain);
    TMemoryStream dest;
    ASSERT_TRUE(cipher.EncryptStream(source, dest));
    EXPECT_EQ(source.ReadSizes, (std::vector<std::size_t>{512, 512}));
    EXPECT_EQ(dest.Data().size(), 532u);
}

TEST(Encryption, ChunkSizesDoNotChangeTheBytes)
{
    const TBytes plain = RandomBytes(3333);
    const TBytes oneShot = EncryptSeeded(FixedPassword, plain, 42, 1 << 16);
    for (std::int32_t buffer : {1, 7, 13, 16, 100, 3333}) {
        EXPECT_EQ(ToHex(EncryptSeeded(FixedPassword, plain, 42, buffer)), ToHex(oneShot)) << buffer;
        const auto back = Decrypt(FixedPassword, oneShot, buffer);
        EXPECT_EQ(back.Outcome, TStreamOutcome::Authentic) << buffer;
        EXPECT_EQ(ToHex(back.Plain), ToHex(plain)) << buffer;
    }
}

TEST(Encryption, StateOperationsInRandomPiecesEqualOnePiece)
{
    const TBytes salt = RandomBytes(16), plain = RandomBytes(2000);
    const TBytes password = Bytes("a password for the state");
    for (int mode = 1; mode <= 3; ++mode) {
        TStreamCipherState whole, pieces;
        std::uint8_t v1[2], v2[2];
        ASSERT_EQ(StreamCipherInit(mode, password.data(), password.size(), salt.data(), v1, whole), 0);
        ASSERT_EQ(StreamCipherInit(mode, password.data(), password.size(), salt.data(), v2, pieces), 0);
        EXPECT_EQ(ToHex(v1, 2), ToHex(v2, 2));
        TBytes a = plain, b = plain;
        StreamCipherEncrypt(a.data(), a.size(), whole);
        for (std::size_t at = 0; at < b.size();) {
            const std::size_t n = std::min(b.size() - at, RandomSize(0, 40));
            StreamCipherEncrypt(b.data() + at, n, pieces);
            at += n;
        }
        EXPECT_EQ(ToHex(a), ToHex(b));
        std::uint8_t macA[10], macB[10];
        EXPECT_EQ(StreamCipherFinish(macA, whole), 10);
        EXPECT_EQ(StreamCipherFinish(macB, pieces), 10);
        EXPECT_EQ(ToHex(macA, 10), ToHex(macB, 10));
    }
}

TEST(Encryption, StateRefusesLongPasswordsAndUnknownKeyModes)
{
    const TBytes salt = RandomBytes(16);
    const TBytes longest(128, 'p'), tooLong(129, 'p');
    TStreamCipherState state;
    std::uint8_t verifier[2];
    EXPECT_EQ(StreamCipherInit(1, longest.data(), longest.size(), salt.data(), verifier, state), 0);
    EXPECT_EQ(StreamCipherInit(1, tooLong.data(), tooLong.size(), salt.data(), verifier, state), -100);
    EXPECT_EQ(StreamCipherInit(0, longest.data(), 10, salt.data(), verifier, state), -101);
    EXPECT_EQ(StreamCipherInit(4, longest.data(), 10, salt.data(), verifier, state), -101);
}

TEST(Encryption, PasswordOverTheLimitWritesNothing)
{
    TEncryption cipher(std::string(129, 'p'), 64);
    TMemoryStream source(RandomBytes(100)), dest;
    EXPECT_FALSE(cipher.EncryptStream(source, dest));
    EXPECT_TRUE(dest.Data().empty());
    TMemoryStream stream(Encrypt(std::string(128, 'p'), RandomBytes(10)));
    EXPECT_FALSE(cipher.DecryptStream(stream, nullptr, 10 + 28));
}

TEST(Encryption, SaltsAreFreshAndBothEncryptionsDecrypt)
{
    const TBytes plain = Bytes("the same brand text twice");
    const TBytes first = Encrypt(FixedPassword, plain), second = Encrypt(FixedPassword, plain);
    EXPECT_NE(ToHex(first), ToHex(second));
    EXPECT_NE(ToHex(TBytes(first.begin(), first.begin() + 8)),
              ToHex(TBytes(second.begin(), second.begin() + 8)));
    EXPECT_EQ(ToHex(Decrypt(FixedPassword, first).Plain), ToHex(plain));
    EXPECT_EQ(ToHex(Decrypt(FixedPassword, second).Plain), ToHex(plain));
}

TEST(Encryption, FlippedCiphertextBitFlipsThePlainBitAndFailsTheCode)
{
    const TBytes plain = RandomBytes(300);
    const TBytes cipher = Encrypt(FixedPassword, plain);
    for (std::size_t at : {10u, 11u, 150u, 309u}) {
        TBytes damaged = cipher;
        damaged[at] ^= 0x04;
        const auto back = Decrypt(FixedPassword, damaged);
        EXPECT_EQ(back.Outcome, TStreamOutcome::Damaged) << at;
        TBytes expected = plain;
        expected[at - 10] ^= 0x04;
        EXPECT_EQ(ToHex(back.Plain), ToHex(expected)) << at;
    }
}

TEST(Encryption, DamagedCodeIsDetectedAfterTheWholePlaintext)
{
    const TBytes plain = RandomBytes(50);
    for (std::size_t back = 1; back <= 10; ++back) {
        TBytes damaged = Encrypt(FixedPassword, plain);
        damaged[damaged.size() - back] ^= 0x80;
        const auto out = Decrypt(FixedPassword, damaged);
        EXPECT_EQ(out.Outcome, TStreamOutcome::Damaged);
        EXPECT_EQ(ToHex(out.Plain), ToHex(plain));
    }
}

TEST(Encryption, WrongPasswordOrDamagedHeaderWritesNothing)
{
    // A seeded salt keeps the verifier fixed, so the 1-in-65536 chance that
    // a wrong password passes it cannot make this test flaky.
    const TBytes cipher = EncryptSeeded(FixedPassword, RandomBytes(100), 7);
    const auto wrong = Decrypt("plokmijnuj", cipher);
    EXPECT_EQ(wrong.Outcome, TStreamOutcome::Refused);
    EXPECT_TRUE(wrong.Plain.empty());
    for (std::size_t at : {0u, 7u, 8u, 9u}) {
        TBytes damaged = cipher;
        damaged[at] ^= 0x01;
        const auto out = Decrypt(FixedPassword, damaged);
        EXPECT_EQ(out.Outcome, TStreamOutcome::Refused) << at;
        EXPECT_TRUE(out.Plain.empty());
    }
}

TEST(Encryption, ShortOrCutStreamsEndWithoutReadingPastTheData)
{
    const TBytes plain = RandomBytes(1000);
    const TBytes cipher = Encrypt(FixedPassword, plain, 64);
    // Shorter than salt, verifier and code together.
    for (std::size_t size : {0u, 1u, 9u, 10u, 19u}) {
        const auto out =
            Decrypt(FixedPassword, TBytes(cipher.begin(), cipher.begin() + static_cast<long>(size)));
        EXPECT_EQ(out.Outcome, TStreamOutcome::Refused) << size;
        EXPECT_TRUE(out.Plain.empty());
    }
    // Cut inside the data: what remains is deciphered, and the code fails.
    const TBytes cut(cipher.begin(), cipher.begin() + 500);
    const auto outCut = Decrypt(FixedPassword, cut, 64);
    EXPECT_EQ(outCut.Outcome, TStreamOutcome::Damaged);
    EXPECT_EQ(outCut.Plain.size(), 480u);
    EXPECT_EQ(ToHex(outCut.Plain), ToHex(TBytes(plain.begin(), plain.begin() + 480)));
    // A size announced larger than the data: the source ends early.
    const auto outLong = Decrypt(FixedPassword, cipher, 64, static_cast<std::int64_t>(cipher.size()) + 5000);
    EXPECT_EQ(outLong.Outcome, TStreamOutcome::Damaged);
    EXPECT_LE(outLong.Plain.size(), plain.size() + 10);
    EXPECT_EQ(ToHex(TBytes(outLong.Plain.begin(), outLong.Plain.begin() + 1000)), ToHex(plain));
}

TEST(Encryption, CheckingWithoutDestination)
{
    const TBytes cipher = Encrypt(FixedPassword, RandomBytes(777));
    TEncryption cipherObject(FixedPassword, 100);
    TMemoryStream intact(cipher);
    EXPECT_TRUE(cipherObject.DecryptStream(intact, nullptr, static_cast<std::int64_t>(cipher.size())));
    EXPECT_EQ(intact.Position(), cipher.size());
    TBytes damaged = cipher;
    damaged[400] ^= 1;
    TMemoryStream broken(damaged);
    EXPECT_FALSE(cipherObject.DecryptStream(broken, nullptr, static_cast<std::int64_t>(damaged.size())));
}

TEST(Encryption, StreamStartsAtTheCurrentPositionAndLeavesTheRest)
{
    const TBytes plain = RandomBytes(90);
    const TBytes cipher = Encrypt(FixedPassword, plain);
    TBytes framed = Bytes("prefix");
    framed.insert(framed.end(), cipher.begin(), cipher.end());
    framed.insert(framed.end(), {'t', 'a', 'i', 'l'});
    TMemoryStream source(framed), dest;
    source.Seek(6);
    TEncryption decryptor(FixedPassword, 32);
    EXPECT_TRUE(decryptor.DecryptStream(source, &dest, static_cast<std::int64_t>(cipher.size())));
    EXPECT_EQ(ToHex(dest.Data()), ToHex(plain));
    EXPECT_EQ(source.Position(), 6 + cipher.size());
}

TEST(Encryption, ReadAndWriteErrorsGiveFalse)
{
    const TBytes plain = RandomBytes(300);
    {
        TEncryption cipher(FixedPassword, 100);
        TProbeStream source(plain);
        source.FailReadAfter = 1;
        TMemoryStream dest;
        EXPECT_FALSE(cipher.EncryptStream(source, dest));
    }
    {
        TEncryption cipher(FixedPassword, 100);
        TMemoryStream source(plain);
        TProbeStream dest;
        dest.FailWrites = true;
        EXPECT_FALSE(cipher.EncryptStream(source, dest));
    }
    const TBytes encrypted = Encrypt(FixedPassword, plain);
    {
        TEncryption cipher(FixedPassword, 100);
        TProbeStream source(encrypted);
        source.FailReadAfter = 3; // salt, verifier, one chunk
        TMemoryStream dest;
        EXPECT_EQ(cipher.DecryptStreamOutcome(source, &dest, static_cast<std::int64_t>(encrypted.size())),
                  TStreamOutcome::Damaged);
    }
    {
        TEncryption cipher(FixedPassword, 100);
        TMemoryStream source(encrypted);
        TProbeStream dest;
        dest.FailWrites = true;
        EXPECT_EQ(cipher.DecryptStreamOutcome(source, &dest, static_cast<std::int64_t>(encrypted.size())),
                  TStreamOutcome::WriteFailed);
    }
}

TEST(Encryption, OneObjectEncryptsAndDecryptsRepeatedly)
{
    TEncryption cipher(FixedPassword, 50);
    for (int round = 0; round < 3; ++round) {
        const TBytes plain = RandomBytes(RandomSize(0, 400));
        TMemoryStream source(plain), encrypted;
        ASSERT_TRUE(cipher.EncryptStream(source, encrypted));
        TMemoryStream reread(encrypted.Data()), plainOut;
        ASSERT_TRUE(
            cipher.DecryptStream(reread, &plainOut, static_cast<std::int64_t>(encrypted.Data().size())));
        EXPECT_EQ(ToHex(plainOut.Data()), ToHex(plain));
    }
}

TEST(Encryption, FileStreamsRoundTripAndReportMissingFiles)
{
    const std::string folder = ::testing::TempDir();
    const std::string plainPath = folder + "tf_plain.bin", cipherPath = folder + "tf_cipher.bin",
                      backPath = folder + "tf_back.bin";
    const TBytes plain = RandomBytes(10000);
    {
        TFileStream out(plainPath, "wb");
        ASSERT_TRUE(out.IsOpen());
        ASSERT_TRUE(out.Write(plain.data(), plain.size()));
        ASSERT_TRUE(out.Close());
    }
    TEncryption cipher(FixedPassword, 4096);
    {
        TFileStream in(plainPath, "rb"), out(cipherPath, "wb");
        ASSERT_TRUE(cipher.EncryptStream(in, out));
    }
    {
        TFileStream in(cipherPath, "rb"), out(backPath, "wb");
        ASSERT_TRUE(cipher.DecryptStream(in, &out, static_cast<std::int64_t>(plain.size() + 20)));
    }
    TFileStream back(backPath, "rb");
    TBytes read(plain.size() + 1);
    EXPECT_EQ(back.Read(read.data(), read.size()), static_cast<std::ptrdiff_t>(plain.size()));
    read.resize(plain.size());
    EXPECT_EQ(ToHex(read), ToHex(plain));

    TFileStream missing(folder + "tf_no_such_file.bin", "rb");
    EXPECT_FALSE(missing.IsOpen());
    std::uint8_t byte;
    EXPECT_EQ(missing.Read(&byte, 1), -1);
    EXPECT_FALSE(missing.Write(&byte, 1));
    for (const auto& path : {plainPath, cipherPath, backPath})
        std::remove(path.c_str());
}
