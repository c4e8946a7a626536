// The single-record reply of action 7 and the counters of the totals.
#include "FuzzInput.h"
#include "tracking/TrackingProtocol.h"

using namespace TrackingProtocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QString reply = ReplyText(FuzzBytes(Data, Size));
    QString record;
    if (DecodeRecord(reply, record)) {
        const QStringList fields = RecordFields(record);
        FUZZ_CHECK(fields.size() >= RecordMinFields);
        for (const QString& f : fields)
            FUZZ_CHECK(!Unquoted(f).contains(QLatin1Char('"')));
    }
    qint64 value = 12345;
    if (!ParseCounter(reply, value))
        FUZZ_CHECK(value == 12345);
    else
        FUZZ_CHECK(QString::number(value).size() <= reply.size());
    IsOk(reply);
    ContainsOk(reply);
    AddResult(reply);
    EditResult(reply);
    return 0;
}
