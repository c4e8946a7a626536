#include "ListExport.h"

#include "tracking/RecordListModel.h"

#include <QFileInfo>
#include <QSaveFile>

namespace listexport
{

namespace
{

constexpr qsizetype ChunkBytes = qsizetype(1) << 20;

bool IsAscii(QByteArrayView Bytes)
{
    for (const char c : Bytes)
        if (uchar(c) & 0x80)
            return false;
    return true;
}

// In double quotes, each quote doubled; Prefix goes inside the quotes.
void AppendQuoted(QByteArray& Out, QByteArrayView Prefix, QByteArrayView Utf8)
{
    Out.append('"');
    Out.append(Prefix);
    for (const char c : Utf8) {
        if (c == '"')
            Out.append('"');
        Out.append(c);
    }
    Out.append('"');
}

void AppendCsvField(QByteArray& Out, QByteArrayView Utf8)
{
    bool quote = false;
    for (const char c : Utf8)
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    if (quote)
        AppendQuoted(Out, {}, Utf8);
    else
        Out.append(Utf8);
}

// A text cell that starts like this would be taken by a spreadsheet for a
// formula to compute (and the lists hold what the public tracking script was
// sent), so it is written behind a "'" and in quotes, which makes it text.
bool StartsLikeFormula(QChar First)
{
    return First == QLatin1Char('=') || First == QLatin1Char('+') || First == QLatin1Char('-') ||
           First == QLatin1Char('@') || First == QLatin1Char('\t') || First == QLatin1Char('\r');
}

void AppendCsvText(QByteArray& Out, QByteArrayView Utf8)
{
    if (Utf8.isEmpty() || !StartsLikeFormula(QLatin1Char(Utf8.front()))) {
        AppendCsvField(Out, Utf8);
        return;
    }
    AppendQuoted(Out, "'", Utf8);
}

// A cell's UTF-8 bytes as exported: a counter as its plain number, ASCII as
// it came, anything else through its text (the reply's bytes are the
// system's 8-bit text, which need not be UTF-8).
void AppendCell(QByteArray& Out, const TRecordListModel& Model, int Row, int Column)
{
    if (Model.IsComputed(Column) || Model.IsTimeColumn(Column)) {
        Out.append(Model.TextAt(Row, Column).toLatin1());
        return;
    }
    if (Model.IsCounterColumn(Column))
        if (const auto v = Model.ValueAt(Row, Column)) {
            Out.append(QByteArray::number(*v));
            return;
        }
    const QByteArrayView bytes = Model.BytesAt(Row, Column);
    if (IsAscii(bytes))
        AppendCsvText(Out, bytes);
    else
        AppendCsvText(Out, Model.TextAt(Row, Column).toUtf8());
}

QString Tabless(QString Text)
{
    for (QChar& c : Text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return Text;
}

// A cell of the clipboard text: counters as their numbers, and text that
// starts like a formula behind a "'" and in quotes, as in the CSV.
QString TabCell(const TRecordListModel& Model, int Row, int Column)
{
    if (!Model.IsComputed(Column) && Model.IsCounterColumn(Column))
        if (const auto v = Model.ValueAt(Row, Column))
            return QString::number(*v);
    const QString text = Model.TextAt(Row, Column);
    if (text.isEmpty() || !StartsLikeFormula(text.front()))
        return Tabless(text);
    QString quoted = Tabless(text);
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QStringLiteral("\"'") + quoted + QLatin1Char('"');
}

} // namespace

bool WriteCsv(const TRecordListModel& Model, const QList<int>& Columns, QIODevice& Out)
{
    QByteArray chunk;
    chunk.reserve(ChunkBytes + 4096);
    for (int i = 0; i < Columns.size(); ++i) {
        if (i > 0)
            chunk.append(',');
        AppendCsvField(chunk, Model.headerData(Columns[i], Qt::Horizontal).toString().toUtf8());
    }
    chunk.append("\r\n");
    const int rows = Model.RowCount();
    for (int r = 0; r < rows; ++r) {
        for (int i = 0; i < Columns.size(); ++i) {
            if (i > 0)
                chunk.append(',');
            AppendCell(chunk, Model, r, Columns[i]);
        }
        chunk.append("\r\n");
        if (chunk.size() >= ChunkBytes) {
            if (Out.write(chunk) != chunk.size())
                return false;
            chunk.resize(0);
        }
    }
    return Out.write(chunk) == chunk.size();
}

bool SaveCsv(const TRecordListModel& Model, const QList<int>& Columns, const QString& Path, QString& Error)
{
    const QString shown = QFileInfo(Path).absoluteFilePath();
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly)) {
        Error = QStringLiteral("The list could not be exported to %1: %2").arg(shown, file.errorString());
        return false;
    }
    if (!WriteCsv(Model, Columns, file)) {
        Error = QStringLiteral("The list could not be exported to %1: %2").arg(shown, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        Error = QStringLiteral("The list could not be exported to %1: %2").arg(shown, file.errorString());
        return false;
    }
    return true;
}

QString TabText(const TRecordListModel& Model, const QList<int>& Columns, const QList<int>& Rows)
{
    QString out;
    for (int i = 0; i < Columns.size(); ++i) {
        if (i > 0)
            out += QLatin1Char('\t');
        out += Tabless(Model.headerData(Columns[i], Qt::Horizontal).toString());
    }
    out += QLatin1Char('\n');
    for (int r : Rows) {
        for (int i = 0; i < Columns.size(); ++i) {
            if (i > 0)
                out += QLatin1Char('\t');
            out += TabCell(Model, r, Columns[i]);
        }
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace listexport
