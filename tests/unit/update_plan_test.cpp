// Planning of an update pass, in memory: the queue, the totals, the launcher
// first and alone, the switch to the whole-game package, the integrity check
// and the names that are never planned.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/win_handles.h"
#include "test_files.h"
#include "update/update_plan.h"

namespace {

const wchar_t kLauncher[] = L"TarnholdLauncher.exe";
const uint64_t kFileTime = 0x01DA000011112222ULL;

// A file in a given version (its digest); the cached index holds version 1.
IndexEntry Entry(const std::wstring& name, uint64_t packageSize, uint8_t version = 1)
{
    IndexEntry entry;
    entry.name = name;
    entry.size = packageSize * 2;
    entry.packageSize = packageSize;
    entry.fileTime = kFileTime;
    entry.md5.fill(version);
    return entry;
}

FileIndex IndexOf(const std::vector<IndexEntry>& entries)
{
    FileIndex index;
    for (const IndexEntry& entry : entries)
        index.Append(entry);
    return index;
}

// Files f0..f9 of 10 package bytes each, the first `stale` of them changed on the server.
std::vector<IndexEntry> TenFiles(int stale)
{
    std::vector<IndexEntry> entries;
    for (int i = 0; i < 10; ++i)
        entries.push_back(Entry(L"f" + std::to_wstring(i), 10, i < stale ? 2 : 1));
    return entries;
}

class FakeDisk : public IPlanDisk, public IUnpackEventReceiver {
public:
    bool NeedsUpdate(const IndexEntry& entry) override
    {
        asked.push_back(entry.name);
        if (entry.name == L"locked.bin")
            throw std::runtime_error("File 'locked.bin' open error: 13");
        return stale.count(entry.name) != 0;
    }
    uint64_t PartialSize(const IndexEntry& package) override { return partial[package.name]; }

    void OnUnpackFileDone(const IndexEntry&) override {}
    void OnUnpackBytes(uint32_t count) override { progress += count; }
    void OnUnpackBegin(uint64_t total) override { begun = total; }

    std::set<std::wstring> stale;
    std::map<std::wstring, uint64_t> partial;
    std::vector<std::wstring> asked;
    uint64_t begun = 0;
    uint64_t progress = 0;
};

std::vector<std::wstring> NamesOf(const std::vector<IndexEntry>& entries)
{
    std::vector<std::wstring> names;
    for (const IndexEntry& entry : entries)
        names.push_back(entry.name);
    return names;
}

} // namespace

TEST(UpdatePlan, AgainstTheCachedIndex)
{
    const struct {
        const char* what;
        std::vector<IndexEntry> server;
        bool singlePackageDownload, launcherHandled;
        std::vector<std::wstring> queue;
        uint64_t indexTotal, bytesToDownload;
        bool launcherTaken, wholeGame;
    } cases[] = {
        {"equal indexes", TenFiles(0), true, false, {}, 100, 0, false, false},
        {"6 of 10 out of date", TenFiles(6), true, false,
         {L"f0.zip", L"f1.zip", L"f2.zip", L"f3.zip", L"f4.zip", L"f5.zip"}, 100, 60, false, true},
        {"5 of 10 out of date", TenFiles(5), true, false,
         {L"f0.zip", L"f1.zip", L"f2.zip", L"f3.zip", L"f4.zip"}, 100, 50, false, false},
        {"5 out of date holding more than half the bytes",
         {Entry(L"a", 30, 2), Entry(L"b", 30, 2), Entry(L"c", 1, 2), Entry(L"d", 1, 2), Entry(L"e", 1, 2),
          Entry(L"f", 10), Entry(L"g", 10), Entry(L"h", 10), Entry(L"i", 10), Entry(L"j", 10)},
         true, false, {L"a.zip", L"b.zip", L"c.zip", L"d.zip", L"e.zip"}, 113, 63, false, true},
        {"6 of 10 without single-package download", TenFiles(6), false, false,
         {L"f0.zip", L"f1.zip", L"f2.zip", L"f3.zip", L"f4.zip", L"f5.zip"}, 100, 60, false, false},
        {"launcher out of date: first and alone, nothing after it looked at",
         {Entry(L"a", 10, 2), Entry(L"tarnholdlauncher.EXE", 40, 2), Entry(L"b", 10, 2), Entry(L"c", 10, 2)},
         true, false, {L"tarnholdlauncher.EXE.zip"}, 50, 40, true, false},
        {"launcher current", {Entry(L"a", 10, 2), Entry(kLauncher, 40), Entry(L"b", 10)}, true, false,
         {L"a.zip"}, 60, 10, false, false},
        {"launcher handled is passed over",
         {Entry(L"a", 10, 2), Entry(kLauncher, 40, 2), Entry(L"b", 10)}, true, true,
         {L"a.zip"}, 60, 10, false, false},
        {"launcher in a folder is another file", {Entry(std::wstring(L"bin\\") + kLauncher, 10, 2)}, true, false,
         {L"bin\\TarnholdLauncher.exe.zip"}, 10, 10, false, true},
        {"unknown to the cached index: the disk decides",
         {Entry(L"f0", 10), Entry(L"new stale", 10), Entry(L"new current", 10)}, true, false,
         {L"new stale.zip"}, 30, 10, false, false},
        {"a partial package counts only its missing bytes", {Entry(L"p0", 10, 2), Entry(L"p1", 10, 2)},
         false, false, {L"p0.zip", L"p1.zip"}, 20, 6, false, false},
        {"unsafe names are left out",
         {Entry(L"..\\evil.exe", 10, 2), Entry(L"f0", 10, 2), Entry(L"C:\\evil", 10, 2), Entry(L"f1", 10)},
         true, false, {L"f0.zip"}, 20, 10, false, false},
    };
    for (const auto& c : cases) {
        // The cached index knows version 1 of every file but the new ones.
        FileIndex cached;
        for (const IndexEntry& entry : c.server) {
            if (entry.name.find(L"new ") != 0)
                cached.Append(Entry(entry.name, entry.packageSize));
        }
        FakeDisk disk;
        disk.stale = {L"new stale"};
        disk.partial = {{L"p0.zip", 4}, {L"p1.zip", 99}};
        PlanSettings settings{kLauncher, false, c.singlePackageDownload, c.launcherHandled};
        UpdatePlan plan = PlanUpdate(IndexOf(c.server), &cached, settings, disk, disk);
        EXPECT_EQ(NamesOf(plan.queue), c.queue) << c.what;
        EXPECT_EQ(plan.indexTotal, c.indexTotal) << c.what;
        EXPECT_EQ(plan.bytesToDownload, c.bytesToDownload) << c.what;
        EXPECT_EQ(plan.launcherTaken, c.launcherTaken) << c.what;
        EXPECT_EQ(plan.wholeGame, c.wholeGame) << c.what;
        EXPECT_TRUE(plan.failure.empty()) << c.what;
        // What the disk showed current is handed back to be vouched for.
        std::vector<std::wstring> current;
        for (const std::wstring& name : disk.asked) {
            EXPECT_EQ(name.find(L"new "), 0u) << c.what;
            if (disk.stale.count(name) == 0)
                current.push_back(name);
        }
        EXPECT_EQ(NamesOf(plan.foundOnDisk), current) << c.what;
    }
}

