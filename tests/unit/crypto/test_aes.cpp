// AES against the standard's examples and against OpenSSL.
#include "CryptoTestUtil.h"
#include "crypto/AesLib.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

using namespace cryptotest;

namespace
{

const TBytes Plain = FromHex("00112233445566778899aabbccddeeff");

struct TVector {
    std::string Key;
    std::string Cipher;
};

// FIPS-197 Appendix C.1, C.2, C.3.
const TVector Appendix[] = {
    {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "8ea2b7ca516745bfeafc49904b496089"},
};

TBytes OpenSslEcb(const TBytes& Key, const TBytes& In, bool Encrypt)
{
    const EVP_CIPHER* cipher = Key.size() == 16   ? EVP_aes_128_ecb()
                               : Key.size() == 24 ? EVP_aes_192_ecb()
                                                  : EVP_aes_256_ecb();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, Key.data(), nullptr, Encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    TBytes out(In.size() + 16);
    int n = 0;
    EVP_CipherUpdate(ctx, out.data(), &n, In.data(), static_cast<int>(In.size()));
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

} // namespace

TEST(Aes, AppendixVectorsEncryptAndDecryptBack)
{
    for (const auto& v : Appendix) {
        const TBytes key = FromHex(v.Key);
        TAesContext enc, dec;
        ASSERT_EQ(AesEncryptKey(key.data(), static_cast<int>(key.size()), enc), 1);
        EXPECT_EQ(enc.Rounds, key.size() / 4 + 6);
        EXPECT_EQ(enc.BlockAndDirection, 16u | 1u);
        std::uint8_t out[16];
        ASSERT_EQ(AesEncryptBlock(Plain.data(), out, enc), 1);
        EXPECT_EQ(ToHex(out, 16), v.Cipher) << "key " << v.Key;

        ASSERT_EQ(AesDecryptKey(key.data(), static_cast<int>(key.size()), dec), 1);
        EXPECT_EQ(dec.BlockAndDirection, 16u | 2u);
        std::uint8_t back[16];
        ASSERT_EQ(AesDecryptBlock(out, back, dec), 1);
        EXPECT_EQ(ToHex(back, 16), ToHex(Plain)) << "key " << v.Key;
    }
}

TEST(Aes, ScheduleWordsAreBigEndianAsInTheStandard)
{
    // FIPS-197 Appendix A.1: the first and last words of the AES-128 expansion.
    const TBytes key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
    TAesContext ctx;
    ASSERT_EQ(AesEncryptKey(key.data(), 16, ctx), 1);
    EXPECT_EQ(ctx.RoundKeys[0], 0x2b7e1516u);
    EXPECT_EQ(ctx.RoundKeys[4], 0xa0fafe17u);
    EXPECT_EQ(ctx.RoundKeys[43], 0xb6630ca6u);
    // A.3: the last word of the AES-256 expansion.
    const TBytes key256 = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    ASSERT_EQ(AesEncryptKey(key256.data(), 32, ctx), 1);
    EXPECT_EQ(ctx.RoundKeys[59], 0x706c631eu);
}

TEST(Aes, KeyLengthInBitsEqualsLengthInBytes)
{
    for (const auto& [bytes, bits] : {std::pair{16, 128}, std::pair{24, 192}, std::pair{32, 256}}) {
        const TBytes key = RandomBytes(static_cast<std::size_t>(bytes));
        TAesContext a, b;
        ASSERT_EQ(AesEncryptKey(key.data(), bytes, a), 1);
        ASSERT_EQ(AesEncryptKey(key.data(), bits, b), 1);
        EXPECT_EQ(a.Rounds, b.Rounds);
        EXPECT_TRUE(std::equal(a.RoundKeys, a.RoundKeys + 4 * (a.Rounds + 1), b.RoundKeys));
        std::uint8_t ca[16], cb[16];
        AesEncryptBlock(Plain.data(), ca, a);
        AesEncryptBlock(Plain.data(), cb, b);
        EXPECT_EQ(ToHex(ca, 16), ToHex(cb, 16));

        ASSERT_EQ(AesDecryptKey(key.data(), bits, b), 1);
        std::uint8_t back[16];
        ASSERT_EQ(AesDecryptBlock(ca, back, b), 1);
        EXPECT_EQ(ToHex(back, 16), ToHex(Plain));
    }
}

TEST(Aes, RefusedKeyLengthsLeaveContextUnusable)
{
    const TBytes key = RandomBytes(64);
    for (int length : {20, 0, 512, -16, 15, 17, 64, 127, 129}) {
        TAesContext ctx;
        ASSERT_EQ(AesEncryptKey(key.data(), 16, ctx), 1); // a usable context first
        EXPECT_EQ(AesEncryptKey(key.data(), length, ctx), 0) << length;
        EXPECT_EQ(ctx.Rounds, 0u);
        EXPECT_EQ(ctx.BlockAndDirection & 3u, 0u);
        std::uint8_t out[16];
        std::fill(std::begin(out), std::end(out), 0xa5);
        EXPECT_EQ(AesEncryptBlock(Plain.data(), out, ctx), 0);
        EXPECT_EQ(AesDecryptBlock(Plain.data(), out, ctx), 0);
        EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](std::uint8_t b) { return b == 0xa5; }));

        EXPECT_EQ(AesDecryptKey(key.data(), length, ctx), 0) << length;
        EXPECT_EQ(AesDecryptBlock(Plain.data(), out, ctx), 0);
    }
}

