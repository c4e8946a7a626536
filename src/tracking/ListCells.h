#pragma once
// The cells of the lists as the reply brings them: what a field loses before
// it is shown, and how a counter cell reads as a number and adds up. The
// lists keep a million records in one block of bytes (TRecordTable), so all
// of this works on the bytes in place.
#include "tracking/RecordTable.h"

#include <QList>
#include <functional>
#include <optional>
#include <vector>

// What a field loses before it is shown: nothing, every double quote, or the
// quotes and then the blanks and control characters at its ends.
enum class TFieldClean { Keep, Unquote, UnquoteTrim };

// Cuts the records down to one field per entry of Cleaning and cleans each
// field in place. A table with fewer fields per record than that becomes an
// empty table of the new width. Read, when given, is handed field ReadField
// of each record (by its row) as the decoder left it, kept or not: on the
// way, while its bytes are still at hand.
void ReshapeRecords(TRecordTable& Records, const QList<TFieldClean>& Cleaning, int ReadField = -1,
                    const std::function<void(qsizetype Row, QByteArrayView Bytes)>& Read = {});

// A counter as the lists read it: an optionally signed decimal integer that
// fits 64 bits, blanks around it allowed. Anything else is nothing.
std::optional<qint64> ParseCounter(const QString& Text);
// ParseCounter for a cell's bytes (plain digits take a shorter way).
std::optional<qint64> CounterOf(QByteArrayView Bytes);
// Adds without wrapping: a sum past the 64-bit range stays at its edge.
qint64 SaturatingAdd(qint64 A, qint64 B);

// The sums of the counter fields over the given rows of Records (all rows
// when Rows is null); one entry per field, 0 where the field is no counter.
// What is not a number adds nothing.
QList<qint64> SumCounters(const TRecordTable& Records, const QList<int>& CounterFields,
                          const std::vector<quint32>* Rows = nullptr);
