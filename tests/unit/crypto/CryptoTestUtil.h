#pragma once
// Small helpers shared by the cipher tests: hex text, repeatable random
// bytes, and OpenSSL as the independent second opinion.
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace cryptotest
{

using TBytes = std::vector<std::uint8_t>;

inline TBytes FromHex(const std::string& Hex)
{
    if (Hex.size() % 2 != 0)
        throw std::invalid_argument("odd hex length");
    TBytes out;
    for (std::size_t i = 0; i < Hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(Hex.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string ToHex(const std::uint8_t* Data, std::size_t Length)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < Length; ++i) {
        out += digits[Data[i] >> 4];
        out += digits[Data[i] & 15];
    }
    return out;
}

inline std::string ToHex(const TBytes& Data)
{
    return ToHex(Data.data(), Data.size());
}

inline TBytes Bytes(const std::string& Text)
{
    return TBytes(Text.begin(), Text.end());
}

// A fixed seed so that a failure can be reproduced.
inline std::mt19937& Rng()
{
    static std::mt19937 rng(20240611u);
    return rng;
}

inline TBytes RandomBytes(std::size_t Count)
{
    std::uniform_int_distribution<int> byte(0, 255);
    TBytes out(Count);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(byte(Rng()));
    return out;
}

inline std::size_t RandomSize(std::size_t Low, std::size_t High)
{
    return std::uniform_int_distribution<std::size_t>(Low, High)(Rng());
}

} // namespace cryptotest
