#pragma once
// PBKDF2 (RFC 2898) with HMAC-SHA1 as the pseudo-random function.
#include <cstddef>
#include <cstdint>

// Fills Output with OutputLength bytes derived from the password and salt.
// Iterations below 1 count as 1.
void DeriveKey(const std::uint8_t* Password, std::size_t PasswordLength, const std::uint8_t* Salt,
               std::size_t SaltLength, std::uint32_t Iterations, std::uint8_t* Output,
               std::size_t OutputLength);
