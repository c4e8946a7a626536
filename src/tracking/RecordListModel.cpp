#include "RecordListModel.h"

#include <QHash>
#include <algorithm>
#include <cstring>
#include <limits>
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

// Reorders Rows stably by the rank of each, lowest first (or highest).
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
    for (quint32 i = From; i < End; ++i)
        if (Text[i] != '"')
            Text[w++] = Text[i];
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

TRecordListModel::TRecordListModel(QStringList HeaderTexts, QList<int> Counters, QList<TClean> FieldCleaning,
                                   QObject* parent, QStringList ComputedHeaderTexts, QList<int> FindIn)
    : QAbstractTableModel(parent), Headers(std::move(HeaderTexts)), CounterColumns(std::move(Counters)),
      Cleaning(std::move(FieldCleaning)), Rows(int(Headers.size()) + 1),
      Computed(std::move(ComputedHeaderTexts)), FindColumns(std::move(FindIn))
{
    Cleaning.resize(FieldsPerRow(), TClean::Keep);
}

int TRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int TRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Headers.size() + Computed.size());
}

QVariant TRecordListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return TextAt(index.row(), index.column());
    case IdRole:
        return IdAt(index.row());
    default:
        return {};
    }
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < Headers.size())
        return Headers[section];
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && IsComputed(section))
        return Computed[section - Headers.size()];
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TRecordListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TRecordListModel::Clear()
{
    SetRows(TRecordTable(FieldsPerRow()));
}

QString TRecordListModel::IdAt(int Row) const
{
    if (Row < 0 || Row >= RowCount())
        return {};
    return ReplyBytesText(Cell(StoredAt(Row), 0));
}

QString TRecordListModel::TextAt(int Row, int Column) const
{
    if (Row < 0 || Row >= RowCount())
        return {};
    if (IsComputed(Column)) {
        const auto v = ComputedValue(Column, StoredAt(Row));
        return v ? QString::number(*v, 'f', 1) : QString();
    }
    if (Column < 0 || Column >= Headers.size())
        return {};
    return ReplyBytesText(Cell(StoredAt(Row), Column + 1));
}

QByteArrayView TRecordListModel::BytesAt(int Row, int Column) const
{
    if (Row < 0 || Row >= RowCount() || Column < 0 || Column >= Headers.size())
        return {};
    return Cell(StoredAt(Row), Column + 1);
}

std::optional<qint64> TRecordListModel::ValueAt(int Row, int Column) const
{
    if (Row < 0 || Row >= RowCount() || !IsCounter(Column))
        return std::nullopt;
    return CounterOf(Cell(StoredAt(Row), Column + 1));
}

std::optional<double> TRecordListModel::ComputedAt(int Row, int Column) const
{
    if (Row < 0 || Row >= RowCount() || !IsComputed(Column))
        return std::nullopt;
    return ComputedValue(Column, StoredAt(Row));
}

std::optional<double> TRecordListModel::ComputedValue(int, quint32) const
{
    return std::nullopt;
}

std::optional<qint64> TRecordListModel::StoredCounter(quint32 Stored, int Column) const
{
    if (!IsCounter(Column) || Stored >= quint32(Rows.RowCount()))
        return std::nullopt;
    return CounterOf(Cell(Stored, Column + 1));
}

