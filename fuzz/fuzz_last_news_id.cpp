// Storing the read news id in a brand text of any shape.
#include "FuzzInput.h"
#include "brand/LastNewsId.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray plain = FuzzBytes(Data, Size);
    ReadLastNewsId(plain);
    const QString id = QString::number(Size * 7919 % 100000);
    const QByteArray updated = ReplaceLastNewsId(plain, id);
    FUZZ_CHECK(ReadLastNewsId(updated) == id);
    // Storing the same id again changes nothing.
    FUZZ_CHECK(ReplaceLastNewsId(updated, id) == updated);
    return 0;
}