// Unsafe names are reported and never reach the disk or the rebuilt index.
TEST(UpdatePlan, IntegrityCheckAsksTheDiskForEveryFileAndRebuildsTheCachedIndex)
{
    FakeDisk disk;
    disk.stale = {L"b", kLauncher};
    const FileIndex cached = IndexOf({Entry(L"a", 10), Entry(L"b", 10)});
    const FileIndex server = IndexOf({Entry(L"..\\evil.exe", 10), Entry(L"a", 10), Entry(kLauncher, 5),
                                      Entry(L"b", 10), Entry(L"\\\\host\\x", 10), Entry(L"c", 10)});
    UpdatePlan plan = PlanUpdate(server, &cached, {kLauncher, true}, disk, disk);
    EXPECT_EQ(plan.unsafeNames, (std::vector<std::wstring>{L"..\\evil.exe", L"\\\\host\\x"}));
    EXPECT_EQ(disk.asked, (std::vector<std::wstring>{L"a", kLauncher, L"b", L"c"}));
    EXPECT_EQ(NamesOf(plan.checkedIndex.Entries()), (std::vector<std::wstring>{L"a", L"c"}));
    EXPECT_EQ(NamesOf(plan.queue), (std::vector<std::wstring>{L"TarnholdLauncher.exe.zip", L"b.zip"}));
    EXPECT_TRUE(plan.launcherTaken);
    EXPECT_FALSE(plan.wholeGame);
    EXPECT_EQ(disk.begun, 70u);
    EXPECT_EQ(disk.progress, 70u);
}

TEST(UpdatePlan, AHashingFailureEndsThePlanWithItsText)
{
    FakeDisk disk;
    const FileIndex server = IndexOf({Entry(L"a", 10), Entry(L"locked.bin", 10), Entry(L"c", 10)});
    UpdatePlan plan = PlanUpdate(server, nullptr, {kLauncher, true}, disk, disk);
    EXPECT_EQ(plan.failure, L"File 'locked.bin' open error: 13");
    EXPECT_EQ(disk.asked, (std::vector<std::wstring>{L"a", L"locked.bin"}));
    EXPECT_EQ(NamesOf(plan.checkedIndex.Entries()), std::vector<std::wstring>{L"a"});
    EXPECT_FALSE(plan.wholeGame);
}

TEST(UpdatePlan, TheGameFolderGivesOnlyPartialPackagesDatedWithTheirEntry)
{
    WriteBytes(L"dated.zip", "1234");
    WriteBytes(L"undated.zip", "1234");
    UniqueHandle dated(::CreateFileW(L"dated.zip", FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME time{static_cast<DWORD>(kFileTime), static_cast<DWORD>(kFileTime >> 32)};
    ASSERT_TRUE(::SetFileTime(dated.Get(), nullptr, nullptr, &time));
    dated.Reset();

    CGameFolderDisk disk(L".");
    EXPECT_EQ(disk.PartialSize(Entry(L"dated.zip", 10)), 4u);
    EXPECT_EQ(disk.PartialSize(Entry(L"undated.zip", 10)), 0u);
    EXPECT_EQ(disk.PartialSize(Entry(L"missing.zip", 10)), 0u);
}
