#pragma once
// The salt generator: a 260-byte pool stirred with the SHA-1 compression
// function and refreshed from a clock. Salts must be fresh, not secret, so a
// high-resolution clock read many times is entropy enough.
#include <cstddef>
#include <cstdint>

constexpr std::size_t RandomPoolSize = 260; // thirteen SHA-1 digests

// Given a destination and a maximum count, returns how many bytes it wrote.
using TEntropyFunction = int (*)(std::uint8_t* Dest, unsigned Count);

struct TRandomPool {
    std::uint8_t Pool[RandomPoolSize];
    std::uint8_t Output[RandomPoolSize];
    std::uint32_t OutputPosition;
    TEntropyFunction Entropy;
};

// The 8 bytes of the monotonic high-resolution clock, in memory order (at
// most Count of them).
int ClockEntropy(std::uint8_t* Dest, unsigned Count);

void RandomPoolInit(TRandomPool& Pool, TEntropyFunction Entropy = ClockEntropy);
void RandomPoolDraw(TRandomPool& Pool, std::uint8_t* Dest, std::size_t Count);
void RandomPoolWipe(TRandomPool& Pool);

// Exposed for testing: one stirring pass over a 260-byte buffer.
void RandomPoolMix(std::uint8_t Buffer[RandomPoolSize]);
