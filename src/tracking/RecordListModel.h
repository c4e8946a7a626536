#pragma once
// What the affiliates and the sales lists have in common: read-only rows of
// texts, each carrying the record id that every later request about it
// sends, kept in ascending order of the first column unless the operator
// sorted by another one. Counter columns sort by their 64-bit value.
#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class TRecordListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // data() with this role gives the row's hidden record id.
    static constexpr int IdRole = Qt::UserRole + 1;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A column outside the list (-1 included) goes back to the order of the
    // first column. The choice is kept for later fills.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void Clear();
    int RowCount() const { return int(Rows.size()); }
    // Empty for a row outside the list.
    QString IdAt(int Row) const;
    QString TextAt(int Row, int Column) const;
    // The counter of a cell, or nothing when the text is not an integer or
    // the column holds no counters.
    std::optional<qint64> ValueAt(int Row, int Column) const;

    int SortColumn() const { return SortedBy; }
    Qt::SortOrder SortOrder() const { return SortedOrder; }

    // A counter as the lists read it: an optionally signed decimal integer
    // that fits 64 bits, blanks around it allowed. Anything else is nothing.
    static std::optional<qint64> ParseCounter(const QString& Text);
    // Adds without wrapping: a sum past the 64-bit range stays at its edge.
    static qint64 SaturatingAdd(qint64 A, qint64 B);

protected:
    struct TListRow {
        QStringList Texts; // one per column
        QString Id;
    };

    TRecordListModel(QStringList HeaderTexts, QList<int> Counters, QObject* parent);
    // Replaces every row (a model reset) and puts them in the current order.
    void ReplaceRows(const QList<TListRow>& NewRows);
    // Sum of a counter column over all rows; nothing adds what is not a number.
    qint64 ColumnTotal(int Column) const;

private:
    struct TStoredRow {
        TListRow Row;
        QList<std::optional<qint64>> Values; // per column; empty for text columns
        int Arrival = 0;                     // position in the reply, for ties
    };

    bool IsCounter(int Column) const { return CounterColumns.contains(Column); }
    bool Before(const TStoredRow& A, const TStoredRow& B) const;
    void Order(QList<TStoredRow>& List) const;

    QStringList Headers;
    QList<int> CounterColumns;
    QList<TStoredRow> Rows;
    int SortedBy = -1;
    Qt::SortOrder SortedOrder = Qt::AscendingOrder;
};

// Text order of the lists: case-insensitive first, so "adam" and "Adam"
// stand together, then case-sensitive so the order is total.
int CompareListText(const QString& A, const QString& B);
