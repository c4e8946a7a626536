#include "BrandText.h"

QList<QByteArray> SplitTextLines(const QByteArray& Text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < Text.size()) {
        const char c = Text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.append(Text.mid(start, i - start));
        // CR LF is one line ending; a lone CR or LF is one too.
        i += (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < Text.size())
        lines.append(Text.mid(start));
    return lines;
}

QByteArray JoinLinesCrLf(const QList<QByteArray>& Lines)
{
    QByteArray text;
    qsizetype size = 0;
    for (const QByteArray& line : Lines)
        size += line.size() + 2;
    text.reserve(size);
    for (const QByteArray& line : Lines) {
        text.append(line);
        text.append("\r\n");
    }
    return text;
}

QByteArray NormalizeLinesCrLf(const QByteArray& Text)
{
    return JoinLinesCrLf(SplitTextLines(Text));
}

namespace
{
char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
} // namespace

qsizetype IndexOfAsciiNoCase(const QByteArray& Haystack, const QByteArray& Needle, qsizetype From)
{
    if (From < 0)
        From = 0;
    const qsizetype n = Needle.size();
    if (n == 0)
        return From <= Haystack.size() ? From : -1;
    const char first = AsciiUpper(Needle[0]);
    for (qsizetype i = From; i + n <= Haystack.size(); ++i) {
        if (AsciiUpper(Haystack[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < n && AsciiUpper(Haystack[i + k]) == AsciiUpper(Needle[k]))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

QByteArray ExtractTagValue(const QByteArray& StartTag, const QByteArray& EndTag, QByteArray& Buffer)
{
    if (StartTag.isEmpty())
        return {};
    const qsizetype start = IndexOfAsciiNoCase(Buffer, StartTag);
    if (start < 0)
        return {};
    Buffer.remove(0, start + StartTag.size());
    const qsizetype end = IndexOfAsciiNoCase(Buffer, EndTag);
    if (end < 0 || EndTag.isEmpty())
        return {};
    QByteArray value = Buffer.left(end);
    Buffer.remove(0, end);
    return value;
}

QByteArray StartTagOf(const QByteArray& Name)
{
    return "<%%" + Name + "%%>";
}

QByteArray EndTagOf(const QByteArray& Name)
{
    return "<%%/" + Name + "%%>";
}