std::optional<qint64> TRecordListModel::ParseCounter(const QString& Text)
{
    bool ok = false;
    // toLongLong takes an optional sign and blanks around the digits, and
    // refuses anything past the 64-bit range.
    const qint64 v = Text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

std::optional<qint64> TRecordListModel::CounterOf(QByteArrayView Bytes)
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

qint64 TRecordListModel::SaturatingAdd(qint64 A, qint64 B)
{
    qint64 sum = 0;
    if (!__builtin_add_overflow(A, B, &sum))
        return sum;
    return B > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

void TRecordListModel::Reshape(TRecordTable& Records) const
{
    const int from = Records.FieldsPerRow(), to = FieldsPerRow();
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
    for (size_t k = 0; k < ends.size(); ++k) {
        const quint32 begin = read;
        read = ends[k];
        if (field < to) {
            const TClean clean = Cleaning[field];
            written =
                CleanInto(text, begin, read, written, clean != TClean::Keep, clean == TClean::UnquoteTrim);
            ends[kept++] = written;
        }
        field = field + 1 == from ? 0 : field + 1;
    }
    ends.resize(kept);
    shaped.Text.resize(written);
    Records = std::move(shaped);
}

void TRecordListModel::SetRows(TRecordTable Records)
{
    Reshape(Records);
    beginResetModel();
    Rows = std::move(Records);
    const quint32 n = quint32(Rows.RowCount());
    Totals = QList<qint64>(Headers.size(), 0);
    for (int c : CounterColumns) {
        qint64 total = 0;
        for (quint32 r = 0; r < n; ++r)
            if (const auto v = CounterOf(Cell(r, c + 1)))
                total = SaturatingAdd(total, *v);
        Totals[c] = total;
    }
    FirstRanks = Headers.isEmpty() ? std::vector<quint32>() : Ranks(0, FirstRankCount);
    View = OrderedRows();
    ApplyFind();
    endResetModel();
}

std::vector<quint32> TRecordListModel::TextRanks(int Field, quint32& Count) const
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
        const QByteArrayView text = Cell(r, Field);
        size_t s = qHash(text, HashSeed) & (buckets - 1);
        while (table[s] != 0 && Cell(firstRow[table[s] - 1], Field) != text)
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
        keys.emplace_back(Cell(firstRow[d], Field), d);
    auto order = [&](const TSortKey& a, const TSortKey& b) {
        if (const int k = KeyOrder(a, b))
            return k;
        return CompareListBytes(Cell(firstRow[a.Item], Field), Cell(firstRow[b.Item], Field));
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

namespace
{

// Ranks of numbers per stored row, lowest first; Of(r) gives row r's
// number or nothing, and nothing sorts below every number.
template <class T, class F> std::vector<quint32> NumberRanks(quint32 n, F Of, quint32& Count)
{
    struct TValue {
        T Value;
        quint32 Row;
        bool Number;
    };
    std::vector<TValue> values;
    values.reserve(n);
    for (quint32 r = 0; r < n; ++r) {
        const std::optional<T> v = Of(r);
        values.push_back({v.value_or(T(0)), r, v.has_value()});
    }
    // A text that is no number sorts below every number.
    auto less = [](const TValue& a, const TValue& b) {
        return a.Number != b.Number ? b.Number : a.Number && a.Value < b.Value;
    };
    std::sort(values.begin(), values.end(), less);
    std::vector<quint32> rank(n);
    quint32 next = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0 && less(values[i - 1], values[i]))
            ++next;
        rank[values[i].Row] = next;
    }
    Count = values.empty() ? 0 : next + 1;
    return rank;
}

} // namespace

std::vector<quint32> TRecordListModel::CounterRanks(int Field, quint32& Count) const
{
    return NumberRanks<qint64>(
        quint32(Rows.RowCount()), [&](quint32 r) { return CounterOf(Cell(r, Field)); }, Count);
}

std::vector<quint32> TRecordListModel::ComputedRanks(int Column, quint32& Count) const
{
    return NumberRanks<double>(
        quint32(Rows.RowCount()), [&](quint32 r) { return ComputedValue(Column, r); }, Count);
}

std::vector<quint32> TRecordListModel::Ranks(int Column, quint32& Count) const
{
    if (IsComputed(Column))
        return ComputedRanks(Column, Count);
    return IsCounter(Column) ? CounterRanks(Column + 1, Count) : TextRanks(Column + 1, Count);
}

std::vector<quint32> TRecordListModel::OrderedRows() const
{
    std::vector<quint32> rows(size_t(Rows.RowCount()));
    std::iota(rows.begin(), rows.end(), 0u);
    if (rows.empty() || Headers.isEmpty())
        return rows;
    const bool descending = SortedOrder == Qt::DescendingOrder;
    // The natural order: the first column ascending, then as the reply
    // brought them. A sort by another column keeps that order among ties.
    rows = ByRank(rows, FirstRanks, FirstRankCount, SortedBy == 0 && descending);
    if (SortedBy > 0) {
        quint32 count = 0;
        const std::vector<quint32> by = Ranks(SortedBy, count);
        rows = ByRank(rows, by, count, descending);
    }
    return rows;
}

void TRecordListModel::sort(int column, Qt::SortOrder order)
{
    SortedBy = (column >= 0 && column < columnCount()) ? column : -1;
    SortedOrder = order;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<quint32> sorted = OrderedRows();
    // The rows the find text leaves keep standing out; only their order
    // changes.
    std::vector<quint32> shown;
    if (Filtered) {
        shown.reserve(Shown.size());
        for (quint32 r : sorted)
            if (Matching[r])
                shown.push_back(r);
    }
    const std::vector<quint32>& shownOrder = Filtered ? shown : sorted;
    std::vector<quint32> shownAt(sorted.size());
    for (quint32 i = 0; i < shownOrder.size(); ++i)
        shownAt[shownOrder[i]] = i;

    // Keep selections and current rows on the same records.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.append(index(int(shownAt[StoredAt(i.row())]), i.column()));
    View = std::move(sorted);
    Shown = std::move(shown);
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- finding rows ------------------------------------------------------------

namespace
{

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

void TRecordListModel::SetFindText(const QString& Text)
{
    if (Text == Find)
        return;
    beginResetModel();
    Find = Text;
    // Case is ignored the way QString compares without case: letter by
    // letter after folding. An ASCII cell can then only hold a text that
    // folds to ASCII, and for those the bytes are compared directly.
    FindFolded = Text.toCaseFolded();
    bool ascii = true;
    for (const QChar c : FindFolded)
        ascii = ascii && c.unicode() < 0x80;
    FindAscii = ascii ? FindFolded.toLatin1() : QByteArray();
    ApplyFind();
    endResetModel();
}

bool TRecordListModel::RowMatches(quint32 Stored) const
{
    for (int c : FindColumns) {
        const QByteArrayView cell = Cell(Stored, c + 1);
        if (IsAscii(cell)) {
            if (!FindAscii.isEmpty() && ContainsFolded(cell, FindAscii))
                return true;
        } else if (ReplyBytesText(cell).contains(FindFolded, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

void TRecordListModel::ApplyFind()
{
    Filtered = !Find.isEmpty();
    Shown.clear();
    Matching.clear();
    ShownTotals.clear();
    if (!Filtered) {
        Shown.shrink_to_fit();
        Matching.shrink_to_fit();
        return;
    }
    const quint32 n = quint32(Rows.RowCount());
    Matching.assign(n, 0);
    for (quint32 r = 0; r < n; ++r)
        Matching[r] = RowMatches(r) ? 1 : 0;
    for (quint32 r : View)
        if (Matching[r])
            Shown.push_back(r);
    ShownTotals = QList<qint64>(Headers.size(), 0);
    for (int c : CounterColumns) {
        qint64 total = 0;
        for (quint32 r : Shown)
            if (const auto v = CounterOf(Cell(r, c + 1)))
                total = SaturatingAdd(total, *v);
        ShownTotals[c] = total;
    }
}
