// The file index: its binary format, the reader's flags and damaged files,
// lookup and the list operations.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/win_handles.h"
#include "test_files.h"
#include "update/file_index.h"

namespace {

Md5Hash HashFromHex(const char* hex)
{
    Md5Hash hash{};
    std::string bytes = FromHex(hex);
    std::memcpy(hash.data(), bytes.data(), hash.size());
    return hash;
}

IndexEntry Entry(const std::wstring& name, uint64_t size, uint64_t packageSize = 0, uint64_t fileTime = 0,
                 const char* md5 = "00000000000000000000000000000000")
{
    IndexEntry entry;
    entry.name = name;
    entry.size = size;
    entry.packageSize = packageSize;
    entry.fileTime = fileTime;
    entry.md5 = HashFromHex(md5);
    return entry;
}

// Two entries whose image was computed independently: the name
// "data\Карта.bin" takes two UTF-8 bytes per Cyrillic letter.
FileIndex GoldenIndex()
{
    FileIndex index;
    index.Append(Entry(L"data\\\x041A\x0430\x0440\x0442\x0430.bin", 5, 33, 0x01D9A1B2C3D4E5F6ULL,
                       "5d41402abc4b2a76b9719d911017c592"));
    index.Append(Entry(L"", 0, 20, 1));
    return index;
}

const char kGoldenImage[] =
    "0200000002000000f6e5d4c3b2a1d90105000000210000001300646174615cd0"
    "9ad0b0d180d182d0b02e62696e5d41402abc4b2a76b9719d911017c592010000"
    "00000000000000000014000000000000000000000000000000000000000000ce"
    "76b6691648a8eee8d214734656df93";

void ExpectSameEntries(const FileIndex& read, const FileIndex& written)
{
    ASSERT_EQ(read.Entries().size(), written.Entries().size());
    for (size_t i = 0; i < read.Entries().size(); ++i) {
        const IndexEntry& a = read.Entries()[i];
        const IndexEntry& b = written.Entries()[i];
        EXPECT_EQ(a.name, b.name) << "entry " << i;
        EXPECT_EQ(a.fileTime, b.fileTime) << "entry " << i;
        EXPECT_EQ(a.size, b.size) << "entry " << i;
        EXPECT_EQ(a.packageSize, b.packageSize) << "entry " << i;
        EXPECT_EQ(a.md5, b.md5) << "entry " << i;
    }
}

} // namespace

TEST(FileIndexFormat, WritesTheDocumentedLayoutWithItsSaltedChecksum)
{
    ASSERT_EQ(GoldenIndex().WriteToFile(L"golden.dat"), 0);
    std::string image = ReadBytes(L"golden.dat");
    EXPECT_EQ(ToHex(image.data(), image.size()), kGoldenImage);

    std::string serialized;
    ASSERT_TRUE(GoldenIndex().Serialize(serialized));
    EXPECT_EQ(serialized, image);
}

TEST(FileIndexFormat, RoundTripKeepsEveryFieldIncludingCyrillicNames)
{
    FileIndex written;
    written.Append(Entry(L"Tarnhold.exe", 1234567, 345678, 0x01DA000011112222ULL, "0123456789abcdef0123456789abcdef"));
    written.Append(Entry(L"\x041C\x0438\x0440\\\x0417\x0430\x043C\x043E\x043A.dat", 70000, 1000, 7,
                         "ffeeddccbbaa99887766554433221100"));
    written.Append(Entry(L"maps/deep/a b+c.map", 0, 20, 0xFFFFFFFFFFFFFFFFULL));
    written.Append(Entry(L"TARNHOLD.EXE", 1, 2, 3));
    ASSERT_EQ(written.WriteToFile(L"round.dat"), 0);

    FileIndex read;
    EXPECT_TRUE(read.ReadFromFile(L"round.dat"));
    EXPECT_TRUE(read.HasHashes());
    EXPECT_TRUE(read.ChecksumPresent());
    EXPECT_TRUE(read.ChecksumCorrect());
    ExpectSameEntries(read, written);
}