TEST(Aes, WrongDirectionIsRefusedAndWritesNothing)
{
    const TBytes key = RandomBytes(32);
    TAesContext enc, dec;
    ASSERT_EQ(AesEncryptKey(key.data(), 32, enc), 1);
    ASSERT_EQ(AesDecryptKey(key.data(), 32, dec), 1);
    std::uint8_t out[16] = {};
    EXPECT_EQ(AesDecryptBlock(Plain.data(), out, enc), 0);
    EXPECT_EQ(AesEncryptBlock(Plain.data(), out, dec), 0);
    EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](std::uint8_t b) { return b == 0; }));
}

TEST(Aes, AgreesWithOpenSslOnRandomKeysAndBlocks)
{
    for (int keyBytes : {16, 24, 32}) {
        for (int round = 0; round < 50; ++round) {
            const TBytes key = RandomBytes(static_cast<std::size_t>(keyBytes));
            const TBytes blocks = RandomBytes(16 * 8);
            const TBytes expected = OpenSslEcb(key, blocks, true);
            TAesContext enc, dec;
            ASSERT_EQ(AesEncryptKey(key.data(), keyBytes, enc), 1);
            ASSERT_EQ(AesDecryptKey(key.data(), keyBytes, dec), 1);
            TBytes ours(blocks.size()), back(blocks.size());
            for (std::size_t i = 0; i < blocks.size(); i += 16) {
                AesEncryptBlock(blocks.data() + i, ours.data() + i, enc);
                AesDecryptBlock(ours.data() + i, back.data() + i, dec);
            }
            ASSERT_EQ(ToHex(ours), ToHex(expected)) << "key " << ToHex(key);
            ASSERT_EQ(ToHex(back), ToHex(blocks));
        }
    }
}

TEST(Aes, InPlaceEqualsOutOfPlace)
{
    const TBytes key = RandomBytes(24);
    TAesContext enc, dec;
    AesEncryptKey(key.data(), 24, enc);
    AesDecryptKey(key.data(), 24, dec);
    std::uint8_t separate[16], block[16];
    std::copy(Plain.begin(), Plain.end(), block);
    AesEncryptBlock(block, separate, enc);
    AesEncryptBlock(block, block, enc);
    EXPECT_EQ(ToHex(block, 16), ToHex(separate, 16));
    AesDecryptBlock(block, block, dec);
    EXPECT_EQ(ToHex(block, 16), ToHex(Plain));
}
