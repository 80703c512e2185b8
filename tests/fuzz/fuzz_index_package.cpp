// Arbitrary bytes as the index package "fileindex.dat.zip": unpacked as the
// launcher unpacks it, then read as "fileindex.dat" with its checksum.
// Input: refill byte (as fuzz_unzip), then the package.

#include "chunked_input.h"
#include "index_checks.h"
#include "memory_streams.h"
#include "support/gzip/gzip_member.h"
#include "support/gzip/zip_codec.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr size_t kIndexLimit = 1024 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> unpacked;
    if (size == 0)
        return 0;
    zip_engine::SetInputRefillLimit(data[0] == 0 ? zip_engine::kInputBufferSize : data[0]);
    zip_engine::SetHeaderName("fileindex.dat.zip");
    unpacked.clear();
    MemorySource source(data + 1, size - 1);
    MemorySink sink(kIndexLimit, &unpacked);
    try {
        if (zip_engine::UnzipMember(source, sink) != 0)
            return 0;
    } catch (const CZipException& e) {
        if (!IsCodecFailureText(e.Text())) {
            std::fprintf(stderr, "unexpected failure text: %s\n", e.Text());
            std::abort();
        }
        return 0;
    }
    ChunkedInput input(unpacked.data(), unpacked.size(), 65536);
    FileIndex index;
    bool complete = index.ReadFrom(input, true);
    CheckIndex(index, complete, true);
    return 0;
}
