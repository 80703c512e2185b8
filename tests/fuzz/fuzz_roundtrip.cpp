// What the compressor writes, the decompressor restores byte for byte, at
// every level. Input: level byte, repeat byte, then the payload. The payload
// is repeated (repeat byte & 0x7F times) with a small change per copy, so
// short inputs also reach long matches; a repeat byte from 0x80 up allows
// enough data for the window slide. A level byte from 0x80 up reads the
// member back in small refills.

#include "check_failure.h"
#include "memory_streams.h"
#include "support/gzip/gzip_member.h"
#include "support/gzip/zip_codec.h"

#include <cstring>
#include <vector>

namespace {

// One window; past the first window slide (near 64 KiB) and the blocks it
// cuts off. Most runs stay in the first, which costs a third of the second.
constexpr size_t kWindowData = 32 * 1024;
constexpr size_t kSlideData = 80 * 1024;
constexpr int kLevels = 9;
constexpr size_t kHeaderSize = 10;
constexpr char kName[] = "roundtrip.bin";

void Expand(const uint8_t* payload, size_t size, uint8_t repeat, std::vector<uint8_t>& data)
{
    size_t limit = repeat & 0x80 ? kSlideData : kWindowData;
    int repeats = repeat & 0x7F;
    data.clear();
    for (int copy = 0; copy <= repeats && data.size() + size <= limit; ++copy) {
        size_t start = data.size();
        data.insert(data.end(), payload, payload + size);
        if (copy > 0 && size > 0)
            data[start + copy % size] ^= static_cast<uint8_t>(copy);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 2)
        return 0;
    // Kept from run to run: fresh buffers of this size cost more than the
    // codec's work on them.
    static std::vector<uint8_t> data;
    static std::vector<uint8_t> member;
    static std::vector<uint8_t> restored;
    int level = input[0] % kLevels + 1;
    Expand(input + 2, size - 2, input[1], data);
    member.clear();
    restored.clear();
    zip_engine::SetHeaderName(kName);
    try {
        MemoryInput plain(data.data(), data.size());
        MemorySink packed(SIZE_MAX, &member);
        zip_engine::WriteMember(plain, packed, level, 0);

        zip_engine::SetInputRefillLimit(input[0] & 0x80 ? (input[0] & 0x7F) + 1 : zip_engine::kInputBufferSize);
        MemoryInput packedSource(member.data(), member.size());
        MemorySink sink(SIZE_MAX, &restored);
        if (zip_engine::UnzipMember(packedSource, sink) != 0)
            FailCheck("round trip", "member refused");
    } catch (const CZipException& e) {
        FailCheck("round trip", e.Text());
    }

    // Header: magic, deflate, FNAME, then the name.
    if (member.size() < kHeaderSize + sizeof kName || member[0] != 0x1F || member[1] != 0x8B || member[2] != 8 ||
        member[3] != 0x08 || std::memcmp(member.data() + kHeaderSize, kName, sizeof kName) != 0)
        FailCheck("round trip", "header");
    if (restored != data)
        FailCheck("round trip", "restored bytes differ");
    return 0;
}
