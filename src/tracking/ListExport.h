#pragma once
// What the lists give to other programs: the shown rows as a CSV file for a
// spreadsheet, and selected rows as tab-separated text for the clipboard.
// Both carry a header row of column titles and the cells as shown, except
// that counters are written as plain numbers, and that a text cell that
// starts with "=", "+", "-", "@", a tab or a carriage return is written
// behind a "'" and in double quotes, so that no spreadsheet computes it.
#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;
class TRecordListModel;

namespace listexport
{

// Every row the model shows, in its order, with the given columns in the
// given order: RFC 4180 (fields with a comma, a quote or a line break are
// quoted, quotes doubled, CR LF after every line), UTF-8. Written in pieces,
// so a list of any length needs little memory beyond its own. False when
// the device refuses the bytes.
bool WriteCsv(const TRecordListModel& Model, const QList<int>& Columns, QIODevice& Out);

// WriteCsv into Path, replacing it in one step once all is written; a
// failure leaves the file as it was. Error is then a sentence naming the
// file and the reason.
bool SaveCsv(const TRecordListModel& Model, const QList<int>& Columns, const QString& Path, QString& Error);

// The header and the given model rows, cells joined by tabs, one line each.
// Tabs and line breaks inside a cell become blanks so the table stays a
// table when pasted.
QString TabText(const TRecordListModel& Model, const QList<int>& Columns, const QList<int>& Rows);

} // namespace listexport
