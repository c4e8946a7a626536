#include "RecordListModel.h"

#include "tracking/ListOrder.h"

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
    RankCache.clear();
    NameOrder.clear();
    NameOrder.clear();
    Totals = SumCounters(Rows, CounterFields());
    FirstRanks.clear();
    FirstRankCount = 0;
    View.clear();
    ApplyFind();
    endResetModel();
}

void TRecordListModel::ReadTimes(const TRecordTable& Records)
{
    Times.clear();
    if (TimeField < 0)
        return;
    const quint32 n = quint32(Records.RowCount());
    Times.resize(n, NoTime);
    if (Records.FieldsPerRow() <= TimeField)
        return;
    for (quint32 r = 0; r < n; ++r)
        if (const auto t = daterange::ParseWireInstant(Records.Field(r, TimeField)))
            Times[r] = *t;
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
    ReadTimes(Records);
    ReshapeRecords(Records, Cleaning);
    if (TimeField >= 0 && Times.size() != size_t(Records.RowCount()))
        Times.assign(size_t(Records.RowCount()), NoTime);
    Rows = std::move(Records);
    RankCache.clear();
    NameOrder.clear();
    Totals = SumCounters(Rows, CounterFields());
    FirstRanks = Headers.isEmpty() ? std::vector<quint32>() : Ranks(0, FirstRankCount);
    View = OrderedRows();
    ApplyFind();
    endResetModel();
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
    std::vector<std::optional<qint64>> values(Times.size());
    for (size_t r = 0; r < Times.size(); ++r)
        if (Times[r] != NoTime)
            values[r] = Times[r];
    return IntegerRanks(values, Count);
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
