#include "TrackingProtocol.h"

#include "util/UUtils.h"

#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TrackingProtocol
{

namespace
{

TFormFields Form(const QString& Action, const TFormFields& Fields = {})
{
    TFormFields form{{QStringLiteral("action"), Action}};
    form += Fields;
    form.append({QStringLiteral("end"), QString()});
    return form;
}

} // namespace

QString ScriptUrl(const QString& SiteUrl)
{
    return SiteUrl + QStringLiteral("/actions.php");
}

TFormFields CheckServerForm()
{
    return Form(QStringLiteral("1"));
}

TFormFields DeleteAffiliatesForm(const QString& Ids)
{
    return Form(QStringLiteral("2"), {{QStringLiteral("deleteids"), Ids}});
}

TFormFields LoadAffiliatesForm()
{
    return Form(QStringLiteral("3"));
}

TFormFields LoadSalesForm(int QueryType, const QString& Ids)
{
    return Form(QStringLiteral("4"), {{QStringLiteral("querytype"), QString::number(QueryType)},
                                      {QStringLiteral("reftype"), Ids}});
}

TFormFields DeleteSalesForm(const QString& Ids)
{
    return Form(QStringLiteral("5"), {{QStringLiteral("deleteids"), Ids}});
}

TFormFields AddAffiliateForm(const QString& Name, const QString& AffiliateId)
{
    return Form(QStringLiteral("6"), {{QStringLiteral("affname"), TrimLow(Name)},
                                      {QStringLiteral("afflinkid"), TrimLow(AffiliateId)}});
}

TFormFields GetAffiliateForm(const QString& RecordId)
{
    return Form(QStringLiteral("7"), {{QStringLiteral("affcod"), RecordId}});
}

TFormFields EditAffiliateForm(const QString& RecordId, const QString& Name, const QString& AffiliateId)
{
    return Form(QStringLiteral("8"), {{QStringLiteral("affcod"), RecordId},
                                      {QStringLiteral("affname"), TrimLow(Name)},
                                      {QStringLiteral("afflinkid"), TrimLow(AffiliateId)}});
}

TFormFields ExtensionsForm()
{
    return Form(QStringLiteral("20"));
}

QStringList DecodeExtensions(const QString& Reply)
{
    // Exactly "\"<version>\",\"<names>\"^OK"; anything else has none.
    static const QRegularExpression record(QStringLiteral("^\"([1-9][0-9]{0,8})\",\"([a-z0-9 ]*)\"\\^OK\\z"));
    const QRegularExpressionMatch m = record.match(Reply);
    if (!m.hasMatch())
        return {};
    return m.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TFormFields DatedSalesForm(int QueryType, const QString& Ids, const QString& From, const QString& To)
{
    return Form(QStringLiteral("21"), {{QStringLiteral("querytype"), QString::number(QueryType)},
                                       {QStringLiteral("reftype"), Ids},
                                       {QStringLiteral("from"), From},
                                       {QStringLiteral("to"), To}});
}

TFormFields HourlyCountersForm(const QString& Ids, const QString& From, const QString& To)
{
    return Form(
        QStringLiteral("22"),
        {{QStringLiteral("reftype"), Ids}, {QStringLiteral("from"), From}, {QStringLiteral("to"), To}});
}

TFormFields RangeCountersForm(const QString& Ids, const QString& From, const QString& To)
{
    return Form(
        QStringLiteral("23"),
        {{QStringLiteral("reftype"), Ids}, {QStringLiteral("from"), From}, {QStringLiteral("to"), To}});
}

TFormFields ChangesForm(const QString& Cursor, int QueryType, const QString& Ids)
{
    return Form(QStringLiteral("30"), {{QStringLiteral("cursor"), Cursor},
                                       {QStringLiteral("querytype"), QString::number(QueryType)},
                                       {QStringLiteral("reftype"), Ids}});
}

namespace
{

// The text between the quotes of a record of two fields "<tag>","<text>"
// with that one-letter tag, if the line is one.
std::optional<QByteArrayView> TaggedValue(QByteArrayView Line, char Tag)
{
    if (Line.size() < 7 || Line[0] != '"' || Line[1] != Tag || Line.sliced(2, 3) != QByteArrayView("\",\"") ||
        Line.back() != '"')
        return std::nullopt;
    const QByteArrayView value = Line.sliced(5, Line.size() - 6);
    // One field: no separator inside.
    if (value.contains("\",\""))
        return std::nullopt;
    return value;
}

// A cursor: up to 64 printable ASCII characters, no separator among them.
bool IsCursor(QByteArrayView Text)
{
    if (Text.isEmpty() || Text.size() > 64)
        return false;
    for (const char c : Text)
        if (c < 0x20 || c > 0x7e || c == '"' || c == ',' || c == '^')
            return false;
    return true;
}

bool IsRecordId(QByteArrayView Text)
{
    if (Text.isEmpty() || Text.size() > 20)
        return false;
    return std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The records gathered for one tag, decoded as a list of FieldCount
// fields; false when one of them is short.
bool DecodeTagged(QByteArray& Records, TRecordTable& Into)
{
    if (Records.isEmpty())
        return true;
    Records += "OK";
    TListReply list = DecodeList(Records, Into.FieldsPerRow());
    if (list.Outcome != TListOutcome::Decoded)
        return false;
    Into = std::move(list.Rows);
    return true;
}

} // namespace

TChangeReply DecodeChanges(QByteArrayView Body)
{
    const TChangeReply failed;
    // Records closed by carets, then OK and nothing after it.
    if (Body.size() < 3 || !Body.endsWith("^OK"))
        return failed;
    const QByteArrayView lines = Body.first(Body.size() - 3);
    TChangeReply reply;
    QByteArray affiliates, sales; // the A and S records without their tags, as a list has them
    int count = 0;
    bool closed = false; // the C record came; nothing may follow it
    for (qsizetype at = 0; at <= lines.size();) {
        qsizetype end = lines.indexOf('^', at);
        if (end < 0)
            end = lines.size();
        const QByteArrayView line = lines.sliced(at, end - at);
        at = end + 1;
        ++count;
        if (closed || line.size() < 4 || line[0] != '"' || line[2] != '"')
            return failed;
        const char tag = line[1];
        if (tag == 'A' || tag == 'S') {
            if (line[3] != ',')
                return failed;
            QByteArray& into = tag == 'A' ? affiliates : sales;
            into += line.sliced(4);
            into += '^';
            continue;
        }
        const std::optional<QByteArrayView> value = TaggedValue(line, tag);
        if (!value)
            return failed;
        if (tag == 'D' || tag == 'X') {
            if (!IsRecordId(*value))
                return failed;
            (tag == 'D' ? reply.DeletedAffiliates : reply.DeletedSales) << ReplyBytesText(*value);
        } else if (tag == 'C' || tag == 'R') {
            if (!IsCursor(*value))
                return failed;
            reply.Cursor = ReplyBytesText(*value);
            reply.Outcome = tag == 'R' ? TChangeOutcome::Reload : TChangeOutcome::Decoded;
            closed = true;
        } else {
            return failed;
        }
    }
    // A reload is the only record of its reply.
    if (!closed || (reply.Outcome == TChangeOutcome::Reload && count != 1))
        return failed;
    if (!DecodeTagged(affiliates, reply.Affiliates) || !DecodeTagged(sales, reply.Sales))
        return failed;
    return reply;
}

QString ReplyText(const QByteArray& Body)
{
    return ReplyBytesText(Body);
}

bool IsOk(const QString& Reply)
{
    return Reply == QLatin1String("OK");
}

bool ContainsOk(const QString& Reply)
{
    return Reply.contains(QLatin1String("OK"));
}

TSaveResult AddResult(const QString& Reply)
{
    if (IsOk(Reply))
        return srSaved;
    return Reply == QLatin1String("EXIST RECORD") ? srRejected : srFailed;
}

TSaveResult EditResult(const QString& Reply)
{
    if (IsOk(Reply))
        return srSaved;
    return Reply == QLatin1String("DON'T EXIST RECORD") ? srRejected : srFailed;
}

namespace
{

// The bytes that are not plain text of a field ('^', '"', ',', CR, LF),
// looked for a block at a time: sixteen bytes with SSE2, else eight in a
// 64-bit word.
#if defined(__SSE2__)
using TBlock = __m128i;
constexpr qsizetype BlockBytes = 16;

inline TBlock LoadBlock(const char* At)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(At));
}

inline void StoreBlock(char* At, TBlock Block)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(At), Block);
}

