// The decrypted brand text: tagged values and the record built from them.
#include "FuzzInput.h"
#include "brand/BrandFile.h"
#include "brand/BrandText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray plain = FuzzBytes(Data, Size);

    // Each read shortens the buffer, so a run of reads ends.
    QByteArray buffer = NormalizeLinesCrLf(plain);
    for (int i = 0; i < 64; ++i) {
        const qsizetype before = buffer.size();
        const QByteArray value = ExtractTagValue(StartTagOf("Welcome"), EndTagOf("Welcome"), buffer);
        FUZZ_CHECK(buffer.size() <= before);
        FUZZ_CHECK(value.size() <= before);
        if (buffer.size() == before)
            break;
    }

    // Any index the random source gives is folded into range.
    int turn = 0;
    const TBrandLoad load =
        ParseBrandText(plain, [&turn](int Count) { return (turn++ % 3 == 0) ? -7 : Count + 5; });
    FUZZ_CHECK(load.BannerNumber >= 0 && load.BannerNumber <= MaxBrandEntries);
    if (load.BannerNumber == 0)
        FUZZ_CHECK(load.BannerDataFile.isEmpty());
    NewsButtonVisibleFor(load.Record);
    return 0;
}
