#include "crypto/RandomPool.h"

#include "crypto/SecureMemory.h"
#include "crypto/Sha1.h"

#include <algorithm>
#include <chrono>
#include <cstring>

int ClockEntropy(std::uint8_t* Dest, unsigned Count)
{
    // The monotonic clock counts nanoseconds here, which is what a
    // performance counter would give.
    const std::int64_t ticks =
        static_cast<std::int64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned n = std::min<unsigned>(Count, sizeof ticks);
    std::memcpy(Dest, &ticks, n);
    return static_cast<int>(n);
}

void RandomPoolMix(std::uint8_t Buffer[RandomPoolSize])
{
    for (std::size_t i = 0; i < RandomPoolSize; i += Sha1DigestSize) {
        // Chaining value: the 20 bytes just before i, wrapping for i = 0.
        const std::size_t before = (i == 0 ? RandomPoolSize : i) - Sha1DigestSize;
        std::uint32_t hash[5];
        for (int w = 0; w < 5; ++w) {
            const std::uint8_t* p = Buffer + before + 4 * w;
            hash[w] = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                      (std::uint32_t{p[3]} << 24);
        }
        std::uint8_t block[Sha1BlockSize];
        for (std::size_t j = 0; j < Sha1BlockSize; ++j)
            block[j] = Buffer[(i + j) % RandomPoolSize];
        Sha1Compress(hash, block);
        for (int w = 0; w < 5; ++w)
            for (int b = 0; b < 4; ++b)
                Buffer[i + 4 * w + b] = static_cast<std::uint8_t>(hash[w] >> (8 * b));
        tfcrypto::SecureWipe(block, sizeof block);
        tfcrypto::SecureWipe(hash, sizeof hash);
    }
}

namespace
{

void Refresh(TRandomPool& Pool)
{
    std::memcpy(Pool.Output, Pool.Pool, RandomPoolSize);
    std::size_t filled = 0;
    while (filled < RandomPoolSize) {
        const unsigned want = static_cast<unsigned>(RandomPoolSize - filled);
        int got = Pool.Entropy ? Pool.Entropy(Pool.Pool + filled, want) : 0;
        // A source that delivers nothing (or claims too much) would stall
        // or overrun the pool; the clock takes over for that call.
        if (got <= 0 || static_cast<unsigned>(got) > want)
            got = ClockEntropy(Pool.Pool + filled, want);
        filled += static_cast<std::size_t>(got);
    }
    for (std::size_t i = 0; i < RandomPoolSize; ++i)
        Pool.Pool[i] ^= static_cast<std::uint8_t>(~Pool.Output[i]);
    RandomPoolMix(Pool.Pool);
    RandomPoolMix(Pool.Output);
}

} // namespace

void RandomPoolInit(TRandomPool& Pool, TEntropyFunction Entropy)
{
    std::memset(&Pool, 0, sizeof Pool);
    Pool.Entropy = Entropy;
    Refresh(Pool);
    for (int i = 0; i < 20; ++i)
        RandomPoolMix(Pool.Pool);
    Refresh(Pool);
}

void RandomPoolDraw(TRandomPool& Pool, std::uint8_t* Dest, std::size_t Count)
{
    while (Count > 0) {
        if (Pool.OutputPosition >= RandomPoolSize) {
            Refresh(Pool);
            Pool.OutputPosition = 0;
        }
        const std::size_t take = std::min<std::size_t>(Count, RandomPoolSize - Pool.OutputPosition);
        std::memcpy(Dest, Pool.Output + Pool.OutputPosition, take);
        Pool.OutputPosition += static_cast<std::uint32_t>(take);
        Dest += take;
        Count -= take;
    }
}

void RandomPoolWipe(TRandomPool& Pool)
{
    tfcrypto::SecureWipe(&Pool, sizeof Pool);
}
