// Decrypting arbitrary bytes: the stream cipher directly over memory and
// the byte-array routine the brand file goes through.
#include "FuzzInput.h"
#include "crypto/Encryption.h"
#include "crypto/Pbkdf2.h"
#include "util/FileCrypt.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace
{

// The real derivation, done once per password, salt and length. With the
// mutator below, which seldom touches the salt, the run spends its time in
// the stream and trailer handling instead of in the 1000 rounds.
void RememberedDeriveKey(const std::uint8_t* Password, std::size_t PasswordLength, const std::uint8_t* Salt,
                         std::size_t SaltLength, std::uint32_t Iterations, std::uint8_t* Output,
                         std::size_t OutputLength)
{
    static std::map<std::string, std::vector<std::uint8_t>> known;
    std::string key(reinterpret_cast<const char*>(Password), PasswordLength);
    key.push_back('\0');
    key.append(reinterpret_cast<const char*>(Salt), SaltLength);
    key += std::to_string(Iterations) + ':' + std::to_string(OutputLength);
    auto found = known.find(key);
    if (found == known.end()) {
        // Bounded, so that a long run cannot fill memory with keys.
        if (known.size() >= 65536)
            known.clear();
        std::vector<std::uint8_t> derived(OutputLength);
        DeriveKey(Password, PasswordLength, Salt, SaltLength, Iterations, derived.data(), OutputLength);
        found = known.emplace(std::move(key), std::move(derived)).first;
    }
    std::copy(found->second.begin(), found->second.end(), Output);
}

// Bytes at the front of an input that hold the password length and the
// salt of the stream read from the rest (the brand-file routine reads its
// own salt from the very front, which this covers as well).
std::size_t SaltEnd(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const std::size_t length = Data[0] % 64;
    return 1 + StreamSaltLength(length < 32 ? 1 : length < 48 ? 2 : 3);
}

} // namespace

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* Data, std::size_t Size, std::size_t MaxSize);

// Mutates what follows the salt, and only one time in 256 the whole input,
// so that nearly every input finds its key already derived.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* Data, std::size_t Size, std::size_t MaxSize,
                                               unsigned int Seed)
{
    const std::size_t keep = SaltEnd(Data, Size);
    if (Seed % 256 == 0 || Size <= keep || MaxSize <= keep)
        return LLVMFuzzerMutate(Data, Size, MaxSize);
    return keep + LLVMFuzzerMutate(Data + keep, Size - keep, MaxSize - keep);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetStreamKeyDerivation(RememberedDeriveKey);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    // The first byte picks the password length, and so the key mode.
    if (Size == 0)
        return 0;
    const std::string password(std::size_t(Data[0] % 64), 'k');
    TEncryption cipher(password, 64);
    TMemoryStream source(std::vector<std::uint8_t>(Data + 1, Data + Size));
    TMemoryStream dest;
    const TStreamOutcome outcome = cipher.DecryptStreamOutcome(source, &dest, std::int64_t(Size - 1));
    if (outcome == TStreamOutcome::Refused)
        FUZZ_CHECK(dest.Data().empty());
    FUZZ_CHECK(dest.Data().size() <= Size);

    // A size that claims more than there is must not read past the end.
    TMemoryStream again(std::vector<std::uint8_t>(Data + 1, Data + Size));
    FUZZ_CHECK(!cipher.DecryptStream(again, nullptr, std::int64_t(Size) + 1000));

    QByteArray plain = "stale";
    const TDecryptOutcome o = DecryptBytes(FuzzBytes(Data, Size), plain);
    if (o == TDecryptOutcome::Unreadable)
        FUZZ_CHECK(plain.isEmpty());
    return 0;
}
