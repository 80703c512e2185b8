// Arbitrary bytes as "fileindex.dat". Input: selector byte (bits 0-6 the
// read step, see ReadStep; bit 7 verifies the checksum), then the file.

#include "index_checks.h"
#include "memory_streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    bool verify = (data[0] & 0x80) != 0;
    MemoryInput input(data + 1, size - 1, ReadStep(data[0]));
    FileIndex index;
    bool complete = index.ReadFrom(input, verify);
    CheckIndex(index, complete, verify);
    return 0;
}
