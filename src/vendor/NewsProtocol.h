#pragma once
// The news service of the brand's tier: getlastnews.php for the newest item
// or the whole list, getnewsdetails.php for one item's body. Builds the
// requests and reads the replies; posting them is the HTTP client's job.
#include "brand/BrandFile.h"
#include "net/FormFields.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

inline const QString LastNewsScript = QStringLiteral("getlastnews.php");
inline const QString NewsDetailsScript = QStringLiteral("getnewsdetails.php");
inline const QString NewsTargetUA = QStringLiteral("UA");
inline const QString ContTypeLastCode = QStringLiteral("lastcode");
inline const QString ContTypeAll = QStringLiteral("all");

// The largest replies the news service is allowed: the newest item and the
// list are a few lines each, a body is one HTML page. A larger reply fails
// like any failed request.
constexpr qint64 NewsReplyMaxSize = qint64(64) * 1024;
constexpr qint64 NewsBodyMaxSize = qint64(4) * 1024 * 1024;

// Notices and messages of the news service.
inline const QString NewsNoticeHeading = QStringLiteral("You've Got A Message!");
inline const QString NoNewsMessage = QStringLiteral("There's no news for this application!");

// NewsList: one entry per item exactly as received, id "^" title "^" date.
using TNewsList = QStringList;

// One entry of the list, split; a missing field is empty.
struct TNewsItem {
    QString Id, Title, Published;
};
TNewsItem SplitNewsItem(const QString& Entry);

// The tier a brand queries: its product type code ("BM", "BP", "BG"), its
// publisher ID and its news base address.
struct TNewsTier {
    QString Code, PublID, BaseURL;
};

// The tier whose name BranderType equals exactly and whose publisher ID is
// set, looked at in the order Master, Platinum, Gold. None for "Free".
std::optional<TNewsTier> SelectNewsTier(const TBrandRecord& Brand);

// Base address for a product type code; empty for any other code.
QString NewsBaseURLForCode(const TBrandRecord& Brand, const QString& ProdType);

// BaseURL + "/" + Script, without doubling a slash the base already ends
// with. Empty for an empty base, which the client reports as a failure.
QString NewsScriptURL(const QString& BaseURL, const QString& Script);

TFormFields LastNewsFields(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                           const QString& ContType, const QString& NewsTarget);
TFormFields NewsDetailsFields(const QString& PublID, const QString& ProdCode, const QString& ProdType,
                              const QString& NewsTarget, const QString& NewsId);

// Which request a reply answers: the messages differ slightly.
enum class TNewsRequest { LastNews, NewsList, NewsDetails };

// The body without leading and trailing bytes of code 32 and below.
QByteArray TrimNewsReply(const QByteArray& Body);

// A trimmed reply is a success when it contains "OK" anywhere.
bool IsNewsSuccess(const QByteArray& Trimmed);

// The reply to conttype "lastcode". HasId is false for a bare "OK".
struct TLastNews {
    bool HasId = false;
    QString Id, Title;
};
TLastNews ParseLastNewsReply(const QByteArray& Trimmed);

// The reply to conttype "all": the items between 0xAF bytes, in order,
// without empty pieces and without the "OK" token.
TNewsList ParseNewsListReply(const QByteArray& Trimmed);

// The HTML source carried by a getnewsdetails.php reply ("$" escapes
// decoded; a broken escape gives an empty body).
QByteArray ParseNewsDetailsReply(const QByteArray& Trimmed);

// The warning for a failed reply, or empty when that reply gets none.
QString NewsFailureMessage(const QByteArray& Trimmed, TNewsRequest Request);

// A news id as a number; text that is not a decimal integer counts as 0.
qint64 NewsIdValue(const QString& Id);

// Whether the received id is newer than the stored one.
bool IsNewerNews(const QString& ReceivedId, const QString& StoredId);

// "You've Got A Message!", CR LF and the title.
QString NewsNoticeText(const QString& Title);
