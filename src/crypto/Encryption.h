#pragma once
// Password-based stream encryption with authentication. An encrypted stream
// is: salt (8, 12 or 16 bytes), a 2-byte password verifier, the ciphertext
// exactly as long as the plaintext, and the first 10 bytes of HMAC-SHA1 over
// the ciphertext. No length is stored; the reader is told the size.
#include "crypto/ByteStream.h"
#include "crypto/RandomPool.h"
#include "crypto/StreamCipher.h"

#include <cstdint>
#include <string>
#include <vector>

// Holds the password, the key mode chosen from its length, the state of the
// stream being processed and one chunk buffer, which grows to what the
// streams need, up to BufferSize.
class TCrypt
{
public:
    // The password is taken as 8-bit characters, exactly as given. Fewer
    // than 32 choose AES-128, fewer than 48 AES-192, more AES-256.
    TCrypt(std::string Password, std::int32_t BufferSize);
    virtual ~TCrypt();
    TCrypt(const TCrypt&) = delete;
    TCrypt& operator=(const TCrypt&) = delete;

    const std::int32_t KeyMode;
    const std::int32_t BufferSize;

    std::size_t SaltLength() const { return StreamSaltLength(KeyMode); }
    // Bytes an encrypted stream adds to its plaintext.
    std::size_t Overhead() const { return SaltLength() + StreamVerifierSize + StreamMacSize; }

protected:
    // Forgets the keys of the stream in progress.
    void DropState();
    // The chunk buffer, about to take Count bytes, and its wipe: only what a
    // stream has used, so that a short stream does not pay for the whole.
    std::uint8_t* BufferFor(std::size_t Count);
    void WipeBuffer();

    TStreamCipherState State;
    bool KeyReady = false;
    std::string Password;
    std::vector<std::uint8_t> Buffer;
    std::size_t BufferUsed = 0;
};

// How a decryption ended.
enum class TStreamOutcome {
    Authentic,   // verifier and authentication code match
    Damaged,     // the verifier matched, but the code did not or the data ended early
    Refused,     // too short for a header, wrong password, or a password the format cannot take
    WriteFailed, // the destination refused bytes
};

class TEncryption : public TCrypt
{
public:
    TEncryption(std::string Password, std::int32_t BufferSize, TEntropyFunction Entropy = ClockEntropy);
    ~TEncryption() override;

    // Encrypts Source from its position to its end onto Dest.
    bool EncryptStream(TByteStream& Source, TByteStream& Dest);
    // Size counts the encrypted bytes that follow Source's position, header
    // and trailer included. Without Dest only password and code are checked.
    // True only for an authentic stream; Dest may hold deciphered bytes even
    // when false is returned, once the verifier has matched.
    bool DecryptStream(TByteStream& Source, TByteStream* Dest, std::int64_t Size);
    TStreamOutcome DecryptStreamOutcome(TByteStream& Source, TByteStream* Dest, std::int64_t Size);

    bool WriteHeader(TByteStream& Dest);
    bool WriteTrailer(TByteStream& Dest);
    bool ReadHeader(TByteStream& Source);
    bool CheckTrailer(TByteStream& Source);

private:
    int StartStream(const std::uint8_t* Salt, std::uint8_t Verifier[2]);
    bool ReadExactly(TByteStream& Source, std::uint8_t* Dest, std::size_t Count);

    // Set up at the first salt drawn: decrypting needs no randomness.
    TRandomPool Pool;
    TEntropyFunction Entropy;
    bool PoolReady = false;
};
