// Arbitrary bytes as the index package "fileindex.dat.zip": unpacked as the
// launcher unpacks it, then read as "fileindex.dat" with its checksum.
// Input: refill byte (as fuzz_unzip), then the package.

#include "index_checks.h"
#include "memory_streams.h"

#include <vector>

namespace {

constexpr size_t kIndexLimit = 1024 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> unpacked;
    unpacked.clear();
    MemorySink sink(kIndexLimit, &unpacked);
    if (!UnpackFuzzInput(data, size, "fileindex.dat.zip", sink))
        return 0;
    MemoryInput input(unpacked.data(), unpacked.size(), 65536);
    FileIndex index;
    bool complete = index.ReadFrom(input, true);
    CheckIndex(index, complete, true);
    return 0;
}
