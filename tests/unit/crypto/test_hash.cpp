// SHA-1, HMAC-SHA1 and PBKDF2 against the published vectors and OpenSSL.
#include "CryptoTestUtil.h"
#include "crypto/HmacSha1.h"
#include "crypto/Pbkdf2.h"
#include "crypto/Sha1.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

using namespace cryptotest;

namespace
{

std::string OurSha1(const TBytes& Data)
{
    std::uint8_t d[20];
    Sha1(Data.data(), Data.size(), d);
    return ToHex(d, 20);
}

std::string OurHmac(const TBytes& Key, const TBytes& Data)
{
    std::uint8_t mac[20];
    HmacSha1(Key.data(), Key.size(), Data.data(), Data.size(), mac);
    return ToHex(mac, 20);
}

std::string OurPbkdf2(const TBytes& Password, const TBytes& Salt, std::uint32_t Iterations,
                      std::size_t Length)
{
    TBytes out(Length);
    DeriveKey(Password.data(), Password.size(), Salt.data(), Salt.size(), Iterations, out.data(), out.size());
    return ToHex(out);
}

// Feeds Data in random pieces, empty ones included.
template <typename TFeed> void FeedInPieces(const TBytes& Data, TFeed Feed)
{
    std::size_t at = 0;
    while (at < Data.size()) {
        const std::size_t n = std::min(Data.size() - at, RandomSize(0, 150));
        Feed(Data.data() + at, n);
        at += n;
    }
}

} // namespace

