// The package installer behind its disk seam: which failures leave the old
// file alone and vouched for, which remove it and leave it unvouched, and
// that only a checked file is vouched for.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/gzip/zip_codec.h"
#include "test_files.h"
#include "tests/fakes/memory_keeper_files.h"
#include "update/md5_digest.h"
#include "update/package_installer.h"

namespace {

const wchar_t kPackage[] = L"a.bin.zip";
const wchar_t kTarget[] = L"a.bin";

struct FakeInstallDisk : IInstallDisk {
    std::map<std::wstring, uint64_t> files;
    bool locked = false, decompresses = true, matches = true;
    std::vector<std::wstring> done;

    std::optional<uint64_t> Size(const std::wstring& path) override
    {
        auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional<uint64_t>(found->second);
    }
    bool Remove(const std::wstring& path) override
    {
        done.push_back(L"remove");
        return !locked && (files.erase(path), true);
    }
    bool Unpack(const std::wstring& package, const std::wstring& target, std::wstring& failure) override
    {
        done.push_back(L"unpack");
        files.erase(package);
        failure = decompresses ? L"" : L"CRC error";
        if (decompresses)
            files[target] = 100;
        return decompresses;
    }
    bool Matches(const std::wstring&, const IndexEntry&, bool, std::wstring&) override { return matches; }
    void Delete(const std::wstring& path) override { files.erase(path); }
};

} // namespace

TEST(PackageInstaller, OnlyAWholePackageTouchesTheFileAndOnlyACheckedFileIsVouchedFor)
{
    const struct {
        const char* what;
        std::optional<uint64_t> onDisk;
        uint64_t packageSize;
        bool locked, decompresses, matches;
        InstallResult result;
        std::vector<std::wstring> done;
        bool vouchedAfter;
    } cases[] = {
        {"whole package", 50, 50, false, true, true, InstallResult::Installed, {L"remove", L"unpack"}, true},
        {"cut stream", 30, 50, false, true, true, InstallResult::WrongSize, {}, true},
        {"no package", std::nullopt, 50, false, true, true, InstallResult::WrongSize, {}, true},
        {"size 0 in the index", 0, 0, false, true, true, InstallResult::WrongSize, {}, true},
        {"file held by another process", 50, 50, true, true, true, InstallResult::TargetLocked, {L"remove"}, false},
        {"package that does not decompress", 50, 50, false, false, true, InstallResult::UnpackFailed,
         {L"remove", L"unpack"}, false},
        {"bytes not the entry's", 50, 50, false, true, false, InstallResult::Mismatch, {L"remove", L"unpack"}, false},
    };
    for (const auto& c : cases) {
        FakeInstallDisk disk;
        disk.files[kTarget] = 100;
        if (c.onDisk)
            disk.files[kPackage] = *c.onDisk;
        disk.locked = c.locked;
        disk.decompresses = c.decompresses;
        disk.matches = c.matches;
        MemoryKeeperFiles files;
        CCacheKeeper keeper(files);
        FileIndex installed;
        installed.Append(KeeperEntry(kTarget, 1));
        keeper.Adopt(installed);

        IndexEntry entry = KeeperEntry(kTarget, 2);
        entry.packageSize = c.packageSize;
        const InstallOutcome outcome = InstallPackage(entry, kPackage, kTarget, true, disk, keeper);
        EXPECT_EQ(outcome.result, c.result) << c.what;
        EXPECT_EQ(disk.done, c.done) << c.what;
        // A package is kept only for a file that could not be removed.
        EXPECT_EQ(disk.Size(kPackage).has_value(), c.locked) << c.what;
        EXPECT_EQ(keeper.Vouches(c.result == InstallResult::Installed ? entry : KeeperEntry(kTarget, 1)),
                  c.vouchedAfter)
            << c.what;
        // And so says the cached index once written.
        keeper.Save();
        EXPECT_EQ(files.index, c.vouchedAfter ? (c.result == InstallResult::Installed ? "a.bin=2;" : "a.bin=1;") : "")
            << c.what;
    }
}

// The game folder's disk, hashing and unpacking a real file: once the stop
// is set both end at their next chunk, and the package stays to be unpacked
// by the next pass.
TEST(GameFolderInstallDisk, AStopEndsHashingAndUnpackingAndKeepsThePackage)
{
    const std::string content(3 * 1024 * 1024, 'x');
    WriteBytes(L"stop.bin", content);
    CZip(L"stop.bin").ToFile(L"stop.bin.zip");
    IndexEntry entry = KeeperEntry(L"stop.bin", 1);
    entry.size = content.size();
    CMd5Digest digest;
    digest.Update(content.data(), content.size());
    entry.md5 = digest.Digest();

    for (const bool stopped : {true, false}) {
        std::atomic<bool> stop{stopped};
        CGameFolderInstallDisk disk(&stop);
        std::wstring failure;
        EXPECT_EQ(disk.Matches(L"stop.bin", entry, true, failure), !stopped) << stopped;
        EXPECT_EQ(failure, stopped ? L"stopped" : L"") << stopped;
        failure.clear();
        EXPECT_EQ(disk.Unpack(L"stop.bin.zip", L"stop.out", failure), !stopped) << stopped;
        EXPECT_EQ(disk.Size(L"stop.bin.zip").has_value(), stopped) << stopped;
    }
    EXPECT_EQ(ReadBytes(L"stop.out"), content);
}
