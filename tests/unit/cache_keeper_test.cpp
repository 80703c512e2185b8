// The cache keeper in memory: whatever instant a run is killed at (also in
// the middle of a journal record), the cached index read back with its
// journal vouches only for files whose bytes its entries describe, and
// names the package whose download had started.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/fakes/memory_keeper_files.h"
#include "update/cache_keeper.h"

namespace {

// Content of each game file, by the file system's key of its name: 0 is a
// file cut short or being written.
using Disk = std::map<std::wstring, int>;

// Every instant of a run, as a kill would leave it, is loaded by a new
// keeper: what it vouches for must be on disk.
class CacheKeeperKills : public ::testing::Test {
protected:
    void SetUp() override
    {
        files.changed = [this] { CheckAfterKill(); };
    }

    void CheckAfterKill()
    {
        MemoryKeeperFiles after = files;
        after.changed = [] {};
        CCacheKeeper reloaded(after);
        std::optional<IndexEntry> package;
        reloaded.Load(package);
        for (const IndexEntry& entry : reloaded.Vouched().Entries()) {
            EXPECT_EQ(disk[EntryNameKey(entry.name)], entry.md5[0]) << step << ": " << NarrowName(entry.name);
        }
        if (!noted.empty() && !files.failsToAppend) {
            EXPECT_EQ(package ? package->name : L"none", noted) << step;
        }
        ++kills;
    }

    // How the run writes a file: unvouch, cut bytes, whole bytes, check, vouch.
    void Install(CCacheKeeper& keeper, const std::wstring& name, int version, bool completes = true)
    {
        keeper.Unvouch(name);
        disk[EntryNameKey(name)] = 0;
        CheckAfterKill();
        if (!completes)
            return;
        disk[EntryNameKey(name)] = version;
        CheckAfterKill();
        keeper.Vouch(KeeperEntry(name, version));
    }

    MemoryKeeperFiles files;
    Disk disk;
    std::string step;
    std::wstring noted;  // the package whose download started last
    int kills = 0;
};

} // namespace

TEST_F(CacheKeeperKills, NoInstantVouchesForBytesThatAreNotOnDisk)
{
    const struct {
        const char* what;
        std::vector<std::pair<const wchar_t*, bool>> installs;  // name, completes
        bool saveBetween, journalFails;
    } runs[] = {
        {"single packages, saved now and then", {{L"a", true}, {L"b", true}, {L"c", true}}, true, false},
        {"single packages, never saved", {{L"a", true}, {L"b", true}}, false, false},
        {"whole game cut inside an unchanged file", {{L"a", true}, {L"m", false}}, true, false},
        {"a name spelled another way, cut", {{L"A/B.", false}}, true, false},
        {"a journal that cannot be written (a full disk)", {{L"a", true}, {L"m", false}}, false, true},
    };
    for (const auto& run : runs) {
        step = run.what;
        files = MemoryKeeperFiles();
        files.changed = [this] { CheckAfterKill(); };
        disk.clear();
        noted.clear();
        FileIndex installed;
        for (const wchar_t* name : {L"a", L"b", L"c", L"m", L"a\\b"}) {
            disk[EntryNameKey(name)] = 1;
            installed.Append(KeeperEntry(name, 1));
        }
        CCacheKeeper keeper(files);
        std::optional<IndexEntry> package;
        keeper.Load(package);
        keeper.Adopt(installed);
        files.failsToAppend = run.journalFails;
        for (const auto& install : run.installs) {
            noted.clear();
            keeper.NotePackage(KeeperEntry(std::wstring(install.first) + L".zip", 2));
            noted = std::wstring(install.first) + L".zip";
            Install(keeper, install.first, 2, install.second);
            if (run.saveBetween)
                keeper.Save();
        }
        keeper.Save();

        CCacheKeeper next(files);
        ASSERT_TRUE(next.Load(package)) << run.what;
        for (const auto& install : run.installs)
            EXPECT_EQ(next.Vouches(KeeperEntry(install.first, 2)), install.second) << run.what;
    }
    EXPECT_GT(kills, 40);
}

TEST_F(CacheKeeperKills, TheNotedPackageAndTheServerIndexOnCompletion)
{
    CCacheKeeper keeper(files);
    std::optional<IndexEntry> package;
    EXPECT_FALSE(keeper.Load(package));
    keeper.Adopt(FileIndex());
    keeper.NotePackage(KeeperEntry(L"a.zip", 2));
    keeper.Save();

    CCacheKeeper restarted(files);
    ASSERT_TRUE(restarted.Load(package));
    ASSERT_TRUE(package);
    EXPECT_EQ(package->name, L"a.zip");

    FileIndex server;
    server.Append(KeeperEntry(L"a", 2));
    server.Append(KeeperEntry(L"launcher.exe", 2));
    Install(restarted, L"a", 2);
    restarted.Complete(server);
    EXPECT_EQ(files.index, "a=2;");
    EXPECT_TRUE(files.journal.empty());
    disk[EntryNameKey(L"launcher.exe")] = 2;
    restarted.Vouch(KeeperEntry(L"launcher.exe", 2));
    restarted.Complete(server);
    EXPECT_EQ(files.index, "a=2;launcher.exe=2;");
}
