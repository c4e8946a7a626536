#include "RecordListModel.h"

#include "tracking/ListCells.h"
#include "tracking/ListOrder.h"

#include <QSet>
#include <QTimer>
#include <algorithm>
#include <numeric>

TRecordListModel::TRecordListModel(QStringList HeaderTexts, QList<int> Counters,
                                   QList<TFieldClean> FieldCleaning, QObject* parent,
                                   QStringList ComputedHeaderTexts, QList<int> FindIn)
    : QAbstractTableModel(parent), Headers(std::move(HeaderTexts)), CounterColumns(std::move(Counters)),
      Cleaning(std::move(FieldCleaning)), Rows(int(Headers.size()) + 1),
      Computed(std::move(ComputedHeaderTexts)), FindColumns(std::move(FindIn))
{
    Cleaning.resize(FieldsPerRow(), TFieldClean::Keep);
    MarkClock.start();
    MarkTimer = new QTimer(this);
    MarkTimer->setSingleShot(true);
    connect(MarkTimer, &QTimer::timeout, this, &TRecordListModel::ExpireMarks);
}

int TRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int TRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Headers.size() + Computed.size()) + (TimeField >= 0 ? 1 : 0);
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
    case MarkRole:
        return IsMarked(index.row());
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
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && IsTimeColumn(section))
        return TimeHeader;
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
    if (IsTimeColumn(Column)) {
        const qint64 t = Times[StoredAt(Row)];
        return t == NoTime ? QString() : Clock.Text(t);
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

std::optional<qint64> TRecordListModel::TimeAt(int Row) const
{
    if (Row < 0 || Row >= RowCount() || TimeField < 0 || Times[StoredAt(Row)] == NoTime)
        return std::nullopt;
    return Times[StoredAt(Row)];
}

void TRecordListModel::SetTimeField(int Field, const QString& Header)
{
    beginResetModel();
    TimeField = Field;
    TimeHeader = Header;
    Rows = TRecordTable(FieldsPerRow());
    Times.clear();
    DeriveFromRows();
    endResetModel();
}

std::vector<qint64> TRecordListModel::ShapeRecords(TRecordTable& Records) const
{
    // The times are read while the records are cut down to the columns,
    // which drops them.
    std::vector<qint64> times;
    if (TimeField < 0) {
        ReshapeRecords(Records, Cleaning);
        return times;
    }
    times.assign(size_t(Records.RowCount()), NoTime);
    ReshapeRecords(Records, Cleaning, TimeField, [&times](qsizetype Row, QByteArrayView Bytes) {
        if (const auto t = daterange::ParseWireInstant(Bytes))
            times[size_t(Row)] = *t;
    });
    times.resize(size_t(Records.RowCount()), NoTime);
    return times;
}

void TRecordListModel::ForgetOrders()
{
    RankCache.clear();
    RankCounts.clear();
    NameOrder.clear();
    FirstRanksStale = true;
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

void TRecordListModel::SetRows(TRecordTable Records)
{
    beginResetModel();
    Times = ShapeRecords(Records);
    MarkedUntil.clear();
    MarkTimer->stop();
    Rows = std::move(Records);
    DeriveFromRows();
    endResetModel();
}

void TRecordListModel::DeriveFromRows()
{
    ForgetOrders();
    Totals = SumCounters(Rows, CounterFields());
    FirstRanks = Headers.isEmpty() ? std::vector<quint32>() : Ranks(0, FirstRankCount);
    FirstRanksStale = false;
    FindMaxId();
    View = OrderedRows();
    ApplyFind();
}

std::vector<quint32> TRecordListModel::CounterRanks(int Field, quint32& Count) const
{
    std::vector<std::optional<qint64>> values(size_t(Rows.RowCount()));
    for (quint32 r = 0; r < values.size(); ++r)
        values[r] = CounterOf(Cell(r, Field));
    return IntegerRanks(values, Count);
}

std::vector<quint32> TRecordListModel::ComputedRanks(int Column, quint32& Count) const
{
    return NumberRanks<double>(
        quint32(Rows.RowCount()), [&](quint32 r) { return ComputedValue(Column, r); }, Count);
}

std::vector<quint32> TRecordListModel::TimeRanks(quint32& Count) const
{
    return IntegerRanks(Times, NoTime, Count);
}

const std::vector<quint32>& TRecordListModel::Ranks(int Column, quint32& Count) const
{
    // Worked out once per column and fill: sorting again, either way
    // round, only reorders.
    static const std::vector<quint32> none;
    Count = 0;
    if (Column < 0 || Column >= columnCount())
        return none;
    if (RankCache.size() != size_t(columnCount())) {
        RankCache.assign(size_t(columnCount()), {});
        RankCounts.assign(size_t(columnCount()), 0);
    }
    if (RankCache[size_t(Column)].empty() && Rows.RowCount() > 0)
        RankCache[size_t(Column)] = ColumnRanks(Column, RankCounts[size_t(Column)]);
    Count = RankCounts[size_t(Column)];
    return RankCache[size_t(Column)];
}

std::vector<quint32> TRecordListModel::ColumnRanks(int Column, quint32& Count) const
{
    if (IsTimeColumn(Column))
        return TimeRanks(Count);
    if (IsComputed(Column))
        return ComputedRanks(Column, Count);
    return IsCounter(Column) ? CounterRanks(Column + 1, Count) : TextRanks(Rows, Column + 1, Count);
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
    EnsureFirstRanks();
    if (SortedBy == 0 && descending)
        return ByRank(rows, FirstRanks, FirstRankCount, true);
    if (NameOrder.size() != rows.size())
        NameOrder = ByRank(rows, FirstRanks, FirstRankCount, false);
    if (SortedBy <= 0)
        return NameOrder;
    quint32 count = 0;
    const std::vector<quint32>& by = Ranks(SortedBy, count);
    return ByRank(NameOrder, by, count, descending);
}

QList<int> TRecordListModel::InNameOrder(QList<int> RowList) const
{
    EnsureFirstRanks();
    const auto key = [this](int Row) {
        const quint32 stored = StoredAt(Row);
        return std::pair(FirstRanks.empty() ? 0u : FirstRanks[stored], stored);
    };
    std::sort(RowList.begin(), RowList.end(), [&](int A, int B) { return key(A) < key(B); });
    return RowList;
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

void TRecordListModel::SetFindText(const QString& Text)
{
    if (Text == Find.Typed())
        return;
    beginResetModel();
    Find = TFindText(Text);
    ApplyFind();
    endResetModel();
}

bool TRecordListModel::RowMatches(quint32 Stored) const
{
    for (int c : FindColumns)
        if (Find.FoundIn(Cell(Stored, c + 1)))
            return true;
    return false;
}

void TRecordListModel::ApplyFind()
{
    Filtered = !Find.IsEmpty();
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
    ShownTotals = SumCounters(Rows, CounterFields(), &Shown);
}

QList<int> TRecordListModel::CounterFields() const
{
    QList<int> fields;
    for (int c : CounterColumns)
        fields << c + 1;
    return fields;
}

namespace
{

void AppendRowOf(TRecordTable& To, const TRecordTable& From, qsizetype Row)
{
    for (int f = 0; f < From.FieldsPerRow(); ++f) {
        const QByteArrayView field = From.Field(Row, f);
        To.Text.append(field.data(), field.size());
        To.Ends.push_back(quint32(To.Text.size()));
    }
}

bool SameRow(const TRecordTable& A, qsizetype RowA, const TRecordTable& B, qsizetype RowB)
{
    for (int f = 0; f < A.FieldsPerRow(); ++f)
        if (A.Field(RowA, f) != B.Field(RowB, f))
            return false;
    return true;
}

} // namespace

TRecordListModel::TMerge TRecordListModel::MergeRows(TRecordTable Upserts, const QStringList& RemovedIds)
{
    return Merge(std::move(Upserts), RemovedIds, false);
}

TRecordListModel::TMerge TRecordListModel::MergeWhole(TRecordTable Records)
{
    return Merge(std::move(Records), {}, true);
}

TRecordListModel::TMerge TRecordListModel::Merge(TRecordTable Upserts, const QStringList& RemovedIds,
                                                 bool Whole)
{
    TMerge result;
    const std::vector<qint64> upTimes = ShapeRecords(Upserts);
    const bool timed = TimeField >= 0;
    // The last record of an id is the one that counts.
    QHash<QByteArrayView, qsizetype> upsertOf;
    for (qsizetype u = 0; u < Upserts.RowCount(); ++u)
        upsertOf.insert(Upserts.Field(u, 0), u);
    QList<QByteArray> removedBytes;
    for (const QString& id : RemovedIds)
        removedBytes << id.toLocal8Bit();
    QSet<QByteArrayView> removed;
    for (const QByteArray& id : removedBytes)
        removed.insert(id);
    if (upsertOf.isEmpty() && removed.isEmpty() && !Whole)
        return result;
    const quint32 n = quint32(Rows.RowCount());
    if (!Whole && removed.isEmpty() && MaxId && n > 0) {
        // Only records past the highest id: all of them new, and the rows
        // need not be looked through.
        std::vector<qsizetype> added;
        quint64 top = *MaxId;
        bool allNew = true;
        for (qsizetype u = 0; u < Upserts.RowCount() && allNew; ++u) {
            bool ok = false;
            const quint64 id = Upserts.Field(u, 0).toULongLong(&ok);
            allNew = ok && id > *MaxId;
            if (allNew && upsertOf.value(Upserts.Field(u, 0)) == u) {
                added.push_back(u);
                top = std::max(top, id);
            }
        }
        if (allNew) {
            result.Added = int(added.size());
            AppendInOrder(Upserts, added, upTimes);
            MaxId = top;
            return result;
        }
    }

    // The rows stay where the reply put them (so ties keep their order),
    // changed ones in place and new ones after them.
    TRecordTable merged(FieldsPerRow());
    merged.Text.reserve(Rows.Text.size() + Upserts.Text.size());
    merged.Ends.reserve(Rows.Ends.size() + Upserts.Ends.size());
    std::vector<qint64> mergedTimes;
    if (timed)
        mergedTimes.reserve(Times.size() + upTimes.size());
    std::vector<qint64> newOf(n, -1);
    std::vector<char> placed(size_t(Upserts.RowCount()), 0);
    std::vector<quint32> marked;
    for (quint32 r = 0; r < n; ++r) {
        const QByteArrayView id = Rows.Field(r, 0);
        const auto u = upsertOf.constFind(id);
        if (removed.contains(id) || (Whole && u == upsertOf.cend())) {
            ++result.Removed;
            continue;
        }
        newOf[r] = merged.RowCount();
        if (u == upsertOf.cend() || placed[size_t(*u)] || SameRow(Rows, r, Upserts, *u)) {
            if (u != upsertOf.cend())
                placed[size_t(*u)] = 1;
            AppendRowOf(merged, Rows, r);
            if (timed)
                mergedTimes.push_back(Times[r]);
            continue;
        }
        placed[size_t(*u)] = 1;
        marked.push_back(quint32(merged.RowCount()));
        AppendRowOf(merged, Upserts, *u);
        if (timed)
            mergedTimes.push_back(upTimes[size_t(*u)]);
        ++result.Changed;
    }
    for (qsizetype u = 0; u < Upserts.RowCount(); ++u) {
        const QByteArrayView id = Upserts.Field(u, 0);
        if (placed[size_t(u)] || upsertOf.value(id) != u || removed.contains(id))
            continue;
        marked.push_back(quint32(merged.RowCount()));
        AppendRowOf(merged, Upserts, u);
        if (timed)
            mergedTimes.push_back(upTimes[size_t(u)]);
        ++result.Added;
    }
    if (merged.Text.size() > TRecordTable::MaxText) {
        result = TMerge();
        result.Applied = false;
        return result;
    }
    if (!result.Any())
        return result;
    if (result.Changed == 0 && result.Removed == 0 && n > 0) {
        // New rows only, the usual live refresh of the sales: the rows there
        // are stay as they were, in their order.
        std::vector<qsizetype> added;
        for (qsizetype u = 0; u < Upserts.RowCount(); ++u) {
            const QByteArrayView id = Upserts.Field(u, 0);
            if (!placed[size_t(u)] && upsertOf.value(id) == u && !removed.contains(id))
                added.push_back(u);
        }
        AppendInOrder(Upserts, added, upTimes);
        FindMaxId();
        return result;
    }

    // Rows come and go; the selection follows its records.
    const THeldRows held = HoldRows();

    Rows = std::move(merged);
    if (timed)
        Times = std::move(mergedTimes);
    DeriveFromRows();

    QHash<quint32, qint64> marks;
    for (auto m = MarkedUntil.cbegin(); m != MarkedUntil.cend(); ++m)
        if (m.key() < n && newOf[m.key()] >= 0)
            marks.insert(quint32(newOf[m.key()]), m.value());
    const qint64 until = MarkClock.elapsed() + MarkMs;
    for (quint32 stored : marked)
        marks.insert(stored, until);
    MarkedUntil = std::move(marks);
    if (!MarkedUntil.isEmpty())
        MarkTimer->start(MarkMs);

    PlaceHeldRows(held, &newOf);
    return result;
}

bool TRecordListModel::IsMarked(int Row) const
{
    if (MarkedUntil.isEmpty() || Row < 0 || Row >= RowCount())
        return false;
    const auto m = MarkedUntil.constFind(StoredAt(Row));
    return m != MarkedUntil.cend() && *m > MarkClock.elapsed();
}

void TRecordListModel::ExpireMarks()
{
    const qint64 now = MarkClock.elapsed();
    qint64 next = -1;
    for (auto m = MarkedUntil.begin(); m != MarkedUntil.end();) {
        if (*m <= now) {
            m = MarkedUntil.erase(m);
            continue;
        }
        next = next < 0 ? *m : std::min(next, *m);
        ++m;
    }
    if (next >= 0)
        MarkTimer->start(int(next - now));
    // The marks go from the rows shown; repainting them all is as cheap as
    // working out which ones they were.
    if (RowCount() > 0)
        emit dataChanged(index(0, 0), index(RowCount() - 1, columnCount() - 1), {MarkRole});
}

void TRecordListModel::EnsureFirstRanks() const
{
    if (!FirstRanksStale)
        return;
    FirstRanks = Headers.isEmpty() ? std::vector<quint32>() : Ranks(0, FirstRankCount);
    FirstRanksStale = false;
}

namespace
{

// Numbers as the ranks order them: nothing below every number.
template <class T> int CompareNumbers(const std::optional<T>& A, const std::optional<T>& B)
{
    if (A.has_value() != B.has_value())
        return A ? 1 : -1;
    if (!A || *A == *B)
        return 0;
    return *A < *B ? -1 : 1;
}

} // namespace

bool TRecordListModel::Before(quint32 A, quint32 B) const
{
    const bool descending = SortedOrder == Qt::DescendingOrder;
    // The order of OrderedRows: the sort column, then the first column,
    // then as the reply brought them.
    if (SortedBy > 0) {
        int c = 0;
        const auto timeOf = [this](quint32 Stored) {
            return Times[Stored] == NoTime ? std::nullopt : std::optional<qint64>(Times[Stored]);
        };
        if (IsTimeColumn(SortedBy))
            c = CompareNumbers(timeOf(A), timeOf(B));
        else if (IsComputed(SortedBy))
            c = CompareNumbers(ComputedValue(SortedBy, A), ComputedValue(SortedBy, B));
        else if (IsCounter(SortedBy))
            c = CompareNumbers(CounterOf(Cell(A, SortedBy + 1)), CounterOf(Cell(B, SortedBy + 1)));
        else
            c = CompareListBytes(Cell(A, SortedBy + 1), Cell(B, SortedBy + 1));
        if (c != 0)
            return descending ? c > 0 : c < 0;
    }
    if (!Headers.isEmpty()) {
        const int c = CompareListBytes(Cell(A, 1), Cell(B, 1));
        if (c != 0)
            return SortedBy == 0 && descending ? c > 0 : c < 0;
    }
    return A < B;
}

void TRecordListModel::AppendInOrder(const TRecordTable& Added, const std::vector<qsizetype>& Which,
                                     const std::vector<qint64>& AddedTimes)
{
    const THeldRows held = HoldRows();

    const quint32 first = quint32(Rows.RowCount());
    for (qsizetype u : Which) {
        AppendRowOf(Rows, Added, u);
        if (TimeField >= 0)
            Times.push_back(size_t(u) < AddedTimes.size() ? AddedTimes[size_t(u)] : NoTime);
    }
    const quint32 n = quint32(Rows.RowCount());
    // The totals grow by what the new rows hold.
    std::vector<quint32> newRows(n - first);
    std::iota(newRows.begin(), newRows.end(), first);
    const QList<qint64> more = SumCounters(Rows, CounterFields(), &newRows);
    for (qsizetype f = 0; f < Totals.size() && f < more.size(); ++f)
        Totals[f] = SaturatingAdd(Totals[f], more[f]);
    ForgetOrders();

    // Each new row goes where the order puts it among the old ones.
    std::sort(newRows.begin(), newRows.end(), [&](quint32 a, quint32 b) { return Before(a, b); });
    std::vector<quint32> view;
    view.reserve(n);
    auto at = View.begin();
    for (quint32 r : newRows) {
        const auto to =
            std::upper_bound(at, View.end(), r, [&](quint32 a, quint32 b) { return Before(a, b); });
        view.insert(view.end(), at, to);
        view.push_back(r);
        at = to;
    }
    view.insert(view.end(), at, View.end());
    View = std::move(view);
    if (Filtered) {
        Matching.resize(n, 0);
        for (quint32 r = first; r < n; ++r)
            Matching[r] = RowMatches(r) ? 1 : 0;
        Shown.clear();
        for (quint32 r : View)
            if (Matching[r])
                Shown.push_back(r);
        ShownTotals = SumCounters(Rows, CounterFields(), &Shown);
    }

    const qint64 until = MarkClock.elapsed() + MarkMs;
    for (quint32 r = first; r < n; ++r)
        MarkedUntil.insert(r, until);
    MarkTimer->start(MarkMs);

    PlaceHeldRows(held, nullptr);
}

// A merge moves rows in the middle of a layout change: every column of a
// row moves alike, as in a sort, so the selection follows rows rather than
// every cell.
TRecordListModel::THeldRows TRecordListModel::HoldRows()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    THeldRows held;
    held.From = persistentIndexList();
    held.Stored.reserve(size_t(held.From.size()));
    for (const QModelIndex& i : held.From)
        held.Stored.push_back(StoredAt(i.row()));
    return held;
}

// NewStoredOf gives each old stored row its new one (-1: gone); without it
// the stored rows kept their places.
void TRecordListModel::PlaceHeldRows(const THeldRows& Held, const std::vector<qint64>* NewStoredOf)
{
    const std::vector<quint32>& shownOrder = Filtered ? Shown : View;
    std::vector<qint64> shownAt(size_t(Rows.RowCount()), -1);
    for (size_t i = 0; i < shownOrder.size(); ++i)
        shownAt[shownOrder[i]] = qint64(i);
    QModelIndexList to;
    to.reserve(Held.From.size());
    for (qsizetype k = 0; k < Held.From.size(); ++k) {
        const quint32 old = Held.Stored[size_t(k)];
        const qint64 stored = NewStoredOf ? (*NewStoredOf)[old] : qint64(old);
        const qint64 row = stored < 0 ? -1 : shownAt[size_t(stored)];
        to.append(row < 0 ? QModelIndex() : index(int(row), Held.From[k].column()));
    }
    changePersistentIndexList(Held.From, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TRecordListModel::FindMaxId()
{
    quint64 top = 0;
    for (qsizetype r = 0; r < Rows.RowCount(); ++r) {
        bool ok = false;
        const quint64 id = Rows.Field(r, 0).toULongLong(&ok);
        if (!ok) {
            MaxId.reset();
            return;
        }
        top = std::max(top, id);
    }
    MaxId = top;
}
