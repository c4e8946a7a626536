#pragma once
// What the affiliates and the sales lists have in common: read-only rows of
// texts, each carrying the record id that every later request about it
// sends, kept in ascending order of the first column unless the operator
// sorted by another one. Counter columns sort by their 64-bit value.
//
// The rows stay in the compact form the reply decoder made (one block of
// bytes, one end offset per cell); texts are made only for the cells a view
// asks for, and ordering works on ranks computed once per sort, so a list
// of a million records loads in a fraction of a second.
//
// That is why the model sorts and finds rows itself instead of sitting under
// a QSortFilterProxyModel: a proxy sorts and filters through data(), so it
// would have a string made for every cell of every row on each sort and each
// key typed in the find field, and it keeps a mapping of its own per row.
// The views talk to this model directly.
#include "tracking/DateRange.h"
#include "tracking/ListCells.h"
#include "tracking/ListFind.h"
#include "tracking/RecordTable.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <limits>
#include <optional>
#include <vector>

class QTimer;

class TRecordListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // data() with this role gives the row's hidden record id.
    static constexpr int IdRole = Qt::UserRole + 1;
    // True for a row that a merge brought or changed, for MarkMs after it.
    static constexpr int MarkRole = Qt::UserRole + 2;
    static constexpr int MarkMs = 4000;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A column outside the list (-1 included) goes back to the order of the
    // first column. The choice is kept for later fills.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Replaces every row (a model reset) with the records of a list reply,
    // put in the current order. Field 0 of a record is its id and field c+1
    // the text of column c; further fields are dropped. A table with too
    // few fields per record gives no rows.
    void SetRows(TRecordTable Records);
    void Clear();

    // What a merge did: records added, records whose fields changed, and
    // records removed. A record sent again unchanged counts as none.
    struct TMerge {
        int Added = 0;
        int Changed = 0;
        int Removed = 0;
        // False when the rows would not fit the table; nothing changed.
        bool Applied = true;
        bool Any() const { return Added + Changed + Removed > 0; }
    };
    // Brings the rows up to date with a list of changes instead of a new
    // list: Upserts (records as SetRows takes them) replace the rows with
    // their ids or are added, the rows with RemovedIds go. Unlike a fill,
    // the rows the operator selected stay selected, the current row stays
    // current, and the sort and find text stay; the rows added or changed
    // are marked for MarkMs. Merging the same changes twice changes
    // nothing the second time.
    TMerge MergeRows(TRecordTable Upserts, const QStringList& RemovedIds);
    // The same with a whole list: rows whose ids it lacks go.
    TMerge MergeWhole(TRecordTable Records);
    bool IsMarked(int Row) const;
    // Rows shown: all of them, or those the find text leaves.
    int RowCount() const { return int(Filtered ? Shown.size() : View.size()); }
    // Rows held, whether the find text hides some or not.
    int AllRowCount() const { return int(View.size()); }
    // Empty for a row outside the list.
    QString IdAt(int Row) const;
    QString TextAt(int Row, int Column) const;
    // The counter of a cell, or nothing when the text is not an integer or
    // the column holds no counters.
    std::optional<qint64> ValueAt(int Row, int Column) const;
    // The bytes of a record field's cell as the reply had them after
    // cleaning; empty for a computed column or outside the list.
    QByteArrayView BytesAt(int Row, int Column) const;
    bool IsComputed(int Column) const
    {
        return Column >= Headers.size() && Column < Headers.size() + Computed.size();
    }
    // The column of a record's UTC time, shown in local time; it follows
    // the computed ones.
    bool IsTimeColumn(int Column) const { return TimeField >= 0 && Column == TimeColumn(); }
    int TimeColumn() const { return TimeField >= 0 ? int(Headers.size() + Computed.size()) : -1; }
    // Seconds since 1970 of a row's time; nothing when the site sent none
    // that reads.
    std::optional<qint64> TimeAt(int Row) const;
    bool IsCounterColumn(int Column) const { return IsCounter(Column); }

    // Shows only the rows where one of the Columns contains Text, ignoring
    // case; an empty text shows every row again. The find text stays for
    // later fills and sorts. Changing it resets the model (and so drops the
    // selection, as a reload does).
    void SetFindText(const QString& Text);
    bool IsFiltered() const { return Filtered; }
    // Sum of a counter column over the rows shown.
    qint64 ShownTotal(int Column) const { return (Filtered ? ShownTotals : Totals).value(Column + 1); }
    // The rows in the order the list has unsorted: ascending by the first
    // column, equal names as the reply brought them.
    QList<int> InNameOrder(QList<int> Rows) const;