TEST(FileIndexFormat, OnlyTheLow32BitsOfTheSizesAreStored)
{
    FileIndex written;
    written.Append(Entry(L"big.bin", 0x100000005ULL, 0x200000006ULL));
    ASSERT_EQ(written.WriteToFile(L"big.dat"), 0);
    FileIndex read;
    ASSERT_TRUE(read.ReadFromFile(L"big.dat"));
    EXPECT_EQ(read.Entries()[0].size, 5u);
    EXPECT_EQ(read.Entries()[0].packageSize, 6u);
}

TEST(FileIndexReader, DamagedFilesKeepWhatWasReadAndSetTheFlags)
{
    const std::string golden = FromHex(kGoldenImage);
    const size_t checksumAt = golden.size() - 16;
    const size_t secondRecordAt = 8 + 18 + 19 + 16;
    const struct {
        const char* what;
        std::string image;
        bool result;
        size_t entries;
        bool hasHashes, present, correct;
    } cases[] = {
        {"intact", golden, true, 2, true, true, true},
        {"version 1", std::string("\x01", 1) + golden.substr(1), false, 0, false, false, false},
        {"version 3", std::string("\x03", 1) + golden.substr(1), false, 0, false, false, false},
        {"no checksum", golden.substr(0, checksumAt), true, 2, true, false, false},
        {"half a checksum", golden.substr(0, checksumAt + 8), true, 2, true, false, false},
        {"wrong checksum", golden.substr(0, golden.size() - 1) + std::string(1, '\0'), false, 2, true, true, false},
        {"changed entry", golden.substr(0, 30) + "X" + golden.substr(31), false, 2, true, true, false},
        {"cut in the second record", golden.substr(0, secondRecordAt + 10), false, 1, true, false, false},
        {"cut in the first name", golden.substr(0, 8 + 18 + 5), false, 0, true, false, false},
        // Written back, each ill-formed byte would take three.
        {"ill-formed UTF-8 in the first name", golden.substr(0, 8 + 18) + "\xff" + golden.substr(8 + 19), false, 0,
         true, false, false},
        {"cut in the count", golden.substr(0, 6), false, 0, true, false, false},
        {"empty file", "", false, 0, false, false, false},
        // A hostile count: the reader stops where the data ends instead of
        // making room for four billion entries.
        {"count far beyond the data", golden.substr(0, 4) + "\xff\xff\xff\xff" + golden.substr(8), false, 2, true,
         false, false},
    };
    for (const auto& c : cases) {
        WriteBytes(L"damaged.dat", c.image);
        FileIndex index;
        EXPECT_EQ(index.ReadFromFile(L"damaged.dat"), c.result) << c.what;
        EXPECT_EQ(index.Entries().size(), c.entries) << c.what;
        EXPECT_EQ(index.HasHashes(), c.hasHashes) << c.what;
        EXPECT_EQ(index.ChecksumPresent(), c.present) << c.what;
        EXPECT_EQ(index.ChecksumCorrect(), c.correct) << c.what;
    }
}

TEST(FileIndexReader, WrongChecksumStillYieldsUsableEntries)
{
    std::string image = FromHex(kGoldenImage);
    image.back() ^= 1;
    WriteBytes(L"wrong.dat", image);
    FileIndex index;
    EXPECT_FALSE(index.ReadFromFile(L"wrong.dat"));
    ExpectSameEntries(index, GoldenIndex());
}

TEST(FileIndexReader, AMissingFileReadsNothing)
{
    FileIndex index;
    EXPECT_FALSE(index.ReadFromFile(L"no such index.dat"));
    EXPECT_TRUE(index.Entries().empty());
    EXPECT_FALSE(index.HasHashes());
}

TEST(FileIndexReader, AVersionOtherThan2LeavesTheListAsItWas)
{
    FileIndex index;
    index.Append(Entry(L"kept.bin", 1));
    WriteBytes(L"v1.dat", FromHex("0100000000000000"));
    EXPECT_FALSE(index.ReadFromFile(L"v1.dat"));
    ASSERT_EQ(index.Entries().size(), 1u);
    EXPECT_EQ(index.Entries()[0].name, L"kept.bin");
}

