#include "index_checks.h"

#include "check_failure.h"
#include "memory_streams.h"

#include <string>

namespace {

bool SameEntries(const FileIndex& a, const FileIndex& b)
{
    if (a.Entries().size() != b.Entries().size())
        return false;
    for (size_t i = 0; i < a.Entries().size(); ++i) {
        const IndexEntry& x = a.Entries()[i];
        const IndexEntry& y = b.Entries()[i];
        if (x.fileTime != y.fileTime || x.size != y.size || x.packageSize != y.packageSize || x.name != y.name ||
            x.md5 != y.md5)
            return false;
    }
    return true;
}

} // namespace

void CheckIndex(const FileIndex& index, bool complete, bool verified)
{
    for (const IndexEntry& entry : index.Entries()) {
        const IndexEntry* found = index.Find(entry.name);
        if (!found || !SameEntryName(found->name, entry.name))
            FailCheck("index check", "an entry is not found by its name");
    }
    if (complete && !index.HasHashes())
        FailCheck("index check", "a complete index without hashes");
    if (complete && verified && index.ChecksumPresent() && !index.ChecksumCorrect())
        FailCheck("index check", "accepted with a wrong checksum");
    if (!complete)
        return;

    // What the launcher keeps of a server's index it writes as its own.
    std::string image;
    if (!index.Serialize(image))
        FailCheck("index check", "a complete index does not serialize");
    FileIndex again;
    MemoryInput input(reinterpret_cast<const uint8_t*>(image.data()), image.size(), 65536);
    if (!again.ReadFrom(input, true) || !again.ChecksumCorrect() || input.Left() != 0)
        FailCheck("index check", "a serialized index does not read back");
    if (!SameEntries(index, again))
        FailCheck("index check", "a serialized index reads back different entries");
}