protected:
    // Cleaning has one entry per field: the id, then one per column.
    TRecordListModel(QStringList HeaderTexts, QList<int> Counters, QList<TFieldClean> Cleaning,
                     QObject* parent, QStringList ComputedHeaderTexts = {}, QList<int> FindColumns = {});
    // A computed column's number for a stored row (in reply order); these
    // columns follow the record's own and show one decimal.
    virtual std::optional<double> ComputedValue(int Column, quint32 Stored) const;
    // Field (counted on the wire, the id being 0) holds each record's UTC
    // time, "YYYY-MM-DD HH:MM:SS"; -1 for none. The rows are emptied.
    void SetTimeField(int Field, const QString& Header);
    // A counter of a stored row.
    std::optional<qint64> StoredCounter(quint32 Stored, int Column) const;
    // Sum of a counter column over all rows; nothing adds what is not a number.
    qint64 ColumnTotal(int Column) const { return Totals.value(Column + 1); }

private:
    TMerge Merge(TRecordTable Upserts, const QStringList& RemovedIds, bool Whole);
    bool IsCounter(int Column) const { return CounterColumns.contains(Column); }
    int FieldsPerRow() const { return int(Headers.size()) + 1; }
    quint32 StoredAt(int Row) const { return Filtered ? Shown[size_t(Row)] : View[size_t(Row)]; }
    bool RowMatches(quint32 Stored) const;
    // Works out which rows the find text leaves, and their totals.
    void ApplyFind();
    // The fields that hold the counter columns.
    QList<int> CounterFields() const;
    QByteArrayView Cell(quint32 Stored, int Field) const { return Rows.Field(Stored, Field); }
    // Stored rows in the order of the current sort.
    std::vector<quint32> OrderedRows() const;
    // Per stored row, the position of its value in the column's order
    // (equal values share one); Count is set to the number of ranks.
    const std::vector<quint32>& Ranks(int Column, quint32& Count) const;
    std::vector<quint32> ColumnRanks(int Column, quint32& Count) const;
    std::vector<quint32> CounterRanks(int Field, quint32& Count) const;
    std::vector<quint32> ComputedRanks(int Column, quint32& Count) const;
    std::vector<quint32> TimeRanks(quint32& Count) const;
    // Cuts the records down to the columns, cleaned, and gives the time of
    // each (NoTime for none) for a list with a time column, else nothing.
    std::vector<qint64> ShapeRecords(TRecordTable& Records) const;

    QStringList Headers;
    QList<int> CounterColumns;
    QList<TFieldClean> Cleaning;
    TRecordTable Rows; // in the order the reply brought them
    QStringList Computed;
    QList<int> FindColumns;
    int TimeField = -1;
    QString TimeHeader;
    // Per stored row; NoTime where the text did not read as a time.
    std::vector<qint64> Times;
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::min();
    daterange::TLocalClock Clock;
    std::vector<quint32> View; // stored row of each row, in the current order
    QList<qint64> Totals;      // per field
    // The find text, and while it hides rows: the rows of View it leaves,
    // whether each stored row is one of them, and the totals over them.
    TFindText Find;
    bool Filtered = false;
    std::vector<quint32> Shown;
    std::vector<char> Matching;
    QList<qint64> ShownTotals;
    // Marked rows (stored index) and when their mark ends, on MarkClock.
    QHash<quint32, qint64> MarkedUntil;
    QElapsedTimer MarkClock;
    QTimer* MarkTimer = nullptr;
    void ExpireMarks();
    // Ranks of the first column, which every order goes by; worked out
    // again when first needed after a merge that only added rows.
    mutable std::vector<quint32> FirstRanks;
    mutable quint32 FirstRankCount = 0;
    mutable bool FirstRanksStale = false;
    mutable std::vector<std::vector<quint32>> RankCache; // per column, empty until asked
    mutable std::vector<quint32> RankCounts;
    // Stored rows by the first column, ties as the reply brought them.
    mutable std::vector<quint32> NameOrder;
    // The highest record id, when every id is a number: records above it
    // are new without looking through the rows.
    std::optional<quint64> MaxId;
    void FindMaxId();
    void EnsureFirstRanks() const;
    // Whether stored row A stands before B in the current order.
    bool Before(quint32 A, quint32 B) const;
    // Adds rows at the end of Rows and puts each where the order wants it,
    // without working the order out again for every row. AddedTimes are
    // the times of those rows, for a list with a time column.
    void AppendInOrder(const TRecordTable& Added, const std::vector<qsizetype>& Which,
                       const std::vector<qint64>& AddedTimes);
    // After Rows has changed: the orders worked out for the old rows go.
    void ForgetOrders();
    // After Rows has been replaced: the totals, the order, the shown rows
    // and the highest id, worked out anew.
    void DeriveFromRows();
    // The persistent indexes before a merge, and their stored rows.
    struct THeldRows {
        QModelIndexList From;
        std::vector<quint32> Stored;
    };
    THeldRows HoldRows();
    void PlaceHeldRows(const THeldRows& Held, const std::vector<qint64>* NewStoredOf);
    int SortedBy = -1;
    Qt::SortOrder SortedOrder = Qt::AscendingOrder;
};
