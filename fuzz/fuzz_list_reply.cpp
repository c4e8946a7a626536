// The list replies of actions 3 and 4 (affiliates, sales).
#include "FuzzInput.h"
#include "tracking/TrackingProtocol.h"

using namespace TrackingProtocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QString reply = ReplyText(FuzzBytes(Data, Size));
    for (int fields : {AffiliateFieldCount, SaleFieldCount}) {
        const TListReply list = DecodeList(reply, fields);
        if (list.Outcome == TListOutcome::NoOk)
            FUZZ_CHECK(list.Rows.isEmpty());
        for (const TRecordRow& row : list.Rows)
            FUZZ_CHECK(row.size() >= fields);
    }
    return 0;
}
