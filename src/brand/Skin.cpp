#include "Skin.h"

#include <zlib.h>

namespace skin
{

namespace
{
const char Magic[8] = {'T', 'F', 'S', 'K', 'I', 'N', '\x01', '\x00'};
constexpr qsizetype HeaderSize = 12;
} // namespace

QByteArray Pack(const QByteArray& StyleSheetUtf8)
{
    uLongf bound = compressBound(uLong(StyleSheetUtf8.size()));
    QByteArray out(HeaderSize + qsizetype(bound), '\0');
    memcpy(out.data(), Magic, sizeof Magic);
    const quint32 n = quint32(StyleSheetUtf8.size());
    for (int i = 0; i < 4; ++i)
        out[8 + i] = char((n >> (8 * i)) & 0xFF);
    if (compress2(reinterpret_cast<Bytef*>(out.data() + HeaderSize), &bound,
                  reinterpret_cast<const Bytef*>(StyleSheetUtf8.constData()), uLong(n),
                  Z_BEST_COMPRESSION) != Z_OK)
        return {};
    out.truncate(HeaderSize + qsizetype(bound));
    return out;
}

bool Unpack(const QByteArray& Data, QString& StyleSheet)
{
    if (Data.size() <= HeaderSize || memcmp(Data.constData(), Magic, sizeof Magic) != 0)
        return false;
    quint32 n = 0;
    for (int i = 0; i < 4; ++i)
        n |= quint32(uchar(Data[8 + i])) << (8 * i);
    if (n == 0 || qsizetype(n) > MaxStyleSheetBytes)
        return false;
    QByteArray plain(qsizetype(n), '\0');
    uLongf got = n;
    if (uncompress(reinterpret_cast<Bytef*>(plain.data()), &got,
                   reinterpret_cast<const Bytef*>(Data.constData() + HeaderSize),
                   uLong(Data.size() - HeaderSize)) != Z_OK ||
        got != n)
        return false;
    StyleSheet = QString::fromUtf8(plain);
    return true;
}

} // namespace skin
