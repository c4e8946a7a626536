#include "crypto/StreamCipher.h"

#include "crypto/Pbkdf2.h"
#include "crypto/SecureMemory.h"

#include <cstring>

namespace
{

// The first 8 bytes of the counter block are one little-endian number; the
// other 8 stay zero.
void NextCounter(std::uint8_t Counter[16])
{
    for (int i = 0; i < 8; ++i)
        if (++Counter[i] != 0)
            break;
}

void NextKeystreamBlock(TStreamCipherState& State)
{
    NextCounter(State.Counter);
    AesEncryptBlock(State.Counter, State.Keystream, State.Aes);
    State.KeystreamPosition = 0;
}

void ApplyKeystream(std::uint8_t* Data, std::size_t Length, TStreamCipherState& State)
{
    std::size_t i = 0;
    // Finish a keystream block left over from the previous call...
    while (i < Length && State.KeystreamPosition < AesBlockSize)
        Data[i++] ^= State.Keystream[State.KeystreamPosition++];
    // ...then whole blocks, then the start of a new one. Byte for byte the
    // same as the plain per-byte rule, only with fewer position checks.
    while (Length - i >= AesBlockSize) {
        NextKeystreamBlock(State);
        for (std::size_t j = 0; j < AesBlockSize; ++j)
            Data[i + j] ^= State.Keystream[j];
        i += AesBlockSize;
        State.KeystreamPosition = AesBlockSize;
    }
    if (i < Length) {
        NextKeystreamBlock(State);
        while (i < Length)
            Data[i++] ^= State.Keystream[State.KeystreamPosition++];
    }
}

TStreamKeyDerivation KeyDerivation = DeriveKey;

} // namespace

void SetStreamKeyDerivation(TStreamKeyDerivation Derive)
{
    KeyDerivation = Derive != nullptr ? Derive : DeriveKey;
}

int StreamCipherInit(int KeyMode, const std::uint8_t* Password, std::size_t PasswordLength,
                     const std::uint8_t* Salt, std::uint8_t Verifier[2], TStreamCipherState& State)
{
    if (PasswordLength > StreamMaxPassword)
        return StreamErrorPasswordTooLong;
    if (KeyMode < 1 || KeyMode > 3)
        return StreamErrorBadKeyMode;

    State.KeyMode = KeyMode;
    State.PasswordLength = static_cast<std::uint32_t>(PasswordLength);
    const std::size_t keyLength = StreamKeyLength(KeyMode);
    // AES key, HMAC key, verifier, in that order.
    std::uint8_t material[2 * 32 + StreamVerifierSize];
    const std::size_t materialLength = 2 * keyLength + StreamVerifierSize;
    KeyDerivation(Password, PasswordLength, Salt, StreamSaltLength(KeyMode), StreamKeyIterations, material,
                  materialLength);

    State.KeystreamPosition = AesBlockSize;
    std::memset(State.Counter, 0, sizeof State.Counter);
    std::memset(State.Keystream, 0, sizeof State.Keystream);
    AesEncryptKey(material, static_cast<int>(keyLength), State.Aes);
    HmacSha1Begin(State.Hmac);
    HmacSha1Key(material + keyLength, keyLength, State.Hmac);
    std::memcpy(Verifier, material + 2 * keyLength, StreamVerifierSize);
    tfcrypto::SecureWipe(material, sizeof material);
    return 0;
}

void StreamCipherEncrypt(std::uint8_t* Data, std::size_t Length, TStreamCipherState& State)
{
    ApplyKeystream(Data, Length, State);
    HmacSha1Data(Data, Length, State.Hmac);
}

void StreamCipherDecrypt(std::uint8_t* Data, std::size_t Length, TStreamCipherState& State)
{
    HmacSha1Data(Data, Length, State.Hmac);
    ApplyKeystream(Data, Length, State);
}

int StreamCipherFinish(std::uint8_t Mac[10], TStreamCipherState& State)
{
    HmacSha1End(Mac, StreamMacSize, State.Hmac);
    tfcrypto::SecureWipe(&State, sizeof State);
    return static_cast<int>(StreamMacSize);
}
