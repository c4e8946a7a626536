#pragma once
// List replies of actions.php for tests: their rules carried out the plain
// way, one whole-text step after another (the program's decoder does all of
// it in one pass; tests and the fuzz target hold the two against each
// other), and records made up by hand.
#include "tracking/TrackingProtocol.h"
#include "util/UUtils.h"

#include <QByteArray>
#include <QList>

namespace tftest
{

struct TPlainList {
    TrackingProtocol::TListOutcome Outcome = TrackingProtocol::TListOutcome::NoOk;
    QList<QList<QByteArray>> Rows; // the first FieldCount pieces of each record
};

inline TPlainList DecodeListPlainly(const QByteArray& Reply, int FieldCount)
{
    using TrackingProtocol::TListOutcome;
    TPlainList result;
    if (!Reply.contains("OK"))
        return result;
    QByteArray text = Reply;
    text.replace("^OK", "");
    text.replace('^', "\r\n");
    text.replace("\",\"", ",");
    if (text == "OK") {
        result.Outcome = TListOutcome::OkOnly;
        return result;
    }
    // Lines end at CR, LF or CR LF; a break at the very end adds no line.
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    for (const QByteArray& line : lines) {
        QList<QByteArray> pieces;
        SplitByChar(',', line, pieces);
        if (pieces.size() < FieldCount) {
            result.Outcome = TListOutcome::Malformed;
            return result;
        }
        result.Rows.append(pieces.mid(0, FieldCount));
    }
    result.Outcome = TListOutcome::Decoded;
    return result;
}

// Records as the decoder hands them over, Fields fields each; shorter ones
// are left out, as the decoder never gives them.
inline TRecordTable Records(int Fields, const QList<QStringList>& Rows)
{
    TRecordTable table(Fields);
    for (const QStringList& r : Rows)
        table.AppendRow(r);
    return table;
}

// An affiliate record as the decoder hands it over: the first field keeps
// the opening quote and the last one the closing quote.
inline QStringList Affiliate(const QString& Id, const QString& Name, const QString& AffId, const QString& Oto,
                             const QString& Subs, const QString& Visitors, const QString& Hits)
{
    return {"\"" + Id, Name, AffId, Oto, Subs, Visitors, Hits + "\""};
}

// Whether the decoder's answer is the plain one.
inline bool SameAsPlain(const TrackingProtocol::TListReply& Decoded, const TPlainList& Plain)
{
    if (Decoded.Outcome != Plain.Outcome || Decoded.Rows.RowCount() != Plain.Rows.size())
        return false;
    // The text block holds the fields and nothing else.
    const std::vector<quint32>& ends = Decoded.Rows.Ends;
    if (Decoded.Rows.Text.size() != (ends.empty() ? 0 : qsizetype(ends.back())) ||
        ends.size() != size_t(Decoded.Rows.RowCount() * Decoded.Rows.FieldsPerRow()))
        return false;
    for (qsizetype r = 0; r < Plain.Rows.size(); ++r)
        for (int f = 0; f < Decoded.Rows.FieldsPerRow(); ++f)
            if (Decoded.Rows.Field(r, f) != Plain.Rows[r].value(f))
                return false;
    return true;
}

} // namespace tftest
