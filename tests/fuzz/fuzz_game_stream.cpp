// Arbitrary bytes as the content of the whole-game package, walked as the
// unpacker walks it: the index, then every file's bytes. Input: read-step
// byte (see ReadStep), then the stream. No name that leaves the game folder
// may reach a file, every written file gets exactly its indexed size, and a
// walk that succeeds has taken the whole stream.

#include "check_failure.h"
#include "index_checks.h"
#include "memory_streams.h"
#include "update/package_walk.h"

namespace {

const wchar_t kLauncherName[] = L"TarnholdLauncher.exe";

bool IsSeparator(wchar_t c)
{
    return c == L'/' || c == L'\\';
}

// Stays below the folder, judged apart from IsSafeEntryName: relative, no
// drive or stream, no control character, and no part that Windows reads as
// empty, "." or ".." once it strips trailing dots and blanks.
bool StaysInFolder(const std::wstring& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return false;
    size_t begin = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && (name[i] == L':' || name[i] < L' '))
            return false;
        if (i < name.size() && !IsSeparator(name[i]))
            continue;
        size_t end = i;
        while (end > begin && (name[end - 1] == L'.' || name[end - 1] == L' '))
            --end;
        if (end == begin)
            return false;
        begin = i + 1;
    }
    return true;
}

// The game folder in memory: counts what each file gets.
class MemoryFolder final : public IPackageFiles {
public:
    bool StopRequested() override { return false; }
    bool IsLauncher(const std::wstring& name) override { return SameEntryName(name, kLauncherName); }
    bool Open(const std::wstring& name) override
    {
        if (open_)
            FailCheck("game stream check", "a file opened while another is open");
        if (!StaysInFolder(name))
            FailCheck("game stream check", "an unsafe name reached the folder");
        open_ = true;
        written_ = 0;
        return true;
    }
    bool Write(const char*, size_t size) override
    {
        if (!open_)
            FailCheck("game stream check", "a write without an open file");
        written_ += size;
        return true;
    }
    bool Close(uint64_t) override
    {
        if (!open_)
            FailCheck("game stream check", "a close without an open file");
        open_ = false;
        closedSizes_.push_back(written_);
        return true;
    }
    const std::vector<uint64_t>& ClosedSizes() const { return closedSizes_; }

private:
    bool open_ = false;
    uint64_t written_ = 0;
    std::vector<uint64_t> closedSizes_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    MemoryInput stream(data + 1, size - 1, ReadStep(data[0]));
    MemoryFolder folder;
    FileIndex index;
    PackageWalk walk(stream, folder, nullptr, index);
    WalkResult result = walk.Run();
    if (result == WalkResult::Stopped)
        FailCheck("game stream check", "stopped without a stop request");
    CheckIndex(index, result == WalkResult::Succeeded, false);

    // The index lost the launcher's entries on success; the files closed
    // are the others, in index order.
    size_t closed = 0;
    for (const IndexEntry& entry : index.Entries()) {
        if (closed == folder.ClosedSizes().size())
            break;
        if (result != WalkResult::Succeeded && SameEntryName(entry.name, kLauncherName))
            continue;
        if (folder.ClosedSizes()[closed++] != static_cast<uint32_t>(entry.size))
            FailCheck("game stream check", "a file got other than its indexed size");
    }
    if (result == WalkResult::Succeeded) {
        if (stream.Left() != 0)
            FailCheck("game stream check", "a walk succeeded before the stream ended");
        if (closed != folder.ClosedSizes().size() || closed != index.Entries().size())
            FailCheck("game stream check", "a walk succeeded without writing every file");
    }
    return 0;
}
