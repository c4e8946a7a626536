#include "ListCells.h"

#include <cstring>
#include <limits>

namespace
{

// Copies the bytes From..End of Text to To (never after From), without
// double quotes and then without blanks at the ends if asked; gives the end
// of the copy.
quint32 CleanInto(char* Text, quint32 From, quint32 End, quint32 To, bool Unquote, bool Trim)
{
    if (!Unquote) {
        if (To != From)
            std::memmove(Text + To, Text + From, End - From);
        return To + (End - From);
    }
    quint32 w = To;
    for (quint32 i = From; i < End; ++i) {
        // Without a branch: a quote is written and then written over.
        const char c = Text[i];
        Text[w] = c;
        w += c != '"';
    }
    if (!Trim)
        return w;
    quint32 b = To;
    while (b < w && uchar(Text[b]) <= 32)
        ++b;
    while (w > b && uchar(Text[w - 1]) <= 32)
        --w;
    if (b != To)
        std::memmove(Text + To, Text + b, w - b);
    return To + (w - b);
}

} // namespace

void ReshapeRecords(TRecordTable& Records, const QList<TFieldClean>& Cleaning, int ReadField,
                    const std::function<void(qsizetype Row, QByteArrayView Bytes)>& Read)
{
    const int from = Records.FieldsPerRow(), to = int(Cleaning.size());
    if (from < to) {
        Records = TRecordTable(to);
        return;
    }
    TRecordTable shaped(to);
    shaped.Text = std::move(Records.Text);
    shaped.Ends = std::move(Records.Ends);
    char* text = shaped.Text.data();
    std::vector<quint32>& ends = shaped.Ends;
    quint32 read = 0, written = 0;
    size_t kept = 0;
    int field = 0;
    qsizetype row = 0;
    const bool reading = Read && ReadField >= 0 && ReadField < from;
    for (size_t k = 0; k < ends.size(); ++k) {
        const quint32 begin = read;
        read = ends[k];
        // Before the field is cleaned: that writes over the bytes.
        if (reading && field == ReadField)
            Read(row, QByteArrayView(text + begin, read - begin));
        if (field < to) {
            const TFieldClean clean = Cleaning[field];
            written = CleanInto(text, begin, read, written, clean != TFieldClean::Keep,
                                clean == TFieldClean::UnquoteTrim);
            ends[kept++] = written;
        }
        if (++field == from) {
            field = 0;
            ++row;
        }
    }
    ends.resize(kept);
    shaped.Text.resize(written);
    Records = std::move(shaped);
}

std::optional<qint64> ParseCounter(const QString& Text)
{
    bool ok = false;
    // toLongLong takes an optional sign and blanks around the digits, and
    // refuses anything past the 64-bit range.
    const qint64 v = Text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<qint64> CounterOf(QByteArrayView Bytes)
{
    // Plain digits, the common case, are read here; up to 18 of them cannot
    // overflow. Anything else goes the way of a text.
    const bool negative = !Bytes.isEmpty() && Bytes[0] == '-';
    const QByteArrayView digits = Bytes.sliced(negative ? 1 : 0);
    if (!digits.isEmpty() && digits.size() <= 18) {
        qint64 v = 0;
        bool plain = true;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                plain = false;
                break;
            }
            v = v * 10 + (c - '0');
        }
        if (plain)
            return negative ? -v : v;
    }
    return ParseCounter(ReplyBytesText(Bytes));
}

qint64 SaturatingAdd(qint64 A, qint64 B)
{
    qint64 sum = 0;
    if (!__builtin_add_overflow(A, B, &sum))
        return sum;
    return B > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

QList<qint64> SumCounters(const TRecordTable& Records, const QList<int>& CounterFields,
                          const std::vector<quint32>* Rows)
{
    QList<qint64> totals(Records.FieldsPerRow(), 0);
    const quint32 n = Rows ? quint32(Rows->size()) : quint32(Records.RowCount());
    for (int field : CounterFields) {
        qint64 total = 0;
        for (quint32 i = 0; i < n; ++i)
            if (const auto v = CounterOf(Records.Field(Rows ? (*Rows)[i] : i, field)))
                total = SaturatingAdd(total, *v);
        totals[field] = total;
    }
    return totals;
}
