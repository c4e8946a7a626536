#pragma once
// The constant tables of the AES rounds. They are derived from the S-box by
// constexpr functions, so the compiler evaluates them and the program carries
// them as read-only data; nothing is computed when the program runs.
//
// Words are big-endian: byte 0 of a column is the most significant byte.
#include <array>
#include <cstdint>

namespace tfcrypto::aes_tables
{

using TWordTable = std::array<std::uint32_t, 256>;
using TRoundTables = std::array<TWordTable, 4>;

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr std::uint8_t XTime(std::uint8_t a)
{
    return static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1b : 0x00));
}

constexpr std::uint8_t GfMul(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t product = 0;
    while (b != 0) {
        if (b & 1)
            product ^= a;
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t RotL8(std::uint8_t v, int n)
{
    return static_cast<std::uint8_t>((v << n) | (v >> (8 - n)));
}

// The multiplicative inverse in GF(2^8): a^254, since a^255 = 1 for every
// a other than 0 (which maps to 0 by the same formula). Square and multiply
// keeps the compile-time work small enough for every compiler's constexpr
// step limit.
constexpr std::uint8_t GfInverse(std::uint8_t a)
{
    std::uint8_t result = 1;
    std::uint8_t square = a;
    for (int e = 254; e != 0; e >>= 1) {
        if (e & 1)
            result = GfMul(result, square);
        square = GfMul(square, square);
    }
    return result;
}

// SubBytes: the multiplicative inverse followed by the affine map of the
// standard.
constexpr std::array<std::uint8_t, 256> MakeSBox()
{
    std::array<std::uint8_t, 256> box{};
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t inverse = GfInverse(static_cast<std::uint8_t>(x));
        box[x] = static_cast<std::uint8_t>(inverse ^ RotL8(inverse, 1) ^ RotL8(inverse, 2) ^
                                           RotL8(inverse, 3) ^ RotL8(inverse, 4) ^ 0x63);
    }
    return box;
}

inline constexpr std::array<std::uint8_t, 256> SBox = MakeSBox();

constexpr std::array<std::uint8_t, 256> MakeInvSBox()
{
    std::array<std::uint8_t, 256> box{};
    for (int x = 0; x < 256; ++x)
        box[SBox[x]] = static_cast<std::uint8_t>(x);
    return box;
}

inline constexpr std::array<std::uint8_t, 256> InvSBox = MakeInvSBox();

constexpr std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3)
{
    return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) | b3;
}

constexpr std::uint32_t RotR32(std::uint32_t v, int n)
{
    return n == 0 ? v : (v >> n) | (v << (32 - n));
}

// Table k serves the input byte that lands in row k of the column; it is
// table 0 rotated right by 8k bits.
template <typename TColumn> constexpr TRoundTables MakeRotated(TColumn column)
{
    TRoundTables tables{};
    for (int x = 0; x < 256; ++x) {
        const std::uint32_t w = column(static_cast<std::uint8_t>(x));
        for (int k = 0; k < 4; ++k)
            tables[k][x] = RotR32(w, 8 * k);
    }
    return tables;
}

// SubBytes and MixColumns in one lookup: the column (2s, s, s, 3s).
inline constexpr TRoundTables EncRound = MakeRotated([](std::uint8_t x) {
    const std::uint8_t s = SBox[x];
    return Word(GfMul(s, 2), s, s, GfMul(s, 3));
});

// Last round: S-box value alone, placed in byte position k.
inline constexpr TRoundTables EncLast = MakeRotated([](std::uint8_t x) { return Word(SBox[x], 0, 0, 0); });

// InvSubBytes and InvMixColumns: the column (14s, 9s, 13s, 11s).
inline constexpr TRoundTables DecRound = MakeRotated([](std::uint8_t x) {
    const std::uint8_t s = InvSBox[x];
    return Word(GfMul(s, 14), GfMul(s, 9), GfMul(s, 13), GfMul(s, 11));
});

inline constexpr TRoundTables DecLast = MakeRotated([](std::uint8_t x) { return Word(InvSBox[x], 0, 0, 0); });

// InvMixColumns alone, for turning encryption round keys into those of the
// equivalent inverse cipher.
inline constexpr TRoundTables InvMix =
    MakeRotated([](std::uint8_t x) { return Word(GfMul(x, 14), GfMul(x, 9), GfMul(x, 13), GfMul(x, 11)); });

inline constexpr std::array<std::uint32_t, 10> RoundConstants = {
    0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000,
    0x20000000, 0x40000000, 0x80000000, 0x1b000000, 0x36000000,
};

static_assert(SBox[0x00] == 0x63 && SBox[0x53] == 0xed && SBox[0xff] == 0x16);
static_assert(InvSBox[0x63] == 0x00);
static_assert(EncRound[0][0] == 0xc66363a5);

} // namespace tfcrypto::aes_tables