TEST(FileIndexReader, ReadingAStreamStopsRightAfterTheChecksum)
{
    const std::string image = FromHex(kGoldenImage);
    const std::string after = "content that follows the index";
    UniqueHandle readEnd, writeEnd;
    ASSERT_TRUE(::CreatePipe(readEnd.Receive(), writeEnd.Receive(), nullptr, 0));
    std::string stream = image + after;
    DWORD wrote = 0;
    ASSERT_TRUE(::WriteFile(writeEnd.Get(), stream.data(), static_cast<DWORD>(stream.size()), &wrote, nullptr));
    writeEnd.Reset();

    FileIndex index;
    HandleIndexInput input(readEnd.Get());
    EXPECT_TRUE(index.ReadFrom(input, false));
    EXPECT_TRUE(index.ChecksumPresent());
    EXPECT_FALSE(index.ChecksumCorrect());
    ExpectSameEntries(index, GoldenIndex());

    std::string rest(after.size() + 1, '\0');
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(readEnd.Get(), &rest[0], static_cast<DWORD>(rest.size()), &got, nullptr));
    EXPECT_EQ(rest.substr(0, got), after);
}

TEST(FileIndexReader, ADescriptorIsReadFromItsCurrentPosition)
{
    WriteBytes(L"offset.dat", "HEAD" + FromHex(kGoldenImage));
    UniqueCrtFile file(::_wopen(L"offset.dat", _O_RDONLY | _O_BINARY));
    ASSERT_TRUE(file);
    char head[4];
    ASSERT_EQ(::_read(file.Get(), head, 4), 4);
    FileIndex index;
    EXPECT_TRUE(index.ReadFromDescriptor(file.Get(), true));
    EXPECT_TRUE(index.ChecksumCorrect());
}

TEST(FileIndexWriter, FailsWhenTheFileCannotBeCreated)
{
    EXPECT_EQ(GoldenIndex().WriteToFile(L"missing folder\\index.dat"), -1);
}

TEST(FileIndexWriter, NamesOfThreeByteLettersAreWrittenWhole)
{
    FileIndex written;
    written.Append(Entry(L"\x5730\x56FE\\\x6587\x4EF6.bin", 4));
    ASSERT_EQ(written.WriteToFile(L"wide.dat"), 0);
    FileIndex read;
    ASSERT_TRUE(read.ReadFromFile(L"wide.dat"));
    ExpectSameEntries(read, written);
}

TEST(FileIndexLookup, FindsTheFirstEntryIgnoringLetterCase)
{
    FileIndex index;
    index.Append(Entry(L"Data\\Map.bin", 1));
    index.Append(Entry(L"data\\map.BIN", 2));
    index.Append(Entry(L"\x041A\x0430\x0440\x0442\x0430.bin", 3));
    const struct {
        const wchar_t* name;
        uint64_t size;
    } cases[] = {
        {L"Data\\Map.bin", 1},
        {L"data\\map.BIN", 1},
        {L"DATA\\MAP.BIN", 1},
        {L"\x041A\x0410\x0420\x0422\x0410.BIN", 3},
        {L"Data/Map.bin", 1},
        {L"Data\\Map.bin. ", 1},
        {L"Map.bin", 0},
        {L"", 0},
    };
    for (const auto& c : cases) {
        const IndexEntry* found = index.Find(c.name);
        EXPECT_EQ(found ? found->size : 0, c.size);
    }
}

