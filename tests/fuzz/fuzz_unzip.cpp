// Arbitrary bytes given to the gzip reader must end in output plus success,
// a refusal, or CZipException with one of the codec's texts; the sanitizers
// watch for everything else. Input: refill byte, then the package. The refill
// byte sets how many bytes each refill of the input buffer takes (0: as many
// as fit), so short inputs put the buffer's boundaries anywhere.

#include "memory_streams.h"

namespace {

// Decoded bytes beyond this are refused: enough for the window to fill,
// slide and be referred to across its boundary.
constexpr size_t kOutputLimit = 80 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemorySink sink(kOutputLimit, nullptr);
    UnpackFuzzInput(data, size, "package.zip", sink);
    return 0;
}
