// The getlastnews.php replies: the newest item and the whole list.
#include "FuzzInput.h"
#include "vendor/NewsProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray body = FuzzBytes(Data, Size);
    const QByteArray trimmed = TrimNewsReply(body);
    FUZZ_CHECK(trimmed.size() <= body.size());
    FUZZ_CHECK(TrimNewsReply(trimmed) == trimmed);

    if (IsNewsSuccess(trimmed)) {
        const TLastNews last = ParseLastNewsReply(trimmed);
        if (!last.HasId)
            FUZZ_CHECK(last.Id.isEmpty());
        IsNewerNews(last.Id, QStringLiteral("7"));
        for (const QString& entry : ParseNewsListReply(trimmed)) {
            FUZZ_CHECK(!entry.isEmpty());
            SplitNewsItem(entry);
        }
    }
    for (TNewsRequest r : {TNewsRequest::LastNews, TNewsRequest::NewsList, TNewsRequest::NewsDetails})
        NewsFailureMessage(trimmed, r);
    NewsIdValue(QString::fromLatin1(trimmed));
    return 0;
}
