#include "RecordListModel.h"

#include <algorithm>
#include <limits>
#include <numeric>

int CompareListText(const QString& A, const QString& B)
{
    const int folded = QString::compare(A, B, Qt::CaseInsensitive);
    if (folded != 0)
        return folded;
    return QString::compare(A, B, Qt::CaseSensitive);
}

TRecordListModel::TRecordListModel(QStringList HeaderTexts, QList<int> Counters, QObject* parent)
    : QAbstractTableModel(parent), Headers(std::move(HeaderTexts)), CounterColumns(std::move(Counters))
{
}

int TRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Rows.size());
}

int TRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(Headers.size());
}

QVariant TRecordListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const TStoredRow& r = Rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return r.Row.Texts.value(index.column());
    case IdRole:
        return r.Row.Id;
    default:
        return {};
    }
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < Headers.size())
        return Headers[section];
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
    ReplaceRows({});
}

QString TRecordListModel::IdAt(int Row) const
{
    if (Row < 0 || Row >= Rows.size())
        return {};
    return Rows[Row].Row.Id;
}

QString TRecordListModel::TextAt(int Row, int Column) const
{
    if (Row < 0 || Row >= Rows.size())
        return {};
    return Rows[Row].Row.Texts.value(Column);
}

std::optional<qint64> TRecordListModel::ValueAt(int Row, int Column) const
{
    if (Row < 0 || Row >= Rows.size() || !IsCounter(Column))
        return std::nullopt;
    return Rows[Row].Values.value(Column);
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

qint64 TRecordListModel::SaturatingAdd(qint64 A, qint64 B)
{
    qint64 sum = 0;
    if (!__builtin_add_overflow(A, B, &sum))
        return sum;
    return B > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

qint64 TRecordListModel::ColumnTotal(int Column) const
{
    qint64 total = 0;
    if (!IsCounter(Column))
        return total;
    for (const TStoredRow& r : Rows)
        if (const auto v = r.Values.value(Column))
            total = SaturatingAdd(total, *v);
    return total;
}

bool TRecordListModel::Before(const TStoredRow& A, const TStoredRow& B) const
{
    if (SortedBy >= 0 && SortedBy < Headers.size()) {
        int c = 0;
        if (IsCounter(SortedBy)) {
            // A text that is no number sorts below every number.
            const std::optional<qint64> a = A.Values.value(SortedBy), b = B.Values.value(SortedBy);
            if (a != b)
                c = !a ? -1 : !b ? 1 : (*a < *b ? -1 : 1);
        } else {
            c = CompareListText(A.Row.Texts.value(SortedBy), B.Row.Texts.value(SortedBy));
        }
        if (c != 0)
            return SortedOrder == Qt::AscendingOrder ? c < 0 : c > 0;
    }
    // Ties, and the natural order: the first column ascending, then as the
    // reply brought them.
    const int c = CompareListText(A.Row.Texts.value(0), B.Row.Texts.value(0));
    if (c != 0)
        return c < 0;
    return A.Arrival < B.Arrival;
}

void TRecordListModel::Order(QList<TStoredRow>& List) const
{
    std::sort(List.begin(), List.end(),
              [this](const TStoredRow& a, const TStoredRow& b) { return Before(a, b); });
}

void TRecordListModel::ReplaceRows(const QList<TListRow>& NewRows)
{
    QList<TStoredRow> stored;
    stored.reserve(NewRows.size());
    for (const TListRow& row : NewRows) {
        TStoredRow s;
        s.Row = row;
        s.Row.Texts.resize(Headers.size());
        s.Arrival = int(stored.size());
        if (!CounterColumns.isEmpty()) {
            s.Values.resize(Headers.size());
            for (int c : CounterColumns)
                s.Values[c] = ParseCounter(s.Row.Texts[c]);
        }
        stored.append(std::move(s));
    }
    Order(stored);
    beginResetModel();
    Rows = std::move(stored);
    endResetModel();
}

void TRecordListModel::sort(int column, Qt::SortOrder order)
{
    SortedBy = (column >= 0 && column < Headers.size()) ? column : -1;
    SortedOrder = order;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> perm(Rows.size());
    std::iota(perm.begin(), perm.end(), 0);
    std::sort(perm.begin(), perm.end(), [this](int a, int b) { return Before(Rows[a], Rows[b]); });

    QList<TStoredRow> sorted;
    sorted.reserve(Rows.size());
    std::vector<int> newRowOf(Rows.size());
    for (int i = 0; i < int(perm.size()); ++i) {
        newRowOf[perm[i]] = i;
        sorted.append(Rows[perm[i]]);
    }
    Rows = std::move(sorted);

    // Keep selections and current rows on the same records.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.append(index(newRowOf[i.row()], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
