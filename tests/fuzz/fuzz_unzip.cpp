// Arbitrary bytes given to the gzip reader must end in output plus success,
// a refusal, or CZipException with one of the codec's texts; the sanitizers
// watch for everything else. Input: refill byte, then the package. The refill
// byte sets how many bytes each refill of the input buffer takes (0: as many
// as fit), so short inputs put the buffer's boundaries anywhere.

#include "memory_streams.h"
#include "support/gzip/gzip_member.h"
#include "support/gzip/zip_codec.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Decoded bytes beyond this are refused: enough for the window to fill,
// slide and be referred to across its boundary.
constexpr size_t kOutputLimit = 80 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    zip_engine::SetInputRefillLimit(data[0] == 0 ? zip_engine::kInputBufferSize : data[0]);
    zip_engine::SetHeaderName("package.zip");
    MemorySource source(data + 1, size - 1);
    MemorySink sink(kOutputLimit, nullptr);
    try {
        zip_engine::UnzipMember(source, sink);
    } catch (const CZipException& e) {
        if (!IsCodecFailureText(e.Text())) {
            std::fprintf(stderr, "unexpected failure text: %s\n", e.Text());
            std::abort();
        }
    }
    return 0;
}
