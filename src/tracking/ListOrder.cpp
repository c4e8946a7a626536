#include "ListOrder.h"

#include <QHash>
#include <QSet>
#include <QtEndian>
#include <array>
#include <cstring>
#include <iterator>
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
        // Eight ASCII bytes at a time, folded together, while they last.
        constexpr quint64 ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
        while (n + 8 <= Bytes && n + 8 <= Text.size()) {
            quint64 v = 0;
            std::memcpy(&v, Text.data() + n, 8);
            if (v & highs)
                break;
            const quint64 atLeastA = (v + (0x80 - 'A') * ones) & highs;
            const quint64 pastZ = (v + (0x80 - 'Z' - 1) * ones) & highs;
            v |= (atLeastA & ~pastZ) >> 2; // 0x20 on each capital
            std::memcpy(key + n, &v, 8);
            n += 8;
        }
        while (n < Bytes && n < Text.size() && uchar(Text[n]) < 0x80) {
            key[n] = Fold(uchar(Text[n]));
            ++n;
        }
        key[Bytes] = uchar(n);
        for (int w = 0; w < Words; ++w) {
            quint64 v = 0;
            std::memcpy(&v, key + w * 8, 8);
            Word[w] = qFromBigEndian(v);
        }
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

// Sorts Items (8 bytes of key and an index) by their keys, lowest first, by
// least significant byte first; passes over a byte that is the same in every
// key are left out, so small counters or keys sharing a prefix cost a few
// passes only.
struct TRadixItem {
    quint64 Key;
    quint32 Index;
};

void RadixSort(std::vector<TRadixItem>& Items, std::vector<TRadixItem>& Spare)
{
    const size_t n = Items.size();
    if (n < 2)
        return;
    std::vector<std::array<quint32, 256>> counts(8);
    for (auto& c : counts)
        c.fill(0);
    for (const TRadixItem& i : Items)
        for (int b = 0; b < 8; ++b)
            ++counts[size_t(b)][(i.Key >> (8 * b)) & 0xFF];
    Spare.resize(n);
    for (int b = 0; b < 8; ++b) {
        std::array<quint32, 256>& c = counts[size_t(b)];
        if (std::find(c.begin(), c.end(), quint32(n)) != c.end())
            continue; // every key has the same byte here
        quint32 sum = 0;
        for (quint32& v : c) {
            const quint32 here = v;
            v = sum;
            sum += here;
        }
        for (const TRadixItem& i : Items)
            Spare[c[(i.Key >> (8 * b)) & 0xFF]++] = i;
        Items.swap(Spare);
    }
}

template <class TOrder>
void SortRuns(TSortKey* First, TSortKey* Last, int W, TOrder& Order, std::vector<TRadixItem>& Items,
              std::vector<TRadixItem>& Spare);

// Sorts the keys First..Last by word W and then, among keys with the same
// word, by the next ones; what the three words cannot tell apart goes to
// Order. Only for keys whose bytes are all real (texts that are ASCII as far
// as the key reaches): for those, comparing words as numbers, the count of
// real bytes in the last word included, is the order of their texts.
template <class TOrder>
void SortKeys(TSortKey* First, TSortKey* Last, int W, TOrder& Order, std::vector<TRadixItem>& Items,
              std::vector<TRadixItem>& Spare)
{
    const size_t n = size_t(Last - First);
    if (n < 64) {
        // Whole words first: for these keys their order is the texts' order
        // wherever they differ.
        std::sort(First, Last, [&](const TSortKey& a, const TSortKey& b) {
            for (int w = W; w < TSortKey::Words; ++w)
                if (a.Word[w] != b.Word[w])
                    return a.Word[w] < b.Word[w];
            return Order(a, b) < 0;
        });
        return;
    }
    Items.resize(n);
    for (size_t i = 0; i < n; ++i)
        Items[i] = {First[i].Word[W], quint32(i)};
    RadixSort(Items, Spare);
    // Put the keys in that order: through a copy for long lists, where
    // reading them in turn is much quicker than following the permutation;
    // in place, one cycle at a time, for the shorter ones, whose load would
    // otherwise peak with the copy.
    if (n > (size_t(1) << 18)) {
        std::vector<TSortKey> sorted;
        sorted.reserve(n);
        for (const TRadixItem& i : Items)
            sorted.push_back(First[i.Index]);
        std::copy(sorted.begin(), sorted.end(), First);
    } else {
        for (size_t i = 0; i < n; ++i) {
            if (Items[i].Index == i)
                continue;
            const TSortKey held = First[i];
            size_t j = i;
            for (;;) {
                const size_t k = Items[j].Index;
                Items[j].Index = quint32(j);
                if (k == i) {
                    First[j] = held;
                    break;
                }
                First[j] = First[k];
                j = k;
            }
        }
    }
    SortRuns(First, Last, W, Order, Items, Spare);
}

