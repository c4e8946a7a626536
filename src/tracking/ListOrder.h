#pragma once
// The order of the lists. Sorting a million rows by comparing their texts
// over and over would take seconds, so an order is worked out once as ranks:
// per stored row, the position of its value among the distinct values of
// the column (equal values share one). Rows are then put in order by a
// counting sort over the ranks, which keeps ties in the order they came.
#include "tracking/RecordTable.h"

#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <optional>
#include <vector>

// Text order of the lists: case-insensitive first, so "adam" and "Adam"
// stand together, then case-sensitive so the order is total.
int CompareListText(const QString& A, const QString& B);
// The same order for texts as a reply's bytes, without making strings for
// texts that are plain ASCII.
int CompareListBytes(QByteArrayView A, QByteArrayView B);

// Ranks of the texts of one field of every row, in the order above; Count
// is set to the number of distinct ranks.
std::vector<quint32> TextRanks(const TRecordTable& Rows, int Field, quint32& Count);

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

// Ranks of 64-bit integers per stored row, as NumberRanks gives them, by a
// radix sort: a million counters or times take a few passes over memory
// instead of twenty million comparisons.
std::vector<quint32> IntegerRanks(const std::vector<std::optional<qint64>>& Values, quint32& Count);
// The same for values where None stands for nothing, as the times are kept.
std::vector<quint32> IntegerRanks(const std::vector<qint64>& Values, qint64 None, quint32& Count);

// Reorders Rows stably by the rank of each, lowest first (or highest). Rows
// are stored rows, each once; when they are all of them and every rank is
// a different one, each row's rank is its place.
std::vector<quint32> ByRank(const std::vector<quint32>& Rows, const std::vector<quint32>& Rank, quint32 Count,
                            bool Descending);
