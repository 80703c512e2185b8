// What CZip compresses, CUnzip restores byte for byte, at every level.
// Input: level byte, repeat byte, then the payload. The payload is repeated
// with a small change per copy, so short inputs also reach long matches and
// the window slide.

#include "fuzz_files.h"
#include "support/gzip/zip_codec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxData = 256 * 1024;
constexpr int kLevels = 9;
constexpr size_t kHeaderSize = 10;

std::vector<uint8_t> Expand(const uint8_t* payload, size_t size, int repeats)
{
    std::vector<uint8_t> data;
    for (int copy = 0; copy <= repeats && data.size() + size <= kMaxData; ++copy) {
        size_t start = data.size();
        data.insert(data.end(), payload, payload + size);
        if (copy > 0 && size > 0)
            data[start + copy % size] ^= static_cast<uint8_t>(copy);
    }
    return data;
}

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "round trip failed: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    static MemoryFile plain("roundtrip-plain");
    static MemoryFile packed("roundtrip-packed");
    static MemoryFile restored("roundtrip-restored");
    if (size < 2)
        return 0;
    int level = input[0] % kLevels + 1;
    std::vector<uint8_t> data = Expand(input + 2, size - 2, input[1]);

    plain.Assign(data.data(), data.size());
    packed.Clear();
    restored.Clear();
    try {
        if (input[0] & 0x80)
            CZip(plain.Name(), level).ToFile(packed.Name());
        else
            CZip(plain.Name(), level).ToDescriptor(packed.Descriptor());
        CUnzip(packed.Name()).ToFile(restored.Name());
    } catch (const CZipException& e) {
        Fail(e.Text());
    }

    std::vector<uint8_t> member = packed.Contents();
    // Header: magic, deflate, FNAME, then the name without its folders.
    const char* name = std::strrchr(plain.Name(), '/') + 1;
    size_t nameSize = std::strlen(name) + 1;
    if (member.size() < kHeaderSize + nameSize || member[0] != 0x1F || member[1] != 0x8B || member[2] != 8 ||
        member[3] != 0x08 || std::memcmp(member.data() + kHeaderSize, name, nameSize) != 0)
        Fail("header");
    if (restored.Contents() != data)
        Fail("restored bytes differ");
    return 0;
}