// One bit per special byte, the first byte's lowest.
inline unsigned SpecialBytes(TBlock B)
{
    const auto is = [B](char c) { return _mm_cmpeq_epi8(B, _mm_set1_epi8(c)); };
    return unsigned(_mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_or_si128(is('^'), is('"')), _mm_or_si128(is(','), is('\r'))), is('\n'))));
}

inline int FirstSpecial(unsigned Bits)
{
    return __builtin_ctz(Bits);
}
#else
using TBlock = quint64;
constexpr qsizetype BlockBytes = 8;

inline TBlock LoadBlock(const char* At)
{
    quint64 v = 0;
    std::memcpy(&v, At, 8);
    return qFromLittleEndian(v);
}

inline void StoreBlock(char* At, TBlock Block)
{
    Block = qToLittleEndian(Block);
    std::memcpy(At, &Block, 8);
}

// The high bit of each special byte's place. Borrows can mark a byte above
// a special one too, but never one below the first, which is all that is
// asked.
inline quint64 SpecialBytes(TBlock B)
{
    constexpr quint64 ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    auto zeroByte = [](quint64 x) { return (x - ones) & ~x & highs; };
    return zeroByte(B ^ ('^' * ones)) | zeroByte(B ^ ('"' * ones)) | zeroByte(B ^ (',' * ones)) |
           zeroByte(B ^ ('\r' * ones)) | zeroByte(B ^ ('\n' * ones));
}

