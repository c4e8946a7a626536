#include "ListFind.h"

#include "tracking/RecordTable.h"

namespace
{

inline uchar Fold(uchar C)
{
    return C >= 'A' && C <= 'Z' ? uchar(C + ('a' - 'A')) : C;
}

// Whether Hay, folded to lower case, contains Needle (already folded); both
// plain ASCII.
bool ContainsFolded(QByteArrayView Hay, QByteArrayView Needle)
{
    const qsizetype n = Hay.size(), m = Needle.size();
    if (m == 0)
        return true;
    const char first = Needle[0];
    for (qsizetype i = 0; i + m <= n; ++i) {
        if (char(Fold(uchar(Hay[i]))) != first)
            continue;
        qsizetype k = 1;
        while (k < m && char(Fold(uchar(Hay[i + k]))) == Needle[k])
            ++k;
        if (k == m)
            return true;
    }
    return false;
}

bool IsAscii(QByteArrayView Bytes)
{
    for (const char c : Bytes)
        if (uchar(c) & 0x80)
            return false;
    return true;
}

} // namespace

TFindText::TFindText(const QString& text) : Text(text)
{
    // Case is ignored the way QString compares without case: letter by
    // letter after folding. An ASCII cell can then only hold a text that
    // folds to ASCII, and for those the bytes are compared directly.
    Folded = Text.toCaseFolded();
    bool ascii = true;
    for (const QChar c : Folded)
        ascii = ascii && c.unicode() < 0x80;
    Ascii = ascii ? Folded.toLatin1() : QByteArray();
}

bool TFindText::FoundIn(QByteArrayView Cell) const
{
    if (IsAscii(Cell))
        return !Ascii.isEmpty() && ContainsFolded(Cell, Ascii);
    return ReplyBytesText(Cell).contains(Folded, Qt::CaseInsensitive);
}
