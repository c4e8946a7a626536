#include "crypto/HmacSha1.h"

#include "crypto/SecureMemory.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr std::uint8_t InnerPad = 0x36;
constexpr std::uint8_t OuterPad = 0x5c;
constexpr std::int32_t KeyFolded = -1;

void XorPad(std::uint8_t Block[64], std::uint8_t Pad)
{
    for (std::size_t i = 0; i < Sha1BlockSize; ++i)
        Block[i] ^= Pad;
}

// Ends key gathering: shortens a long key to its digest and starts the inner
// hash with key XOR ipad.
void FoldKey(THmacSha1Context& Context)
{
    if (Context.KeyLength == KeyFolded)
        return;
    if (Context.KeyLength > static_cast<std::int32_t>(Sha1BlockSize)) {
        std::uint8_t digest[Sha1DigestSize];
        Sha1End(digest, Context.Sha1);
        std::memset(Context.KeyBlock, 0, sizeof Context.KeyBlock);
        std::memcpy(Context.KeyBlock, digest, sizeof digest);
        tfcrypto::SecureWipe(digest, sizeof digest);
    }
    XorPad(Context.KeyBlock, InnerPad);
    Sha1Begin(Context.Sha1);
    Sha1Data(Context.KeyBlock, Sha1BlockSize, Context.Sha1);
    Context.KeyLength = KeyFolded;
}

} // namespace

void HmacSha1Begin(THmacSha1Context& Context)
{
    std::memset(Context.KeyBlock, 0, sizeof Context.KeyBlock);
    Sha1Begin(Context.Sha1);
    Context.KeyLength = 0;
}

void HmacSha1Key(const std::uint8_t* Key, std::size_t Length, THmacSha1Context& Context)
{
    if (Context.KeyLength == KeyFolded || Length == 0)
        return;
    const std::size_t have = static_cast<std::size_t>(Context.KeyLength);
    if (have + Length > Sha1BlockSize) {
        // Too long for the block: from here on the key is hashed instead.
        if (have <= Sha1BlockSize) {
            Sha1Begin(Context.Sha1);
            Sha1Data(Context.KeyBlock, have, Context.Sha1);
        }
        Sha1Data(Key, Length, Context.Sha1);
    } else {
        std::memcpy(Context.KeyBlock + have, Key, Length);
    }
    const std::size_t total = std::min<std::size_t>(have + Length, 0x7fffffff);
    Context.KeyLength = static_cast<std::int32_t>(total);
}

void HmacSha1Data(const std::uint8_t* Data, std::size_t Length, THmacSha1Context& Context)
{
    FoldKey(Context);
    Sha1Data(Data, Length, Context.Sha1);
}

void HmacSha1End(std::uint8_t* Mac, std::size_t MacLength, THmacSha1Context& Context)
{
    FoldKey(Context);
    std::uint8_t inner[Sha1DigestSize];
    Sha1End(inner, Context.Sha1);
    // KeyBlock holds key XOR ipad; turn it into key XOR opad.
    XorPad(Context.KeyBlock, InnerPad ^ OuterPad);
    Sha1Begin(Context.Sha1);
    Sha1Data(Context.KeyBlock, Sha1BlockSize, Context.Sha1);
    Sha1Data(inner, sizeof inner, Context.Sha1);
    std::uint8_t mac[Sha1DigestSize];
    Sha1End(mac, Context.Sha1);
    std::memcpy(Mac, mac, std::min(MacLength, Sha1DigestSize));
    tfcrypto::SecureWipe(inner, sizeof inner);
    tfcrypto::SecureWipe(mac, sizeof mac);
    tfcrypto::SecureWipe(&Context, sizeof Context);
}

void HmacSha1(const std::uint8_t* Key, std::size_t KeyLength, const std::uint8_t* Data, std::size_t Length,
              std::uint8_t Mac[20])
{
    THmacSha1Context context;
    HmacSha1Begin(context);
    HmacSha1Key(Key, KeyLength, context);
    HmacSha1Data(Data, Length, context);
    HmacSha1End(Mac, Sha1DigestSize, context);
}
