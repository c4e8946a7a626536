// Undoing the "$"-hex escaping of news text.
#include "FuzzInput.h"
#include "util/UUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray text = FuzzBytes(Data, Size);
    const QByteArray plain = UnescapeDollarHex(text);
    FUZZ_CHECK(plain.size() <= text.size());
    if (!text.contains('$'))
        FUZZ_CHECK(plain == text);

    // Escaping every byte and undoing it gives the bytes back.
    QByteArray escaped;
    for (char c : text)
        escaped += '$' + QByteArray(1, c).toHex();
    FUZZ_CHECK(UnescapeDollarHex(escaped) == text);
    return 0;
}
