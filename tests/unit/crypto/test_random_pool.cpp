// The salt generator: its stirring against an independent SHA-1 compression,
// and its drawing and refilling rules.
#include "CryptoTestUtil.h"
#include "crypto/RandomPool.h"

#include <gtest/gtest.h>

#define OPENSSL_SUPPRESS_DEPRECATED
#include <bit>
#include <cstring>
#include <openssl/sha.h>

using namespace cryptotest;

namespace
{

// Mixing written out again on OpenSSL's compression function.
void ReferenceMix(std::uint8_t* Buffer)
{
    for (std::size_t i = 0; i < 260; i += 20) {
        const std::size_t before = i == 0 ? 240 : i - 20;
        SHA_CTX ctx;
        SHA_LONG* h[5] = {&ctx.h0, &ctx.h1, &ctx.h2, &ctx.h3, &ctx.h4};
        for (int w = 0; w < 5; ++w) {
            std::uint32_t v;
            std::memcpy(&v, Buffer + before + 4 * w, 4); // little-endian host
            *h[w] = v;
        }
        std::uint8_t block[64];
        for (std::size_t j = 0; j < 64; ++j)
            block[j] = Buffer[(i + j) % 260];
        SHA1_Transform(&ctx, block);
        for (int w = 0; w < 5; ++w) {
            const std::uint32_t v = *h[w];
            std::memcpy(Buffer + i + 4 * w, &v, 4);
        }
    }
}

// A byte sequence handed out in steps of at most Step bytes.
std::uint32_t SequenceIndex = 0;
int SequenceUpTo(std::uint8_t* Dest, unsigned Count, unsigned Step)
{
    const unsigned n = std::min(Count, Step);
    for (unsigned i = 0; i < n; ++i)
        Dest[i] = static_cast<std::uint8_t>(SequenceIndex++ * 131 + 7);
    return static_cast<int>(n);
}
int SequenceBy8(std::uint8_t* Dest, unsigned Count)
{
    return SequenceUpTo(Dest, Count, 8);
}
int SequenceBy1(std::uint8_t* Dest, unsigned Count)
{
    return SequenceUpTo(Dest, Count, 1);
}
int SequenceBy260(std::uint8_t* Dest, unsigned Count)
{
    return SequenceUpTo(Dest, Count, 260);
}
int Silent(std::uint8_t*, unsigned)
{
    return 0;
}

TBytes Draw(TRandomPool& Pool, std::size_t Count)
{
    TBytes out(Count);
    RandomPoolDraw(Pool, out.data(), out.size());
    return out;
}

// Refills read the source again, so each pool gets the sequence from its
// start and is drawn from before the next one is set up.
TBytes InitAndDraw(TEntropyFunction Source, std::uint32_t FirstIndex, std::size_t Count)
{
    TRandomPool pool;
    SequenceIndex = FirstIndex;
    RandomPoolInit(pool, Source);
    return Draw(pool, Count);
}

// The whole generator written out again: initialise, then draw Count bytes,
// refreshing from the same byte sequence whenever the output runs out.
TBytes ReferenceDraw(std::uint32_t FirstIndex, std::size_t Count)
{
    std::uint32_t index = FirstIndex;
    TBytes pool(260, 0), output(260, 0);
    auto refresh = [&] {
        output = pool;
        for (auto& b : pool)
            b = static_cast<std::uint8_t>(index++ * 131 + 7);
        for (std::size_t i = 0; i < 260; ++i)
            pool[i] ^= static_cast<std::uint8_t>(~output[i]);
        ReferenceMix(pool.data());
        ReferenceMix(output.data());
    };
    refresh();
    for (int i = 0; i < 20; ++i)
        ReferenceMix(pool.data());
    refresh();
    TBytes drawn;
    std::size_t position = 0;
    while (drawn.size() < Count) {
        if (position == 260) {
            refresh();
            position = 0;
        }
        drawn.push_back(output[position++]);
    }
    return drawn;
}

} // namespace

TEST(RandomPool, MixMatchesAnIndependentCompression)
{
    static_assert(std::endian::native == std::endian::little, "reference mix assumes a little-endian host");
    for (int round = 0; round < 5; ++round) {
        const TBytes start = RandomBytes(260);
        TBytes ours = start, reference = start;
        RandomPoolMix(ours.data());
        ReferenceMix(reference.data());
        ASSERT_EQ(ToHex(ours), ToHex(reference));
        EXPECT_NE(ToHex(ours), ToHex(start));
    }
}

TEST(RandomPool, SameEntropyGivesSameBytesHoweverItIsDelivered)
{
    // 700 bytes cross two refills.
    const TBytes fromA = InitAndDraw(SequenceBy8, 0, 700);
    EXPECT_EQ(ToHex(InitAndDraw(SequenceBy1, 0, 700)), ToHex(fromA));
    EXPECT_EQ(ToHex(InitAndDraw(SequenceBy260, 0, 700)), ToHex(fromA));
}

TEST(RandomPool, OutputMatchesAnIndependentGenerator)
{
    for (std::uint32_t first : {0u, 99u})
        EXPECT_EQ(ToHex(InitAndDraw(SequenceBy8, first, 800)), ToHex(ReferenceDraw(first, 800))) << first;
}

TEST(RandomPool, DrawingInPiecesEqualsDrawingAtOnce)
{
    const TBytes all = InitAndDraw(SequenceBy8, 0, 900);
    TRandomPool pieces;
    SequenceIndex = 0;
    RandomPoolInit(pieces, SequenceBy8);
    TBytes joined;
    for (std::size_t n : {1u, 259u, 0u, 7u, 333u, 300u}) {
        const TBytes part = Draw(pieces, n);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(ToHex(joined), ToHex(all));
}

TEST(RandomPool, DifferentEntropyGivesDifferentBytes)
{
    EXPECT_NE(ToHex(InitAndDraw(SequenceBy8, 0, 16)), ToHex(InitAndDraw(SequenceBy8, 1, 16)));
}

TEST(RandomPool, ClockSourceGivesFreshSaltsAndASilentSourceDoesNotStall)
{
    TRandomPool a, b;
    RandomPoolInit(a);
    RandomPoolInit(b);
    EXPECT_NE(ToHex(Draw(a, 16)), ToHex(Draw(b, 16)));
    TRandomPool silent;
    RandomPoolInit(silent, Silent);
    EXPECT_EQ(Draw(silent, 600).size(), 600u);

    std::uint8_t eight[8] = {};
    EXPECT_EQ(ClockEntropy(eight, 100), 8);
    EXPECT_EQ(ClockEntropy(eight, 3), 3);
}

TEST(RandomPool, WipeLeavesOnlyZeros)
{
    TRandomPool pool;
    RandomPoolInit(pool);
    Draw(pool, 10);
    RandomPoolWipe(pool);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&pool);
    EXPECT_TRUE(std::all_of(raw, raw + sizeof pool, [](std::uint8_t v) { return v == 0; }));
}
