#include "crypto/Encryption.h"

#include "crypto/SecureMemory.h"

#include <algorithm>

namespace
{

std::int32_t KeyModeFor(std::size_t PasswordLength)
{
    if (PasswordLength < 32)
        return 1;
    if (PasswordLength < 48)
        return 2;
    return 3;
}

} // namespace

TCrypt::TCrypt(std::string APassword, std::int32_t ABufferSize)
    : KeyMode(KeyModeFor(APassword.size())), BufferSize(std::max<std::int32_t>(ABufferSize, 1)),
      Password(std::move(APassword))
{
    tfcrypto::SecureWipe(&State, sizeof State);
}

TCrypt::~TCrypt()
{
    DropState();
    tfcrypto::SecureWipe(Password.data(), Password.size());
    WipeBuffer();
}

void TCrypt::DropState()
{
    tfcrypto::SecureWipe(&State, sizeof State);
    KeyReady = false;
}

std::uint8_t* TCrypt::BufferFor(std::size_t Count)
{
    // Never empty, so that even a read of nothing gets a real address.
    Count = std::clamp<std::size_t>(Count, 1, static_cast<std::size_t>(BufferSize));
    if (Buffer.size() < Count) {
        // Wiped first, since growing leaves the old bytes behind.
        WipeBuffer();
        Buffer.clear();
        Buffer.resize(Count);
    }
    BufferUsed = std::max(BufferUsed, Count);
    return Buffer.data();
}

void TCrypt::WipeBuffer()
{
    tfcrypto::SecureWipe(Buffer.data(), BufferUsed);
    BufferUsed = 0;
}

TEncryption::TEncryption(std::string APassword, std::int32_t ABufferSize, TEntropyFunction AEntropy)
    : TCrypt(std::move(APassword), ABufferSize), Entropy(AEntropy)
{
}

TEncryption::~TEncryption()
{
    RandomPoolWipe(Pool);
}

int TEncryption::StartStream(const std::uint8_t* Salt, std::uint8_t Verifier[2])
{
    const int status = StreamCipherInit(KeyMode, reinterpret_cast<const std::uint8_t*>(Password.data()),
                                        Password.size(), Salt, Verifier, State);
    KeyReady = status == 0;
    return status;
}

bool TEncryption::ReadExactly(TByteStream& Source, std::uint8_t* Dest, std::size_t Count)
{
    return Source.Read(Dest, Count) == static_cast<std::ptrdiff_t>(Count);
}

bool TEncryption::WriteHeader(TByteStream& Dest)
{
    std::uint8_t header[16 + StreamVerifierSize];
    const std::size_t saltLength = SaltLength();
    if (!PoolReady) {
        RandomPoolInit(Pool, Entropy);
        PoolReady = true;
    }
    RandomPoolDraw(Pool, header, saltLength);
    // A refused key set-up writes nothing: a header without keys behind it
    // would only produce a stream nobody can read.
    if (StartStream(header, header + saltLength) != 0)
        return false;
    const bool written = Dest.Write(header, saltLength + StreamVerifierSize);
    tfcrypto::SecureWipe(header, sizeof header);
    if (!written)
        DropState();
    return written;
}

bool TEncryption::WriteTrailer(TByteStream& Dest)
{
    if (!KeyReady)
        return false;
    std::uint8_t mac[StreamMacSize];
    StreamCipherFinish(mac, State);
    KeyReady = false;
    return Dest.Write(mac, sizeof mac);
}

bool TEncryption::ReadHeader(TByteStream& Source)
{
    std::uint8_t salt[16];
    std::uint8_t expected[StreamVerifierSize];
    std::uint8_t stored[StreamVerifierSize];
    if (!ReadExactly(Source, salt, SaltLength()))
        return false;
    if (StartStream(salt, expected) != 0)
        return false;
    if (!ReadExactly(Source, stored, sizeof stored) ||
        !tfcrypto::ConstantTimeEqual(expected, stored, sizeof stored)) {
        DropState();
        return false;
    }
    return true;
}

bool TEncryption::CheckTrailer(TByteStream& Source)
{
    if (!KeyReady)
        return false;
    std::uint8_t expected[StreamMacSize];
    StreamCipherFinish(expected, State);
    KeyReady = false;
    std::uint8_t stored[StreamMacSize];
    const bool equal = ReadExactly(Source, stored, sizeof stored) &&
                       tfcrypto::ConstantTimeEqual(expected, stored, sizeof stored);
    tfcrypto::SecureWipe(expected, sizeof expected);
    return equal;
}

bool TEncryption::EncryptStream(TByteStream& Source, TByteStream& Dest)
{
    if (!WriteHeader(Dest))
        return false;
    const std::size_t chunk = static_cast<std::size_t>(BufferSize);
    std::ptrdiff_t n = 0;
    do {
        n = Source.Read(BufferFor(chunk), chunk);
        if (n < 0) {
            DropState();
            return false;
        }
        StreamCipherEncrypt(Buffer.data(), static_cast<std::size_t>(n), State);
        if (!Dest.Write(Buffer.data(), static_cast<std::size_t>(n))) {
            DropState();
            return false;
        }
    } while (static_cast<std::size_t>(n) == chunk);
    WipeBuffer();
    return WriteTrailer(Dest);
}

bool TEncryption::DecryptStream(TByteStream& Source, TByteStream* Dest, std::int64_t Size)
{
    return DecryptStreamOutcome(Source, Dest, Size) == TStreamOutcome::Authentic;
}

TStreamOutcome TEncryption::DecryptStreamOutcome(TByteStream& Source, TByteStream* Dest, std::int64_t Size)
{
    const std::int64_t overhead = static_cast<std::int64_t>(Overhead());
    // Too short to hold salt, verifier and code: nothing to decipher.
    if (Size < overhead || !ReadHeader(Source))
        return TStreamOutcome::Refused;

    std::int64_t remaining = Size - overhead;
    do {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(BufferSize, remaining));
        const std::ptrdiff_t n = Source.Read(BufferFor(chunk), chunk);
        if (n < 0) {
            DropState();
            return TStreamOutcome::Damaged;
        }
        StreamCipherDecrypt(Buffer.data(), static_cast<std::size_t>(n), State);
        if (Dest != nullptr && !Dest->Write(Buffer.data(), static_cast<std::size_t>(n))) {
            DropState();
            return TStreamOutcome::WriteFailed;
        }
        remaining -= n;
        // The source ended before the announced size: the data was cut short.
        if (static_cast<std::size_t>(n) < chunk) {
            DropState();
            WipeBuffer();
            return TStreamOutcome::Damaged;
        }
    } while (remaining > 0);
    WipeBuffer();
    return CheckTrailer(Source) ? TStreamOutcome::Authentic : TStreamOutcome::Damaged;
}
