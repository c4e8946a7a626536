// The single-record reply of action 7 and the counters of the totals.
#include "FuzzInput.h"
#include "tracking/RecordListModel.h"
#include "tracking/TrackingProtocol.h"

using namespace TrackingProtocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray bytes = FuzzBytes(Data, Size);
    const QString reply = ReplyText(bytes);
    QString record;
    if (DecodeRecord(reply, record))
        FUZZ_CHECK(RecordFields(record).size() >= RecordMinFields);
    // The counters as the totals read them: the short way for plain digits
    // must agree with the full parser, and a number read never grows.
    const std::optional<qint64> value = CounterOf(bytes);
    FUZZ_CHECK(value == ParseCounter(ReplyBytesText(bytes)));
    if (value)
        FUZZ_CHECK(QString::number(*value).size() <= reply.size());
    IsOk(reply);
    ContainsOk(reply);
    AddResult(reply);
    EditResult(reply);
    return 0;
}
