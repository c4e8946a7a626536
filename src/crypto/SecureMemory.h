#pragma once
// Wiping secrets and comparing authentication codes without leaking, through
// timing, where the first difference lies.
#include <cstddef>
#include <cstdint>

namespace tfcrypto
{

// Overwrites Count bytes with zeros in a way the optimiser may not drop,
// even when the memory is never read again.
void SecureWipe(void* Data, std::size_t Count);

// True when the two byte ranges are equal. The time taken depends on Count
// only, never on the contents.
bool ConstantTimeEqual(const std::uint8_t* A, const std::uint8_t* B, std::size_t Count);

} // namespace tfcrypto
