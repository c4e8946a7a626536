#include "crypto/Sha1.h"

#include "crypto/SecureMemory.h"

#include <algorithm>
#include <cstring>

namespace
{

inline std::uint32_t RotL(std::uint32_t v, int n)
{
    return (v << n) | (v >> (32 - n));
}

std::size_t BufferedBytes(const TSha1Context& Context)
{
    return Context.ByteCount[0] & (Sha1BlockSize - 1);
}

void AddToCount(TSha1Context& Context, std::size_t Length)
{
    const std::uint64_t total =
        ((std::uint64_t{Context.ByteCount[1]} << 32) | Context.ByteCount[0]) + std::uint64_t{Length};
    Context.ByteCount[0] = static_cast<std::uint32_t>(total);
    Context.ByteCount[1] = static_cast<std::uint32_t>(total >> 32);
}

} // namespace

void Sha1Compress(std::uint32_t Hash[5], const std::uint8_t Block[64])
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t{Block[4 * i]} << 24) | (std::uint32_t{Block[4 * i + 1]} << 16) |
               (std::uint32_t{Block[4 * i + 2]} << 8) | Block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = RotL(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    std::uint32_t a = Hash[0], b = Hash[1], c = Hash[2], d = Hash[3], e = Hash[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5a827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ed9eba1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8f1bbcdc;
        } else {
            f = b ^ c ^ d;
            k = 0xca62c1d6;
        }
        const std::uint32_t t = RotL(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = RotL(b, 30);
        b = a;
        a = t;
    }
    Hash[0] += a;
    Hash[1] += b;
    Hash[2] += c;
    Hash[3] += d;
    Hash[4] += e;
    // The schedule is not wiped here: once per block is a third of the cost
    // of the key derivation's thousands of calls. The contexts that hold
    // secrets are wiped when they end.
}

void Sha1Begin(TSha1Context& Context)
{
    Context.ByteCount[0] = Context.ByteCount[1] = 0;
    Context.Hash[0] = 0x67452301;
    Context.Hash[1] = 0xefcdab89;
    Context.Hash[2] = 0x98badcfe;
    Context.Hash[3] = 0x10325476;
    Context.Hash[4] = 0xc3d2e1f0;
    std::memset(Context.Block, 0, sizeof Context.Block);
}

void Sha1Data(const std::uint8_t* Data, std::size_t Length, TSha1Context& Context)
{
    if (Length == 0)
        return;
    std::size_t used = BufferedBytes(Context);
    AddToCount(Context, Length);
    if (used != 0) {
        const std::size_t take = std::min(Length, Sha1BlockSize - used);
        std::memcpy(Context.Block + used, Data, take);
        Data += take;
        Length -= take;
        used += take;
        if (used < Sha1BlockSize)
            return;
        Sha1Compress(Context.Hash, Context.Block);
    }
    // Whole blocks straight from the caller's memory, no copy.
    for (; Length >= Sha1BlockSize; Data += Sha1BlockSize, Length -= Sha1BlockSize)
        Sha1Compress(Context.Hash, Data);
    if (Length != 0)
        std::memcpy(Context.Block, Data, Length);
}

void Sha1End(std::uint8_t Digest[20], TSha1Context& Context)
{
    const std::uint64_t bits = ((std::uint64_t{Context.ByteCount[1]} << 32) | Context.ByteCount[0]) << 3;
    std::size_t used = BufferedBytes(Context);
    Context.Block[used++] = 0x80;
    if (used > Sha1BlockSize - 8) {
        std::memset(Context.Block + used, 0, Sha1BlockSize - used);
        Sha1Compress(Context.Hash, Context.Block);
        used = 0;
    }
    std::memset(Context.Block + used, 0, Sha1BlockSize - 8 - used);
    for (int i = 0; i < 8; ++i)
        Context.Block[Sha1BlockSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Sha1Compress(Context.Hash, Context.Block);
    for (int i = 0; i < 20; ++i)
        Digest[i] = static_cast<std::uint8_t>(Context.Hash[i / 4] >> (24 - 8 * (i % 4)));
    tfcrypto::SecureWipe(&Context, sizeof Context);
}

void Sha1(const std::uint8_t* Data, std::size_t Length, std::uint8_t Digest[20])
{
    TSha1Context context;
    Sha1Begin(context);
    Sha1Data(Data, Length, context);
    Sha1End(Digest, context);
}