TEST(FileIndexList, AddOrReplaceReplacesTheFirstMatchInPlaceElseAppends)
{
    FileIndex index;
    index.Append(Entry(L"a.bin", 1));
    index.Append(Entry(L"b.bin", 2));
    index.Append(Entry(L"A.BIN", 3));
    index.AddOrReplace(Entry(L"A.bin", 10));
    index.AddOrReplace(Entry(L"c.bin", 4));
    index.Append(Entry(L"c.bin", 5));

    const struct {
        const wchar_t* name;
        uint64_t size;
    } expected[] = {{L"A.bin", 10}, {L"b.bin", 2}, {L"A.BIN", 3}, {L"c.bin", 4}, {L"c.bin", 5}};
    ASSERT_EQ(index.Entries().size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(index.Entries()[i].name, expected[i].name);
        EXPECT_EQ(index.Entries()[i].size, expected[i].size);
    }
    EXPECT_EQ(index.TotalSize(), 24u);
    EXPECT_EQ(index.Find(L"a.BIN"), &index.Entries()[0]);
    EXPECT_EQ(index.Find(L"C.bin"), &index.Entries()[3]);
}

TEST(FileIndexList, ReadingReplacesAndClearEmptiesTheListAndKeepsTheFlags)
{
    const wchar_t* goldenName = L"DATA\\\x041A\x0410\x0420\x0422\x0410.BIN";
    ASSERT_EQ(GoldenIndex().WriteToFile(L"flags.dat"), 0);
    FileIndex index;
    index.Append(Entry(L"stale.bin", 1));
    ASSERT_TRUE(index.ReadFromFile(L"flags.dat"));
    EXPECT_EQ(index.Find(L"stale.bin"), nullptr);
    EXPECT_EQ(index.Find(goldenName), &index.Entries()[0]);
    index.Clear();
    EXPECT_TRUE(index.Entries().empty());
    EXPECT_EQ(index.Find(goldenName), nullptr);
    EXPECT_TRUE(index.HasHashes());
    EXPECT_TRUE(index.ChecksumPresent());
    EXPECT_TRUE(index.ChecksumCorrect());
}

// Lookup goes through keys: they must split the names exactly where the
// comparison does, for every UTF-16 unit (sorted by the comparison, each run
// of equal units shares one key that no other run has) and for whole names.
TEST(FileIndexLookup, NameKeysFoldExactlyAsTheComparison)
{
    // Each unit leads a name, so a dot or a blank does not end it; "/" is
    // the one unit that names as "\\" does.
    std::vector<std::wstring> units;
    for (unsigned unit = 0; unit < 0x10000; ++unit) {
        if (unit != L'/')
            units.push_back(std::wstring(1, static_cast<wchar_t>(unit)) + L"x");
    }
    std::stable_sort(units.begin(), units.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.c_str(), 2, b.c_str(), 2, TRUE) == CSTR_LESS_THAN;
    });
    std::set<std::wstring> runKeys;
    for (size_t i = 0; i < units.size(); ++i) {
        if (i > 0 && SameEntryName(units[i - 1], units[i]))
            EXPECT_EQ(EntryNameKey(units[i - 1]), EntryNameKey(units[i])) << std::hex << unsigned(units[i][0]);
        else
            EXPECT_TRUE(runKeys.insert(EntryNameKey(units[i])).second) << std::hex << unsigned(units[i][0]);
    }

    const struct {
        const wchar_t* a;
        const wchar_t* b;
    } names[] = {
        {L"Data\\Tarnhold.EXE", L"data\\tarnhold.exe"},
        {L"\x041A\x0430\x0440\x0442\x0430\x0451.bin", L"\x041A\x0410\x0420\x0422\x0410\x0401.BIN"},
        {L"\x0456\x0491", L"\x0406\x0490"},
        {L"\xD801\xDC28.bin", L"\xD801\xDC00.bin"},
        {L"a.bin", L"b.bin"},
        {L"data/maps\\a.bin", L"DATA\\maps/A.BIN"},
        {L"x. .", L"x"},
        {L"maps.\\x", L"maps\\x"},
        {L"x.bin", L"xbin"},
    };
    for (const auto& n : names)
        EXPECT_EQ(SameEntryName(n.a, n.b), EntryNameKey(n.a) == EntryNameKey(n.b)) << n.a;
}
