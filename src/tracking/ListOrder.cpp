#include "ListOrder.h"

#include <QHash>
#include <numeric>

namespace
{

// Any non-zero seed lets Qt take its fastest hash where the processor has one.
constexpr size_t HashSeed = 0x9e3779b9u;

inline uchar Fold(uchar C)
{
    return C >= 'A' && C <= 'Z' ? uchar(C + ('a' - 'A')) : C;
}

// The first bytes of a text, folded to lower case as far as they are ASCII,
// packed so that comparing two keys word by word as numbers compares those
// bytes. The last byte says how many of them are real; past that only the
// texts themselves can tell.
struct TSortKey {
    static constexpr int Words = 3;
    static constexpr int Bytes = Words * 8 - 1;
    quint64 Word[Words] = {};
    quint32 Item = 0;

    TSortKey(QByteArrayView Text, quint32 ItemIndex) : Item(ItemIndex)
    {
        uchar key[Words * 8] = {};
        int n = 0;
        while (n < Bytes && n < Text.size() && uchar(Text[n]) < 0x80) {
            key[n] = Fold(uchar(Text[n]));
            ++n;
        }
        key[Bytes] = uchar(n);
        for (int w = 0; w < Words; ++w)
            for (int i = 0; i < 8; ++i)
                Word[w] = Word[w] << 8 | key[w * 8 + i];
    }
    int Valid() const { return int(Word[Words - 1] & 0xFF); }
};

// -1 or 1 when the keys decide the order of their texts, 0 when they
// cannot.
int KeyOrder(const TSortKey& A, const TSortKey& B)
{
    for (int w = 0; w < TSortKey::Words; ++w) {
        quint64 differ = A.Word[w] ^ B.Word[w];
        if (w == TSortKey::Words - 1)
            differ &= ~quint64(0xFF); // the count of real bytes
        if (differ == 0)
            continue;
        const int p = w * 8 + __builtin_clzll(differ) / 8;
        if (p >= A.Valid() || p >= B.Valid())
            return 0;
        return A.Word[w] < B.Word[w] ? -1 : 1;
    }
    return 0;
}

} // namespace

std::vector<quint32> ByRank(const std::vector<quint32>& Rows, const std::vector<quint32>& Rank, quint32 Count,
                            bool Descending)
{
    std::vector<quint32> start(size_t(Count) + 1, 0);
    for (quint32 r : Rows)
        ++start[(Descending ? Count - 1 - Rank[r] : Rank[r]) + 1];
    std::partial_sum(start.begin(), start.end(), start.begin());
    std::vector<quint32> out(Rows.size());
    for (quint32 r : Rows)
        out[start[Descending ? Count - 1 - Rank[r] : Rank[r]]++] = r;
    return out;
}

int CompareListText(const QString& A, const QString& B)
{
    const int folded = QString::compare(A, B, Qt::CaseInsensitive);
    if (folded != 0)
        return folded;
    return QString::compare(A, B, Qt::CaseSensitive);
}

int CompareListBytes(QByteArrayView A, QByteArrayView B)
{
    const qsizetype n = std::min(A.size(), B.size());
    int byCase = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar a = uchar(A[i]), b = uchar(B[i]);
        if ((a | b) & 0x80) {
            const int c = CompareListText(ReplyBytesText(A), ReplyBytesText(B));
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        if (a == b)
            continue;
        const uchar fa = Fold(a), fb = Fold(b);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        if (byCase == 0)
            byCase = a < b ? -1 : 1;
    }
    // Equal so far, and all ASCII: the shorter text comes first, whatever
    // the longer one goes on with.
    if (A.size() != B.size())
        return A.size() < B.size() ? -1 : 1;
    return byCase;
}

std::vector<quint32> TextRanks(const TRecordTable& Rows, int Field, quint32& Count)
{
    const quint32 n = quint32(Rows.RowCount());
    // Texts that are the same bytes are one text: find each one once.
    std::vector<quint32> distinctOf(n);
    std::vector<quint32> firstRow; // of each distinct text
    size_t buckets = 16;
    while (buckets < size_t(n) * 2)
        buckets *= 2;
    std::vector<quint32> table(buckets, 0); // distinct index + 1, 0 when free
    for (quint32 r = 0; r < n; ++r) {
        const QByteArrayView text = Rows.Field(r, Field);
        size_t s = qHash(text, HashSeed) & (buckets - 1);
        while (table[s] != 0 && Rows.Field(firstRow[table[s] - 1], Field) != text)
            s = (s + 1) & (buckets - 1);
        if (table[s] == 0) {
            firstRow.push_back(r);
            table[s] = quint32(firstRow.size());
        }
        distinctOf[r] = table[s] - 1;
    }
    table = {};

    std::vector<TSortKey> keys;
    keys.reserve(firstRow.size());
    for (quint32 d = 0; d < firstRow.size(); ++d)
        keys.emplace_back(Rows.Field(firstRow[d], Field), d);
    auto order = [&](const TSortKey& a, const TSortKey& b) {
        if (const int k = KeyOrder(a, b))
            return k;
        return CompareListBytes(Rows.Field(firstRow[a.Item], Field), Rows.Field(firstRow[b.Item], Field));
    };
    std::sort(keys.begin(), keys.end(),
              [&](const TSortKey& a, const TSortKey& b) { return order(a, b) < 0; });

    // Different bytes can still read as the same text (bad UTF-8): those
    // share a rank.
    std::vector<quint32> rankOf(firstRow.size());
    quint32 rank = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && order(keys[i - 1], keys[i]) != 0)
            ++rank;
        rankOf[keys[i].Item] = rank;
    }
    Count = keys.empty() ? 0 : rank + 1;
    for (quint32& d : distinctOf)
        d = rankOf[d];
    return distinctOf;
}