// Keys First..Last already in order by word W: each run of keys with the
// same word W put in order by the next ones.
template <class TOrder>
void SortRuns(TSortKey* First, TSortKey* Last, int W, TOrder& Order, std::vector<TRadixItem>& Items,
              std::vector<TRadixItem>& Spare)
{
    for (TSortKey* run = First; run < Last;) {
        TSortKey* end = run + 1;
        while (end < Last && end->Word[W] == run->Word[W])
            ++end;
        if (end - run > 1) {
            if (W + 1 < TSortKey::Words)
                SortKeys(run, end, W + 1, Order, Items, Spare);
            else
                std::sort(run, end, [&](const TSortKey& a, const TSortKey& b) { return Order(a, b) < 0; });
        }
        run = end;
    }
}

} // namespace

namespace
{

// The ranks of n rows from the items of those that have a number (its bits
// as a key that sorts as the number); the others take rank 0 below them.
std::vector<quint32> ItemRanks(std::vector<TRadixItem>& Items, quint32 n, quint32& Count)
{
    const bool nothing = Items.size() < n;
    {
        std::vector<TRadixItem> spare;
        RadixSort(Items, spare);
    }
    std::vector<quint32> rank(n, 0);
    quint32 next = nothing ? 1 : 0;
    for (size_t i = 0; i < Items.size(); ++i) {
        if (i > 0 && Items[i - 1].Key != Items[i].Key)
            ++next;
        rank[Items[i].Index] = next;
    }
    Count = n == 0 ? 0 : (Items.empty() ? 1 : next + 1);
    return rank;
}

quint64 KeyOf(qint64 V)
{
    return quint64(V) ^ (quint64(1) << 63);
}

} // namespace

std::vector<quint32> IntegerRanks(const std::vector<std::optional<qint64>>& Values, quint32& Count)
{
    const quint32 n = quint32(Values.size());
    std::vector<TRadixItem> items;
    items.reserve(n);
    for (quint32 r = 0; r < n; ++r)
        if (Values[r])
            items.push_back({KeyOf(*Values[r]), r});
    return ItemRanks(items, n, Count);
}

std::vector<quint32> IntegerRanks(const std::vector<qint64>& Values, qint64 None, quint32& Count)
{
    const quint32 n = quint32(Values.size());
    std::vector<TRadixItem> items;
    items.reserve(n);
    for (quint32 r = 0; r < n; ++r)
        if (Values[r] != None)
            items.push_back({KeyOf(Values[r]), r});
    return ItemRanks(items, n, Count);
}

