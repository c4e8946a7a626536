#pragma once
// SHA-1 (FIPS 180) with the usual begin / data / end steps, and the bare
// compression function that the random pool mixes with.
#include <cstddef>
#include <cstdint>

constexpr std::size_t Sha1DigestSize = 20;
constexpr std::size_t Sha1BlockSize = 64;

// ByteCount is the message length so far, low word first.
struct TSha1Context {
    std::uint32_t ByteCount[2];
    std::uint32_t Hash[5];
    std::uint8_t Block[64];
};

void Sha1Begin(TSha1Context& Context);
void Sha1Data(const std::uint8_t* Data, std::size_t Length, TSha1Context& Context);
void Sha1End(std::uint8_t Digest[20], TSha1Context& Context);

// One application of the compression function: Block is read as sixteen
// big-endian words and Hash is updated in place.
void Sha1Compress(std::uint32_t Hash[5], const std::uint8_t Block[64]);

void Sha1(const std::uint8_t* Data, std::size_t Length, std::uint8_t Digest[20]);