TEST(Sha1, StandardVectors)
{
    EXPECT_EQ(OurSha1(Bytes("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(OurSha1(Bytes("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(OurSha1(Bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(OurSha1(TBytes(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, PaddingBoundariesAgreeWithOpenSsl)
{
    // 55, 56 and 64 bytes are where the length field moves to an extra block.
    for (std::size_t length : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
        const TBytes data = RandomBytes(length);
        std::uint8_t expected[20];
        SHA1(data.data(), data.size(), expected);
        EXPECT_EQ(OurSha1(data), ToHex(expected, 20)) << length;
    }
}

TEST(Sha1, ChunkedEqualsOneShotOnRandomInputs)
{
    for (int round = 0; round < 40; ++round) {
        const TBytes data = RandomBytes(RandomSize(0, 2000));
        TSha1Context ctx;
        Sha1Begin(ctx);
        FeedInPieces(data, [&](const std::uint8_t* p, std::size_t n) { Sha1Data(p, n, ctx); });
        std::uint8_t chunked[20], expected[20];
        Sha1End(chunked, ctx);
        SHA1(data.data(), data.size(), expected);
        ASSERT_EQ(ToHex(chunked, 20), ToHex(expected, 20)) << data.size();
    }
}

TEST(HmacSha1, Rfc2202Vectors)
{
    EXPECT_EQ(OurHmac(TBytes(20, 0x0b), Bytes("Hi There")), "b617318655057264e28bc0b6fb378c8ef146be00");
    EXPECT_EQ(OurHmac(Bytes("Jefe"), Bytes("what do ya want for nothing?")),
              "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
    EXPECT_EQ(OurHmac(TBytes(20, 0xaa), TBytes(50, 0xdd)), "125d7342b9ac11cd91a39af48aa17b4f63f175d3");
    EXPECT_EQ(OurHmac(FromHex("0102030405060708090a0b0c0d0e0f10111213141516171819"), TBytes(50, 0xcd)),
              "4c9007f4026250c6bc8414f9bf50c86c2d7235da");
    EXPECT_EQ(OurHmac(TBytes(20, 0x0c), Bytes("Test With Truncation")),
              "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04");
    EXPECT_EQ(OurHmac(TBytes(80, 0xaa), Bytes("Test Using Larger Than Block-Size Key - Hash Key First")),
              "aa4ae5e15272d00e95705637ce8a3b55ed402112");
    EXPECT_EQ(OurHmac(TBytes(80, 0xaa),
                      Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data")),
              "e8e99d0f45237d786d6bbaa7965c7808bbff1a91");
}

TEST(HmacSha1, KeyAndDataInPiecesAgreeWithOpenSsl)
{
    // Key lengths around the 64-byte block, where a key starts being hashed.
    for (int round = 0; round < 60; ++round) {
        const TBytes key = RandomBytes(round < 30 ? RandomSize(60, 70) : RandomSize(0, 200));
        const TBytes data = RandomBytes(RandomSize(0, 700));
        THmacSha1Context ctx;
        HmacSha1Begin(ctx);
        FeedInPieces(key, [&](const std::uint8_t* p, std::size_t n) { HmacSha1Key(p, n, ctx); });
        FeedInPieces(data, [&](const std::uint8_t* p, std::size_t n) { HmacSha1Data(p, n, ctx); });
        std::uint8_t ours[20];
        HmacSha1End(ours, 20, ctx);
        unsigned int len = 0;
        std::uint8_t expected[20];
        HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), expected, &len);
        ASSERT_EQ(ToHex(ours, 20), ToHex(expected, 20)) << "key " << key.size() << " data " << data.size();
    }
}

TEST(HmacSha1, TruncatedCodeIsThePrefixAndKeyIsFixedOnceDataStarts)
{
    const TBytes key = RandomBytes(16), data = RandomBytes(100);
    THmacSha1Context ctx;
    HmacSha1Begin(ctx);
    HmacSha1Key(key.data(), key.size(), ctx);
    HmacSha1Data(data.data(), 50, ctx);
    HmacSha1Key(data.data(), 10, ctx); // too late: must not change the key
    HmacSha1Data(data.data() + 50, 50, ctx);
    EXPECT_EQ(ctx.KeyLength, -1);
    std::uint8_t mac[20] = {};
    HmacSha1End(mac, 10, ctx);
    const std::string full = OurHmac(key, data);
    EXPECT_EQ(ToHex(mac, 10), full.substr(0, 20));
    EXPECT_EQ(ToHex(mac + 10, 10), std::string(20, '0'));
}

TEST(Pbkdf2, Rfc6070Vectors)
{
    EXPECT_EQ(OurPbkdf2(Bytes("password"), Bytes("salt"), 1, 20), "0c60c80f961f0e71f3a9b524af6012062fe037a6");
    EXPECT_EQ(OurPbkdf2(Bytes("password"), Bytes("salt"), 2, 20), "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    EXPECT_EQ(OurPbkdf2(Bytes("password"), Bytes("salt"), 4096, 20),
              "4b007901b765489abead49d926f721d065a429c1");
    EXPECT_EQ(
        OurPbkdf2(Bytes("passwordPASSWORDpassword"), Bytes("saltSALTsaltSALTsaltSALTsaltSALTsalt"), 4096, 25),
        "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    EXPECT_EQ(
        OurPbkdf2(TBytes{'p', 'a', 's', 's', 0, 'w', 'o', 'r', 'd'}, TBytes{'s', 'a', 0, 'l', 't'}, 4096, 16),
        "56fa6aa75548099dcc37d7f03425e0c3");
}

TEST(Pbkdf2, AgreesWithOpenSslOnTheLengthsTheStreamUses)
{
    // 34, 50 and 66 bytes: two, three and four blocks cut to length.
    for (std::size_t length : {34u, 50u, 66u, 1u, 20u, 21u, 100u}) {
        const TBytes password = RandomBytes(RandomSize(0, 130));
        const TBytes salt = RandomBytes(RandomSize(0, 16));
        TBytes expected(length);
        PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(password.data()),
                               static_cast<int>(password.size()), salt.data(), static_cast<int>(salt.size()),
                               1000, static_cast<int>(length), expected.data());
        EXPECT_EQ(OurPbkdf2(password, salt, 1000, length), ToHex(expected)) << length;
    }
}