inline int FirstSpecial(quint64 Bits)
{
    return __builtin_ctzll(Bits) / 8;
}
#endif

// One pass over a list reply, with the effect of the script's rules applied
// in turn to the whole text: every "^OK" goes, every other '^' becomes a
// line break, every "\",\"" becomes a comma, then lines (cut at CR, LF or
// CR LF, a break at the very end adding none) are cut into fields at
// commas, an empty piece after the last comma not counting. The fields of a
// record go straight into the table; pieces past FieldCount are dropped, as
// nothing reads them.
class TListDecoder
{
public:
    TListDecoder(QByteArrayView Reply, int Fields, TRecordTable& Into)
        : Body(Reply), FieldCount(Fields), Table(Into)
    {
        // Every byte gives at most one byte of a field.
        Table.Text.resize(std::min(Body.size(), TRecordTable::MaxText));
        Out = Table.Text.data();
        Table.Ends.reserve(EstimatedFields());
    }

    // The outcome once the whole reply is read.
    TListOutcome Run()
    {
        const char* p = Body.data();
        const char* const end = p + Body.size();
        while (p < end && !Stopped) {
            if (Held == 0 && !AfterCr) {
                // Most of a reply: bytes that go into a field as they are,
                // and the separators and line breaks of well-formed records.
                p = PlainRun(p, p, end);
                const qsizetype left = end - p;
                if (left == 0)
                    break;
                if (*p == '"' && left >= 3) {
                    if (p[1] == ',' && p[2] == '"') {
                        // The separator between two fields, whole.
                        CountChar(',');
                        LineHasChars = true;
                        EndField();
                        p += 3;
                        continue;
                    }
                    // A quote that starts no separator: the opening quote
                    // of a record (a byte of its first field), or the
                    // closing one before a line break.
                    if (IsPlain(p[1])) {
                        p = PlainRun(p, p + 1, end);
                        continue;
                    }
                    if (p[1] == '^' && !(left >= 4 && p[2] == 'O' && p[3] == 'K')) {
                        PlainRun(p, p + 1, p + 1);
                        LineBreak();
                        p += 2;
                        continue;
                    }
                } else if (*p == '^' && !(left >= 3 && p[1] == 'O' && p[2] == 'K')) {
                    LineBreak();
                    ++p;
                    continue;
                }
            }
            const char c = *p;
            if (c == '^') {
                if (end - p >= 3 && p[1] == 'O' && p[2] == 'K') {
                    p += 3;
                    continue;
                }
                Replace('\r');
                Replace('\n');
            } else {
                Replace(c);
            }
            ++p;
        }
        if (!Stopped) {
            // Flush a partly matched "\",\"".
            if (Held >= 1)
                Emit('"');
            if (Held == 2)
                Emit(',');
            Held = 0;
            if (Count == 2 && First[0] == 'O' && First[1] == 'K') {
                Table.Text.clear();
                Table.Ends.clear();
                return TListOutcome::OkOnly;
            }
            if (LineHasChars)
                EndLine();
        }
        Table.Text.resize(Written);
        Table.Text.squeeze();
        return Stopped ? TListOutcome::Malformed : TListOutcome::Decoded;
    }

private:
    // Room for the end of every field, from the separators and breaks in
    // the first part of the reply. Counting them over the whole reply took
    // a third of the decoding; a guess that falls short only makes the
    // table grow, and one that is too long costs no memory, as the pages
    // never written are never taken.
    size_t EstimatedFields() const
    {
        constexpr qsizetype sampleBytes = 256 * 1024;
        const QByteArrayView sample = Body.first(std::min(Body.size(), sampleBytes));
        qsizetype breaks = 0, commas = 0;
        for (const char c : sample) {
            breaks += c == '^' || c == '\r' || c == '\n';
            commas += c == ',';
        }
        qsizetype rows = breaks + 1;
        if (FieldCount > 1)
            rows = std::min(rows, commas / (FieldCount - 1));
        if (sample.size() < Body.size())
            rows = qsizetype(double(rows) * (double(Body.size()) / double(sample.size())) * 1.125) + 64;
        // Each record takes a byte per field at least.
        rows = std::min(rows, Body.size() / FieldCount + 1);
        return size_t(rows) * size_t(FieldCount);
    }

