// Decrypting arbitrary bytes: the stream cipher directly over memory and
// the byte-array routine the brand file goes through.
#include "FuzzInput.h"
#include "crypto/Encryption.h"
#include "util/FileCrypt.h"

#include <string>
#include <vector>

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
