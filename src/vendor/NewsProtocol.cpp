#include "NewsProtocol.h"

#include "util/UUtils.h"

#include <limits>

namespace
{
// The byte that separates news items and closes a reply before "OK".
constexpr char ItemSeparator = char(0xAF);
const QByteArray ReplyTerminator = QByteArray(1, ItemSeparator) + "OK";

QByteArray WithoutTerminators(const QByteArray& Trimmed)
{
    QByteArray rest = Trimmed;
    rest.replace(ReplyTerminator, QByteArray());
    return rest;
}

// Field Index of Text cut at Separator, as SplitByChar would give it (empty
// when there are fewer fields), without making a piece for every separator:
// a reply of nothing but separators costs no more than its own bytes.
template <typename TText, typename TChar> TText FieldAt(const TText& Text, TChar Separator, int Index)
{
    qsizetype start = 0;
    for (int i = 0; i < Index; ++i) {
        const qsizetype next = Text.indexOf(Separator, start);
        if (next < 0)
            return {};
        start = next + 1;
    }
    const qsizetype end = Text.indexOf(Separator, start);
    return Text.mid(start, end < 0 ? -1 : end - start);
}
} // namespace

TNewsItem SplitNewsItem(const QString& Entry)
{
    const QChar caret = QLatin1Char('^');
    return {FieldAt(Entry, caret, 0), FieldAt(Entry, caret, 1), FieldAt(Entry, caret, 2)};
}

std::optional<TNewsTier> SelectNewsTier(const TBrandRecord& B)
{
    const TNewsTier tiers[] = {
        {QStringLiteral("BM"), B.MasterPublID, B.MasterNewsBaseURL},
        {QStringLiteral("BP"), B.PlatinumPublID, B.PlatinumNewsBaseURL},
        {QStringLiteral("BG"), B.GoldPublID, B.GoldNewsBaseURL},
    };
    const QLatin1String names[] = {QLatin1String("Master"), QLatin1String("Platinum"), QLatin1String("Gold")};
    for (int i = 0; i < 3; ++i) {
        if (B.BranderType == names[i] && !tiers[i].PublID.isEmpty())
            return tiers[i];
    }
    return std::nullopt;
}

QString NewsBaseURLForCode(const TBrandRecord& B, const QString& ProdType)
{
    if (ProdType == QLatin1String("BM"))
        return B.MasterNewsBaseURL;
    if (ProdType == QLatin1String("BP"))
        return B.PlatinumNewsBaseURL;
    if (ProdType == QLatin1String("BG"))
        return B.GoldNewsBaseURL;
    return {};
}

QString NewsScriptURL(const QString& BaseURL, const QString& Script)
{
    if (BaseURL.isEmpty())
        return {};
    if (BaseURL.endsWith(QLatin1Char('/')))
        return BaseURL + Script;
    return BaseURL + QLatin1Char('/') + Script;
}

TFormFields LastNewsFields(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                           const QString& ContType, const QString& NewsTarget)
{
    return {
        {QStringLiteral("memusername"), PublID},    {QStringLiteral("prodcode"), ProdCode},
        {QStringLiteral("prodtype"), ProdType},     {QStringLiteral("conttype"), ContType},
        {QStringLiteral("newstarget"), NewsTarget}, {QStringLiteral("something"), QString()},
    };
}

TFormFields NewsDetailsFields(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                              const QString& NewsTarget, const QString& NewsId)
{
    return {
        {QStringLiteral("memusername"), PublID},    {QStringLiteral("prodcode"), ProdCode},
        {QStringLiteral("prodtype"), ProdType},     {QStringLiteral("newsid"), NewsId},
        {QStringLiteral("newstarget"), NewsTarget}, {QStringLiteral("something"), QString()},
    };
}

QByteArray TrimNewsReply(const QByteArray& Body)
{
    return TrimLow(Body);
}

bool IsNewsSuccess(const QByteArray& Trimmed)
{
    return Trimmed.contains("OK");
}

TLastNews ParseLastNewsReply(const QByteArray& Trimmed)
{
    TLastNews news;
    const QByteArray rest = WithoutTerminators(Trimmed);
    if (rest == "OK")
        return news;
    // An empty remainder or one without a title is read as far as it goes.
    news.Id = QString::fromLocal8Bit(FieldAt(rest, '^', 0));
    news.Title = QString::fromLocal8Bit(FieldAt(rest, '^', 1));
    news.HasId = !news.Id.isEmpty();
    return news;
}

TNewsList ParseNewsListReply(const QByteArray& Trimmed)
{
    // The pieces SplitByChar would give, found one at a time so that the
    // empty ones, which are skipped, never take memory.
    TNewsList items;
    qsizetype start = 0;
    while (start < Trimmed.size()) {
        qsizetype end = Trimmed.indexOf(ItemSeparator, start);
        if (end < 0)
            end = Trimmed.size();
        const QByteArrayView piece = QByteArrayView(Trimmed).sliced(start, end - start);
        if (!piece.isEmpty() && piece != "OK")
            items.append(QString::fromLocal8Bit(piece));
        start = end + 1;
    }
    return items;
}

QByteArray ParseNewsDetailsReply(const QByteArray& Trimmed)
{
    return UnescapeDollarHex(WithoutTerminators(Trimmed));
}

QString NewsFailureMessage(const QByteArray& Trimmed, TNewsRequest Request)
{
    if (Trimmed.isEmpty())
        return QStringLiteral("There is a trouble accessing the news site. Contact your provider.");
    if (Trimmed == "CONNECTIONFAIL")
        return QStringLiteral("There is a trouble in the settings file on the news site.");
    if (Trimmed == "INVALIDUSER")
        return QStringLiteral("There is a trouble with the Publisher Id. Contact your provider.");
    if (Trimmed == "INVALIDPRODUCT")
        return QStringLiteral("There is a trouble with the product validation. Contact your provider.");
    if (Trimmed == "INVALIDNEWS" && Request == TNewsRequest::NewsDetails)
        return QStringLiteral("There is a trouble with this news. Contact your provider.");
    return {};
}

qint64 NewsIdValue(const QString& Id)
{
    const QString text = Id.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return 0;
    // Accumulated as a negative number, which has room for the lowest value.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10)
            return 0;
        value = value * 10 - digit;
    }
    if (!negative && value == lowest)
        return 0;
    return negative ? value : -value;
}

bool IsNewerNews(const QString& ReceivedId, const QString& StoredId)
{
    return NewsIdValue(ReceivedId) > NewsIdValue(StoredId);
}

QString NewsNoticeText(const QString& Title)
{
    return NewsNoticeHeading + QStringLiteral("\r\n") + Title;
}
