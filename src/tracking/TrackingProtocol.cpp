#include "TrackingProtocol.h"

#include "util/UUtils.h"

#include <limits>

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

// Cuts at CR, LF or CR LF; a break at the very end adds no empty line.
QStringList Lines(const QString& Text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(Text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < Text.size() && Text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < Text.size())
        lines.append(Text.mid(start));
    return lines;
}

} // namespace

QString ScriptUrl(const QString& SiteUrl)
{
    return SiteUrl + QStringLiteral("/actions.php");
}

QString JoinIds(const QStringList& Ids)
{
    return Ids.join(QLatin1Char(','));
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

QString ReplyText(const QByteArray& Body)
{
    return QString::fromLocal8Bit(Body);
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

TListReply DecodeList(const QString& Reply, int FieldCount)
{
    TListReply result;
    if (!ContainsOk(Reply))
        return result;
    QString text = Reply;
    text.remove(QLatin1String("^OK"));
    text.replace(QLatin1Char('^'), QLatin1String("\r\n"));
    text.replace(QLatin1String("\",\""), QLatin1String(","));
    if (IsOk(text)) {
        result.Outcome = TListOutcome::OkOnly;
        return result;
    }
    for (const QString& line : Lines(text)) {
        TRecordRow row;
        SplitByChar(QLatin1Char(','), line, row);
        if (row.size() < FieldCount) {
            result.Outcome = TListOutcome::Malformed;
            return result;
        }
        result.Rows.append(row);
    }
    result.Outcome = TListOutcome::Decoded;
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

QString Unquoted(const QString& Field)
{
    QString s = Field;
    s.remove(QLatin1Char('"'));
    return s;
}

bool ParseCounter(const QString& Text, qint64& Value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < Text.size() && (Text[i] == QLatin1Char('-') || Text[i] == QLatin1Char('+'))) {
        negative = Text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == Text.size())
        return false;
    // Accumulated as a negative number so that the lowest value fits too.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 n = 0;
    for (; i < Text.size(); ++i) {
        const char16_t c = Text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        const int d = c - u'0';
        if (n < (lowest + d) / 10)
            return false;
        n = n * 10 - d;
    }
    if (!negative && n == lowest)
        return false;
    Value = negative ? n : -n;
    return true;
}

} // namespace TrackingProtocol
