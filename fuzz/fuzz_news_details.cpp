// The getnewsdetails.php reply: the "$"-escaped HTML of one item.
#include "FuzzInput.h"
#include "vendor/NewsProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QByteArray trimmed = TrimNewsReply(FuzzBytes(Data, Size));
    const QByteArray html = ParseNewsDetailsReply(trimmed);
    FUZZ_CHECK(html.size() <= trimmed.size());
    return 0;
}
