#include "crypto/SecureMemory.h"

namespace tfcrypto
{

void SecureWipe(void* Data, std::size_t Count)
{
    // Writes through a volatile pointer count as observable behaviour, so
    // they survive dead-store elimination.
    volatile std::uint8_t* p = static_cast<volatile std::uint8_t*>(Data);
    for (std::size_t i = 0; i < Count; ++i)
        p[i] = 0;
}

bool ConstantTimeEqual(const std::uint8_t* A, const std::uint8_t* B, std::size_t Count)
{
    std::uint8_t diff = 0;
    for (std::size_t i = 0; i < Count; ++i)
        diff |= static_cast<std::uint8_t>(A[i] ^ B[i]);
    return diff == 0;
}

} // namespace tfcrypto