    // The "\",\"" rule, matched left to right without overlaps.
    void Replace(char c)
    {
        if (Held == 1) {
            if (c == ',') {
                Held = 2;
                return;
            }
            Emit('"');
            if (c == '"')
                return; // this quote may start a match in turn
            Held = 0;
        } else if (Held == 2) {
            Held = 0;
            if (c == '"') {
                Emit(',');
                return;
            }
            Emit('"');
            Emit(',');
        }
        if (c == '"')
            Held = 1;
        else
            Emit(c);
    }

    static bool IsPlain(char c) { return PlainBytes[uchar(c)]; }

    static constexpr std::array<bool, 256> PlainBytes = [] {
        std::array<bool, 256> plain{};
        plain.fill(true);
        for (const char c : {'^', '"', ',', '\r', '\n'})
            plain[uchar(c)] = false;
        return plain;
    }();

    // From Scan on, the plain bytes up to the first one that is not, with
    // those from From to Scan (known to go into the field as they are):
    // the same as emitting each in turn. Gives the byte that ended them.
    const char* PlainRun(const char* From, const char* Scan, const char* End)
    {
        const bool copy = InRow < FieldCount;
        // Where the byte at From goes. No byte goes past its own place in
        // the reply, so a whole block may be written ahead while the reply
        // has one left.
        char* const to = Out + Written;
        for (const char* c = From; copy && c < Scan; ++c)
            to[c - From] = *c;
        const char* s = Scan;
        for (;;) {
            if (End - s < BlockBytes) {
                while (s < End && IsPlain(*s)) {
                    if (copy)
                        to[s - From] = *s;
                    ++s;
                }
                break;
            }
            const TBlock block = LoadBlock(s);
            if (copy)
                StoreBlock(to + (s - From), block);
            if (const auto special = SpecialBytes(block)) {
                s += FirstSpecial(special);
                break;
            }
            s += BlockBytes;
        }
        const qsizetype size = s - From;
        if (size == 0)
            return s;
        qsizetype i = 0;
        for (; Count < 2 && i < size; ++i)
            First[Count++] = From[i];
        Count += size - i;
        LineHasChars = true;
        FieldHasChars = true;
        if (copy)
            Written += size;
        return s;
    }

