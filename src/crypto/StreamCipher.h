#pragma once
// The encryption of one stream: AES in counter mode under a key derived from
// the password and a salt, with HMAC-SHA1 over the ciphertext. The counter
// and keystream position carry over between calls, so data cut into pieces
// of any sizes gives the same bytes as data processed in one piece.
#include "crypto/AesLib.h"
#include "crypto/HmacSha1.h"

#include <cstddef>
#include <cstdint>

constexpr int StreamKeyIterations = 1000;
constexpr std::size_t StreamVerifierSize = 2;
constexpr std::size_t StreamMacSize = 10;
constexpr std::size_t StreamMaxPassword = 128;
constexpr int StreamErrorPasswordTooLong = -100;
constexpr int StreamErrorBadKeyMode = -101;

// Key mode 1, 2, 3: AES-128, -192, -256.
constexpr std::size_t StreamKeyLength(int KeyMode)
{
    return static_cast<std::size_t>(8 * KeyMode + 8);
}
constexpr std::size_t StreamSaltLength(int KeyMode)
{
    return static_cast<std::size_t>(4 * KeyMode + 4);
}

struct TStreamCipherState {
    std::uint8_t Counter[16];
    std::uint8_t Keystream[16];
    TAesContext Aes;
    THmacSha1Context Hmac;
    std::uint32_t KeystreamPosition; // 16: the current keystream block is used up
    std::uint32_t PasswordLength;
    std::int32_t KeyMode;
};

// 0 on success, StreamErrorPasswordTooLong or StreamErrorBadKeyMode on
// refusal. Salt holds StreamSaltLength(KeyMode) bytes; Verifier receives the
// two check bytes that follow the salt in the stream.
int StreamCipherInit(int KeyMode, const std::uint8_t* Password, std::size_t PasswordLength,
                     const std::uint8_t* Salt, std::uint8_t Verifier[2], TStreamCipherState& State);
// The password-based derivation StreamCipherInit takes its key material
// from; DeriveKey unless another is set. The fuzz targets set one that
// remembers what it derived, so that an input costs its own work and not
// the 1000 rounds of the derivation every time.
using TStreamKeyDerivation = void (*)(const std::uint8_t* Password, std::size_t PasswordLength,
                                      const std::uint8_t* Salt, std::size_t SaltLength,
                                      std::uint32_t Iterations, std::uint8_t* Output,
                                      std::size_t OutputLength);
void SetStreamKeyDerivation(TStreamKeyDerivation Derive);
// In place. Encrypt feeds the HMAC after enciphering, Decrypt before.
void StreamCipherEncrypt(std::uint8_t* Data, std::size_t Length, TStreamCipherState& State);
void StreamCipherDecrypt(std::uint8_t* Data, std::size_t Length, TStreamCipherState& State);
// Writes the 10-byte authentication code and wipes the state. Returns 10.
int StreamCipherFinish(std::uint8_t Mac[10], TStreamCipherState& State);