std::vector<quint32> ByRank(const std::vector<quint32>& Rows, const std::vector<quint32>& Rank, quint32 Count,
                            bool Descending)
{
    if (Count == Rows.size() && Rank.size() == Rows.size()) {
        // Every row of the list, each with a rank of its own: there are no
        // ties to keep in order, and each rank is the row's place.
        std::vector<quint32> out(Rows.size());
        for (quint32 r = 0; r < Rank.size(); ++r)
            out[Descending ? Count - 1 - Rank[r] : Rank[r]] = r;
        return out;
    }
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

namespace
{

// Whether nearly every row of a field has a text of its own (orders, ids),
// judged from rows spread over the whole list. Finding the equal texts of
// such a column costs more than sorting all of them: the table it needs is
// too big for the processor's caches, and finds hardly anything.
bool MostlyDistinct(const TRecordTable& Rows, int Field)
{
    const qsizetype n = Rows.RowCount();
    if (n < 4096)
        return false;
    const qsizetype step = n / 2048;
    QSet<QByteArrayView> seen;
    qsizetype sampled = 0;
    for (qsizetype r = 0; r < n; r += step, ++sampled)
        seen.insert(Rows.Field(r, Field));
    return seen.size() * 10 > sampled * 9;
}

// Whether Text begins with the first Size bytes of Model, but for the case
// of ASCII letters.
bool StartsAs(QByteArrayView Text, QByteArrayView Model, int Size)
{
    if (Text.size() < Size)
        return false;
    for (int i = 0; i < Size; ++i)
        if (Fold(uchar(Text[i])) != Fold(uchar(Model[i])))
            return false;
    return true;
}

// How many bytes, ASCII all of them, the texts seem to begin with alike,
// judged from texts spread over them (TextRanks makes sure of it).
template <class TTextOf> int SharedStart(const TTextOf& TextOf, quint32 Count)
{
    if (Count < 2)
        return 0;
    const QByteArrayView first = TextOf(0);
    int shared = int(std::min<qsizetype>(first.size(), 16));
    for (int i = 0; i < shared; ++i)
        if (uchar(first[i]) >= 0x80)
            shared = i;
    const quint32 step = std::max<quint32>(1, Count / 2048);
    for (quint32 d = step; d < Count && shared > 0; d += step) {
        const QByteArrayView text = TextOf(d);
        int same = 0;
        while (same < shared && same < text.size() && Fold(uchar(text[same])) == Fold(uchar(first[same])))
            ++same;
        shared = same;
    }
    return shared;
}

} // namespace

std::vector<quint32> TextRanks(const TRecordTable& Rows, int Field, quint32& Count)
{
    const quint32 n = quint32(Rows.RowCount());
    // Texts that are the same bytes are one text: find each one once,
    // unless nearly all of them are different anyway.
    std::vector<quint32> distinctOf;
    std::vector<quint32> firstRow; // of each distinct text, unless every row is one
    const bool everyRow = MostlyDistinct(Rows, Field);
    if (!everyRow) {
        distinctOf.resize(n);
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
    }

    const quint32 distinct = everyRow ? n : quint32(firstRow.size());
    const auto textOf = [&](quint32 D) { return Rows.Field(everyRow ? D : firstRow[D], Field); };
    // The keys start after what every text begins with ("ORD-", a common
    // first word), where they tell texts apart.
    int skip = SharedStart(textOf, distinct);
    const auto keyOf = [&](quint32 D) { return TSortKey(textOf(D).sliced(skip), D); };

    // Keys whose bytes are all real are sorted by radix; those cut short by
    // a byte that is not ASCII by comparing, and the two merged. The first
    // words are sorted on their own first: for a column of different texts
    // they are often all it takes, and the whole keys are never made.
    std::vector<TRadixItem> items, spare;
    std::vector<TSortKey> partial;
    for (bool again = true; again;) {
        again = false;
        items.clear();
        items.reserve(distinct);
        partial.clear();
        for (quint32 d = 0; d < distinct; ++d) {
            const QByteArrayView text = textOf(d);
            if (!StartsAs(text, textOf(0), skip)) {
                skip = 0;
                again = true;
                break;
            }
            const TSortKey key = keyOf(d);
            if (key.Valid() < TSortKey::Bytes && key.Valid() < text.size() - skip)
                partial.push_back(key);
            else
                items.push_back({key.Word[0], d});
        }
    }
    RadixSort(items, spare);
    bool unique = partial.empty();
    for (size_t i = 1; unique && i < items.size(); ++i)
        unique = items[i - 1].Key != items[i].Key;
    std::vector<quint32> rankOf(distinct);
    if (unique) {
        for (size_t i = 0; i < items.size(); ++i)
            rankOf[items[i].Index] = quint32(i);
        Count = quint32(items.size());
        if (everyRow)
            return rankOf;
        for (quint32& d : distinctOf)
            d = rankOf[d];
        return distinctOf;
    }

    std::vector<TSortKey> keys;
    keys.reserve(items.size());
    for (const TRadixItem& i : items)
        keys.push_back(keyOf(i.Index));
    items = {};
    spare = {};
    auto order = [&](const TSortKey& a, const TSortKey& b) {
        if (const int k = KeyOrder(a, b))
            return k;
        return CompareListBytes(textOf(a.Item), textOf(b.Item));
    };
    const auto less = [&](const TSortKey& a, const TSortKey& b) { return order(a, b) < 0; };
    SortRuns(keys.data(), keys.data() + keys.size(), 0, order, items, spare);
    if (!partial.empty()) {
        std::sort(partial.begin(), partial.end(), less);
        std::vector<TSortKey> merged;
        merged.reserve(keys.size() + partial.size());
        std::merge(keys.begin(), keys.end(), partial.begin(), partial.end(), std::back_inserter(merged),
                   less);
        keys = std::move(merged);
    }

    // Different bytes can still read as the same text (bad UTF-8): those
    // share a rank.
    quint32 rank = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0 && order(keys[i - 1], keys[i]) != 0)
            ++rank;
        rankOf[keys[i].Item] = rank;
    }
    Count = keys.empty() ? 0 : rank + 1;
    if (everyRow)
        return rankOf;
    for (quint32& d : distinctOf)
        d = rankOf[d];
    return distinctOf;
}
