#pragma once
// HMAC-SHA1 (RFC 2104). The key may be given in pieces before the first
// data; a key longer than one SHA-1 block is replaced by its digest.
#include "crypto/Sha1.h"

#include <cstddef>
#include <cstdint>

// KeyLength counts the key bytes gathered so far; it becomes -1 once the key
// has been folded into the inner hash (at the first data or at the end).
struct THmacSha1Context {
    std::uint8_t KeyBlock[64];
    TSha1Context Sha1;
    std::int32_t KeyLength;
};

void HmacSha1Begin(THmacSha1Context& Context);
// Ignored once data has been fed: the key is fixed by then.
void HmacSha1Key(const std::uint8_t* Key, std::size_t Length, THmacSha1Context& Context);
void HmacSha1Data(const std::uint8_t* Data, std::size_t Length, THmacSha1Context& Context);
// Writes the first MacLength (at most 20) bytes of the code, then wipes the
// context.
void HmacSha1End(std::uint8_t* Mac, std::size_t MacLength, THmacSha1Context& Context);

void HmacSha1(const std::uint8_t* Key, std::size_t KeyLength, const std::uint8_t* Data, std::size_t Length,
              std::uint8_t Mac[20]);
