// Skin data from mainskin.dat: anything that is not skin data is refused.
#include "FuzzInput.h"
#include "brand/Skin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray bytes = FuzzBytes(Data, Size);
    QString sheet = QStringLiteral("untouched");
    if (!skin::Unpack(bytes, sheet))
        FUZZ_CHECK(sheet == QStringLiteral("untouched"));

    // Packing and unpacking gives the style sheet back.
    const QByteArray utf8 = QString::fromUtf8(bytes).toUtf8();
    if (!utf8.isEmpty()) {
        QString back;
        FUZZ_CHECK(skin::Unpack(skin::Pack(utf8), back));
        FUZZ_CHECK(back.toUtf8() == utf8);
    }
    return 0;
}
