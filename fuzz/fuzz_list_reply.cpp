// The list replies of actions 3 and 4 (affiliates, sales): the one-pass
// decoder against the rules applied one after another.
#include "FuzzInput.h"
#include "ListReplyRules.h"
#include "tracking/TrackingProtocol.h"

using namespace TrackingProtocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray reply = FuzzBytes(Data, Size);
    for (int fields : {AffiliateFieldCount, SaleFieldCount}) {
        const TListReply list = DecodeList(reply, fields);
        FUZZ_CHECK(tftest::SameAsPlain(list, tftest::DecodeListPlainly(reply, fields)));
        FUZZ_CHECK(list.Rows.FieldsPerRow() == fields);
        if (list.Outcome == TListOutcome::NoOk)
            FUZZ_CHECK(list.Rows.IsEmpty());
    }
    return 0;
}
