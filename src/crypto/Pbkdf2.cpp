#include "crypto/Pbkdf2.h"

#include "crypto/HmacSha1.h"
#include "crypto/SecureMemory.h"

#include <algorithm>
#include <cstring>

void DeriveKey(const std::uint8_t* Password, std::size_t PasswordLength, const std::uint8_t* Salt,
               std::size_t SaltLength, std::uint32_t Iterations, std::uint8_t* Output,
               std::size_t OutputLength)
{
    Iterations = std::max<std::uint32_t>(Iterations, 1);
    // The keyed context is built once; every HMAC below starts from a copy,
    // so the password is folded into the inner pad only once.
    THmacSha1Context keyed;
    HmacSha1Begin(keyed);
    HmacSha1Key(Password, PasswordLength, keyed);
    HmacSha1Data(nullptr, 0, keyed);

    std::uint8_t u[Sha1DigestSize];
    std::uint8_t t[Sha1DigestSize];
    for (std::uint32_t block = 1; OutputLength > 0; ++block) {
        const std::uint8_t index[4] = {
            static_cast<std::uint8_t>(block >> 24), static_cast<std::uint8_t>(block >> 16),
            static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
        THmacSha1Context hmac = keyed;
        HmacSha1Data(Salt, SaltLength, hmac);
        HmacSha1Data(index, sizeof index, hmac);
        HmacSha1End(u, sizeof u, hmac);
        std::memcpy(t, u, sizeof t);
        for (std::uint32_t i = 1; i < Iterations; ++i) {
            hmac = keyed;
            HmacSha1Data(u, sizeof u, hmac);
            HmacSha1End(u, sizeof u, hmac);
            for (std::size_t j = 0; j < sizeof t; ++j)
                t[j] ^= u[j];
        }
        const std::size_t take = std::min(OutputLength, sizeof t);
        std::memcpy(Output, t, take);
        Output += take;
        OutputLength -= take;
    }
    tfcrypto::SecureWipe(&keyed, sizeof keyed);
    tfcrypto::SecureWipe(u, sizeof u);
    tfcrypto::SecureWipe(t, sizeof t);
}