    // A '^' that is no "^OK", in the state where nothing is held: the CR LF
    // it stands for.
    void LineBreak()
    {
        CountChar('\r');
        EndLine();
        if (!Stopped)
            CountChar('\n');
    }

    void CountChar(char c)
    {
        if (Count < 2)
            First[Count] = c;
        ++Count;
    }

    // A character of the text the lines are cut from.
    void Emit(char c)
    {
        if (Stopped)
            return;
        if (Count < 2)
            First[Count] = c;
        ++Count;
        if (AfterCr) {
            AfterCr = false;
            if (c == '\n')
                return;
        }
        if (c == '\r' || c == '\n') {
            AfterCr = c == '\r';
            EndLine();
            return;
        }
        LineHasChars = true;
        if (c == ',') {
            EndField();
            return;
        }
        FieldHasChars = true;
        if (InRow < FieldCount)
            Out[Written++] = c;
    }

    void EndField()
    {
        FieldHasChars = false;
        if (InRow >= FieldCount)
            return;
        Table.Ends.push_back(quint32(Written));
        ++InRow;
    }

    void EndLine()
    {
        if (FieldHasChars)
            EndField();
        if (InRow < FieldCount) {
            // A short record ends the list; the records before it stay.
            Written = RowText;
            Table.Ends.resize(RowEnds);
            Stopped = true;
            return;
        }
        RowText = Written;
        RowEnds = Table.Ends.size();
        InRow = 0;
        LineHasChars = false;
        FieldHasChars = false;
    }

    const QByteArrayView Body;
    const int FieldCount;
    TRecordTable& Table;
    char* Out = nullptr;
    qsizetype Written = 0;
    qsizetype RowText = 0; // where the record being read began
    size_t RowEnds = 0;
    int InRow = 0; // fields of that record so far
    int Held = 0;  // 1: a quote, 2: a quote and a comma, not yet passed on
    bool AfterCr = false;
    bool LineHasChars = false;
    bool FieldHasChars = false;
    bool Stopped = false;
    qsizetype Count = 0; // characters passed on, and the first two
    char First[2] = {};
};

} // namespace

TListReply DecodeList(QByteArrayView Body, int FieldCount)
{
    TListReply result;
    result.Rows = TRecordTable(FieldCount);
    // Replies end in "OK", so look from the end.
    if (FieldCount < 1 || Body.lastIndexOf("OK") < 0)
        return result;
    // Offsets into the text block are 32 bits wide; what lies past that
    // counts as a short record.
    const bool tooBig = Body.size() > TRecordTable::MaxText;
    result.Outcome =
        TListDecoder(tooBig ? Body.first(TRecordTable::MaxText) : Body, FieldCount, result.Rows).Run();
    if (tooBig && result.Outcome == TListOutcome::Decoded) {
        // The last record may be cut short.
        TRecordTable& rows = result.Rows;
        if (!rows.IsEmpty()) {
            rows.Ends.resize(rows.Ends.size() - size_t(FieldCount));
            rows.Text.resize(rows.Ends.empty() ? 0 : rows.Ends.back());
        }
        result.Outcome = TListOutcome::Malformed;
    }
    return result;
}

bool DecodeRecord(const QString& Reply, QString& RecordText)
{
    RecordText = Reply;
    RecordText.remove(QLatin1String("^OK"));
    if (IsOk(RecordText) || !ContainsOk(Reply))
        return false;
    // The edit dialog reads fields 1 and 2; a record without them is no
    // record at all.
    return RecordFields(RecordText).size() >= RecordMinFields;
}

QStringList RecordFields(const QString& RecordText)
{
    QString text = RecordText;
    text.replace(QLatin1String("\",\""), QLatin1String(","));
    QStringList fields;
    SplitByChar(QLatin1Char(','), text, fields);
    return fields;
}

} // namespace TrackingProtocol
