// The rule that decides whether an entry of the server's index is fetched,
// against the cached index and against the disk.

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "support/win_handles.h"
#include "test_files.h"
#include "update/needs_update.h"

namespace {

const char kMd5OfAbc[] = "900150983cd24fb0d6963f7d28e17f72";
const char kMd5OfAbd[] = "4911e516e5aa21d327512e0c8b197616";

IndexEntry Entry(const std::wstring& name, uint64_t size, const char* md5)
{
    IndexEntry entry;
    entry.name = name;
    entry.size = size;
    std::string bytes = FromHex(md5);
    std::memcpy(entry.md5.data(), bytes.data(), entry.md5.size());
    return entry;
}

} // namespace

TEST(NeedsUpdate, AgainstTheCachedIndexComparesSizeThenDigestWithoutTouchingTheDisk)
{
    FileIndex cached;
    IndexEntry known = Entry(L"Game\\Known.bin", 3, kMd5OfAbc);
    known.fileTime = 111;
    known.packageSize = 50;
    cached.Append(known);

    const struct {
        const char* what;
        IndexEntry entry;
        bool needsUpdate;
    } cases[] = {
        {"same size and digest", Entry(L"Game\\Known.bin", 3, kMd5OfAbc), false},
        {"name in another letter case", Entry(L"GAME\\known.BIN", 3, kMd5OfAbc), false},
        {"other digest", Entry(L"Game\\Known.bin", 3, kMd5OfAbd), true},
        {"other size", Entry(L"Game\\Known.bin", 4, kMd5OfAbc), true},
        {"size differs only above 32 bits", Entry(L"Game\\Known.bin", 0x100000003ULL, kMd5OfAbc), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntryNeedsUpdate(c.entry, &cached, L"."), c.needsUpdate) << c.what;
}

TEST(NeedsUpdate, AgainstTheDiskLooksAtExistenceSizeAndDigest)
{
    WriteBytes(L"abc.bin", "abc");
    WriteBytes(L"empty.bin", "");
    ::CreateDirectoryW(L"folder.bin", nullptr);
    ::CreateDirectoryW(L"sub", nullptr);
    WriteBytes(L"sub\\abc.bin", "abc");

    const struct {
        const char* what;
        IndexEntry entry;
        bool needsUpdate;
    } cases[] = {
        {"same content", Entry(L"abc.bin", 3, kMd5OfAbc), false},
        {"in a folder", Entry(L"sub\\abc.bin", 3, kMd5OfAbc), false},
        {"other content of the same size", Entry(L"abc.bin", 3, kMd5OfAbd), true},
        {"other size", Entry(L"abc.bin", 4, kMd5OfAbc), true},
        {"missing", Entry(L"missing.bin", 3, kMd5OfAbc), true},
        {"size 0 with any digest", Entry(L"empty.bin", 0, kMd5OfAbd), false},
        {"size 0 but the file has content", Entry(L"abc.bin", 0, kMd5OfAbc), true},
        {"size 0 and missing", Entry(L"missing.bin", 0, kMd5OfAbc), true},
        {"a folder of that name", Entry(L"folder.bin", 0, kMd5OfAbc), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntryNeedsUpdate(c.entry, nullptr, L"."), c.needsUpdate) << c.what;
}

TEST(NeedsUpdate, NamesTheCachedIndexLacksAreCheckedOnDisk)
{
    WriteBytes(L"disk.bin", "abc");
    FileIndex cached;
    cached.Append(Entry(L"other.bin", 3, kMd5OfAbd));
    EXPECT_FALSE(EntryNeedsUpdate(Entry(L"disk.bin", 3, kMd5OfAbc), &cached, L"."));
    EXPECT_TRUE(EntryNeedsUpdate(Entry(L"disk.bin", 3, kMd5OfAbd), &cached, L"."));
}

TEST(NeedsUpdate, AnEmptyGameFolderMeansTheCurrentFolder)
{
    WriteBytes(L"here.bin", "abc");
    EXPECT_FALSE(EntryNeedsUpdate(Entry(L"here.bin", 3, kMd5OfAbc), nullptr, L""));
}

// A file nobody may open shows whether the rule read it: only an entry of
// the right size, other than 0, is hashed.
TEST(NeedsUpdate, OnlyAFileOfTheRightSizeIsRead)
{
    WriteBytes(L"locked.bin", "abc");
    UniqueHandle lock(::CreateFileW(L"locked.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(lock);

    EXPECT_TRUE(EntryNeedsUpdate(Entry(L"locked.bin", 5, kMd5OfAbc), nullptr, L"."));
    try {
        EntryNeedsUpdate(Entry(L"locked.bin", 3, kMd5OfAbc), nullptr, L".");
        ADD_FAILURE() << "a file of the right size was not read";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "File '.\\locked.bin' open error: 13");
    }
}
