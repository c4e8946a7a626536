// The live-update descriptor (mainappupdate.inf) and its version numbers.
#include "FuzzInput.h"
#include "vendor/LiveUpdate.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const TUpdateDescriptor d = ReadUpdateDescriptor(FuzzBytes(Data, Size));
    FUZZ_CHECK(d.Version == d.Version.trimmed());
    FUZZ_CHECK(d.Name == d.Name.trimmed());
    const float v = VersionValue(d.Version);
    if (!std::isnan(v))
        FUZZ_CHECK(!IsUpdateAvailable(d.Version, d.Version));
    NewUpdateQuestion(d.Version);
    return 0;
}
