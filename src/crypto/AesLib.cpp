#include "crypto/AesLib.h"

#include "crypto/AesTables.h"

namespace
{

using namespace tfcrypto::aes_tables;

std::uint32_t LoadBigEndian(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

void StoreBigEndian(std::uint32_t w, std::uint8_t* p)
{
    p[0] = static_cast<std::uint8_t>(w >> 24);
    p[1] = static_cast<std::uint8_t>(w >> 16);
    p[2] = static_cast<std::uint8_t>(w >> 8);
    p[3] = static_cast<std::uint8_t>(w);
}

inline std::uint8_t Byte(std::uint32_t w, int n)
{
    return static_cast<std::uint8_t>(w >> (8 * n));
}

// Key words for an accepted length, 0 for a refused one.
int KeyWords(int KeyLength)
{
    switch (KeyLength) {
    case 16:
    case 24:
    case 32:
        return KeyLength / 4;
    case 128:
    case 192:
    case 256:
        return KeyLength / 32;
    default:
        return 0;
    }
}

std::uint32_t SubWord(std::uint32_t w)
{
    return EncLast[0][Byte(w, 3)] | EncLast[1][Byte(w, 2)] | EncLast[2][Byte(w, 1)] | EncLast[3][Byte(w, 0)];
}

// KeyExpansion. Returns the round count, or 0 (with the context marked
// unusable) when the length is refused.
std::uint32_t ExpandKey(const std::uint8_t* Key, int KeyLength, TAesContext& Context)
{
    Context.BlockAndDirection = AesBlockSize;
    const int nk = KeyWords(KeyLength);
    if (nk == 0 || Key == nullptr) {
        Context.Rounds = 0;
        return 0;
    }
    const int rounds = nk + 6;
    const int total = 4 * (rounds + 1);
    std::uint32_t* w = Context.RoundKeys;
    for (int i = 0; i < nk; ++i)
        w[i] = LoadBigEndian(Key + 4 * i);
    for (int i = nk; i < total; ++i) {
        std::uint32_t t = w[i - 1];
        if (i % nk == 0)
            t = SubWord((t << 8) | (t >> 24)) ^ RoundConstants[i / nk - 1];
        else if (nk > 6 && i % nk == 4)
            t = SubWord(t);
        w[i] = w[i - nk] ^ t;
    }
    for (int i = total; i < 64; ++i)
        w[i] = 0;
    Context.Rounds = static_cast<std::uint32_t>(rounds);
    return Context.Rounds;
}

bool Usable(const TAesContext& Context, std::uint32_t Mark)
{
    return (Context.BlockAndDirection & 3) == Mark &&
           (Context.Rounds == 10 || Context.Rounds == 12 || Context.Rounds == 14);
}

struct TState {
    std::uint32_t s0, s1, s2, s3;
};

inline void EncryptRound(TState& s, const std::uint32_t* rk)
{
    const std::uint32_t t0 = EncRound[0][Byte(s.s0, 3)] ^ EncRound[1][Byte(s.s1, 2)] ^
                             EncRound[2][Byte(s.s2, 1)] ^ EncRound[3][Byte(s.s3, 0)];
    const std::uint32_t t1 = EncRound[0][Byte(s.s1, 3)] ^ EncRound[1][Byte(s.s2, 2)] ^
                             EncRound[2][Byte(s.s3, 1)] ^ EncRound[3][Byte(s.s0, 0)];
    const std::uint32_t t2 = EncRound[0][Byte(s.s2, 3)] ^ EncRound[1][Byte(s.s3, 2)] ^
                             EncRound[2][Byte(s.s0, 1)] ^ EncRound[3][Byte(s.s1, 0)];
    const std::uint32_t t3 = EncRound[0][Byte(s.s3, 3)] ^ EncRound[1][Byte(s.s0, 2)] ^
                             EncRound[2][Byte(s.s1, 1)] ^ EncRound[3][Byte(s.s2, 0)];
    s = {t0 ^ rk[0], t1 ^ rk[1], t2 ^ rk[2], t3 ^ rk[3]};
}

inline void EncryptLastRound(TState& s, const std::uint32_t* rk)
{
    const std::uint32_t t0 = EncLast[0][Byte(s.s0, 3)] ^ EncLast[1][Byte(s.s1, 2)] ^
                             EncLast[2][Byte(s.s2, 1)] ^ EncLast[3][Byte(s.s3, 0)];
    const std::uint32_t t1 = EncLast[0][Byte(s.s1, 3)] ^ EncLast[1][Byte(s.s2, 2)] ^
                             EncLast[2][Byte(s.s3, 1)] ^ EncLast[3][Byte(s.s0, 0)];
    const std::uint32_t t2 = EncLast[0][Byte(s.s2, 3)] ^ EncLast[1][Byte(s.s3, 2)] ^
                             EncLast[2][Byte(s.s0, 1)] ^ EncLast[3][Byte(s.s1, 0)];
    const std::uint32_t t3 = EncLast[0][Byte(s.s3, 3)] ^ EncLast[1][Byte(s.s0, 2)] ^
                             EncLast[2][Byte(s.s1, 1)] ^ EncLast[3][Byte(s.s2, 0)];
    s = {t0 ^ rk[0], t1 ^ rk[1], t2 ^ rk[2], t3 ^ rk[3]};
}

// The inverse rounds take their columns in the order of InvShiftRows.
inline void DecryptRound(TState& s, const std::uint32_t* rk)
{
    const std::uint32_t t0 = DecRound[0][Byte(s.s0, 3)] ^ DecRound[1][Byte(s.s3, 2)] ^
                             DecRound[2][Byte(s.s2, 1)] ^ DecRound[3][Byte(s.s1, 0)];
    const std::uint32_t t1 = DecRound[0][Byte(s.s1, 3)] ^ DecRound[1][Byte(s.s0, 2)] ^
                             DecRound[2][Byte(s.s3, 1)] ^ DecRound[3][Byte(s.s2, 0)];
    const std::uint32_t t2 = DecRound[0][Byte(s.s2, 3)] ^ DecRound[1][Byte(s.s1, 2)] ^
                             DecRound[2][Byte(s.s0, 1)] ^ DecRound[3][Byte(s.s3, 0)];
    const std::uint32_t t3 = DecRound[0][Byte(s.s3, 3)] ^ DecRound[1][Byte(s.s2, 2)] ^
                             DecRound[2][Byte(s.s1, 1)] ^ DecRound[3][Byte(s.s0, 0)];
    s = {t0 ^ rk[0], t1 ^ rk[1], t2 ^ rk[2], t3 ^ rk[3]};
}

inline void DecryptLastRound(TState& s, const std::uint32_t* rk)
{
    const std::uint32_t t0 = DecLast[0][Byte(s.s0, 3)] ^ DecLast[1][Byte(s.s3, 2)] ^
                             DecLast[2][Byte(s.s2, 1)] ^ DecLast[3][Byte(s.s1, 0)];
    const std::uint32_t t1 = DecLast[0][Byte(s.s1, 3)] ^ DecLast[1][Byte(s.s0, 2)] ^
                             DecLast[2][Byte(s.s3, 1)] ^ DecLast[3][Byte(s.s2, 0)];
    const std::uint32_t t2 = DecLast[0][Byte(s.s2, 3)] ^ DecLast[1][Byte(s.s1, 2)] ^
                             DecLast[2][Byte(s.s0, 1)] ^ DecLast[3][Byte(s.s3, 0)];
    const std::uint32_t t3 = DecLast[0][Byte(s.s3, 3)] ^ DecLast[1][Byte(s.s2, 2)] ^
                             DecLast[2][Byte(s.s1, 1)] ^ DecLast[3][Byte(s.s0, 0)];
    s = {t0 ^ rk[0], t1 ^ rk[1], t2 ^ rk[2], t3 ^ rk[3]};
}

TState Load(const std::uint8_t* In, const std::uint32_t* rk)
{
    return {LoadBigEndian(In) ^ rk[0], LoadBigEndian(In + 4) ^ rk[1], LoadBigEndian(In + 8) ^ rk[2],
            LoadBigEndian(In + 12) ^ rk[3]};
}

void Store(const TState& s, std::uint8_t* Out)
{
    StoreBigEndian(s.s0, Out);
    StoreBigEndian(s.s1, Out + 4);
    StoreBigEndian(s.s2, Out + 8);
    StoreBigEndian(s.s3, Out + 12);
}

} // namespace

int AesEncryptKey(const std::uint8_t* Key, int KeyLength, TAesContext& Context)
{
    if (ExpandKey(Key, KeyLength, Context) == 0)
        return 0;
    Context.BlockAndDirection = AesBlockSize | AesMarkEncrypt;
    return 1;
}

int AesDecryptKey(const std::uint8_t* Key, int KeyLength, TAesContext& Context)
{
    const std::uint32_t rounds = ExpandKey(Key, KeyLength, Context);
    if (rounds == 0)
        return 0;
    // Equivalent inverse cipher: the middle round keys go through
    // InvMixColumns so that the inverse rounds can use the same table shape.
    std::uint32_t* w = Context.RoundKeys;
    for (std::uint32_t i = 4; i < 4 * rounds; ++i) {
        const std::uint32_t v = w[i];
        w[i] = InvMix[0][Byte(v, 3)] ^ InvMix[1][Byte(v, 2)] ^ InvMix[2][Byte(v, 1)] ^ InvMix[3][Byte(v, 0)];
    }
    Context.BlockAndDirection = AesBlockSize | AesMarkDecrypt;
    return 1;
}

int AesEncryptBlock(const std::uint8_t In[16], std::uint8_t Out[16], const TAesContext& Context)
{
    if (!Usable(Context, AesMarkEncrypt))
        return 0;
    const std::uint32_t* rk = Context.RoundKeys;
    TState s = Load(In, rk);
    // Straight through the rounds: the longer keys add their extra rounds
    // first and then share the ten-round path.
    switch (Context.Rounds) {
    case 14:
        EncryptRound(s, rk + 4);
        EncryptRound(s, rk + 8);
        rk += 8;
        [[fallthrough]];
    case 12:
        EncryptRound(s, rk + 4);
        EncryptRound(s, rk + 8);
        rk += 8;
        [[fallthrough]];
    default:
        EncryptRound(s, rk + 4);
        EncryptRound(s, rk + 8);
        EncryptRound(s, rk + 12);
        EncryptRound(s, rk + 16);
        EncryptRound(s, rk + 20);
        EncryptRound(s, rk + 24);
        EncryptRound(s, rk + 28);
        EncryptRound(s, rk + 32);
        EncryptRound(s, rk + 36);
        EncryptLastRound(s, rk + 40);
    }
    Store(s, Out);
    return 1;
}

int AesDecryptBlock(const std::uint8_t In[16], std::uint8_t Out[16], const TAesContext& Context)
{
    if (!Usable(Context, AesMarkDecrypt))
        return 0;
    // The schedule is used from the last round key back to the first.
    const std::uint32_t* rk = Context.RoundKeys + 4 * Context.Rounds;
    TState s = Load(In, rk);
    switch (Context.Rounds) {
    case 14:
        DecryptRound(s, rk - 4);
        DecryptRound(s, rk - 8);
        rk -= 8;
        [[fallthrough]];
    case 12:
        DecryptRound(s, rk - 4);
        DecryptRound(s, rk - 8);
        rk -= 8;
        [[fallthrough]];
    default:
        DecryptRound(s, rk - 4);
        DecryptRound(s, rk - 8);
        DecryptRound(s, rk - 12);
        DecryptRound(s, rk - 16);
        DecryptRound(s, rk - 20);
        DecryptRound(s, rk - 24);
        DecryptRound(s, rk - 28);
        DecryptRound(s, rk - 32);
        DecryptRound(s, rk - 36);
        DecryptLastRound(s, rk - 40);
    }
    Store(s, Out);
    return 1;
}
