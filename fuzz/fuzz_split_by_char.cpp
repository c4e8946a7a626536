// Splitting at a separator: the pieces put back together are the text.
#include "FuzzInput.h"
#include "util/UUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size == 0)
        return 0;
    const char sep = char(Data[0]);
    const QByteArray text = FuzzBytes(Data + 1, Size - 1);

    QList<QByteArray> pieces;
    SplitByChar(sep, text, pieces);
    QByteArray joined = pieces.join(sep);
    if (text.endsWith(sep))
        joined += sep;
    FUZZ_CHECK(joined == text);

    const QString wide = QString::fromLatin1(text);
    QStringList wpieces;
    SplitByChar(QChar::fromLatin1(sep), wide, wpieces);
    FUZZ_CHECK(wpieces.size() == pieces.size());
    return 0;
}
