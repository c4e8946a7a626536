#include "LastNewsId.h"

#include "brand/BrandText.h"

namespace
{
const QByteArray StartTag = "<%%LastNewsId%%>";
const QByteArray EndTag = "<%%/LastNewsId%%>";
} // namespace

QString ReadLastNewsId(const QByteArray& Plain)
{
    QByteArray buffer = NormalizeLinesCrLf(Plain);
    return QString::fromLocal8Bit(ExtractTagValue(StartTag, EndTag, buffer));
}

QByteArray ReplaceLastNewsId(const QByteArray& Plain, const QString& Id)
{
    const QByteArray element = StartTag + Id.toLocal8Bit() + EndTag;
    QList<QByteArray> lines = SplitTextLines(Plain);
    // The element is looked up as the reader looks it up (any letter case):
    // otherwise a file written in another case would get a second element
    // that the reader never reaches, and the saved id would be lost.
    for (QByteArray& line : lines) {
        const qsizetype start = IndexOfAsciiNoCase(line, StartTag);
        if (start < 0)
            continue;
        const qsizetype end = IndexOfAsciiNoCase(line, EndTag, start + StartTag.size());
        // Without an end tag on this line the rest of the line is the value.
        const qsizetype after = end < 0 ? line.size() : end + EndTag.size();
        line = line.left(start) + element + line.mid(after);
        return JoinLinesCrLf(lines);
    }
    lines.append(element);
    return JoinLinesCrLf(lines);
}

bool IsStorableNewsId(const QString& Id)
{
    for (const QChar c : Id)
        if (c.unicode() < 0x20 || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('%'))
            return false;
    return true;
}
