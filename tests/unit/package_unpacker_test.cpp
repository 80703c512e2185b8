// The whole-game package unpacker in process, on packages made with our own
// codec; the integration tests cover packages made by Python's gzip module.

#include <gtest/gtest.h>

#include "support/gzip/zip_codec.h"
#include "support/win_handles.h"
#include "test_files.h"
#include "update/md5_digest.h"
#include "update/package_unpacker.h"

namespace {

IndexEntry EntryFor(const std::wstring& name, const std::string& content, uint64_t fileTime)
{
    IndexEntry entry;
    entry.name = name;
    entry.size = content.size();
    entry.fileTime = fileTime;
    CMd5Digest digest;
    digest.Update(content.data(), content.size());
    entry.md5 = digest.Digest();
    return entry;
}

// A package of the index followed by the contents, compressed with CZip.
void MakePackage(const char* packageName, const FileIndex& index, const std::string& contents)
{
    std::string image;
    ASSERT_TRUE(index.Serialize(image));
    WriteBytes(L"stream.bin", image + contents);
    CZip("stream.bin").ToFile(packageName);
}

uint64_t LastWriteTime(const wchar_t* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// A receiver that hangs in its first call, as one whose window no longer
// answers would.
struct HangingReceiver : IUnpackEventReceiver {
    void OnUnpackFileDone(const IndexEntry&) override {}
    void OnUnpackBytes(uint32_t) override {}
    void OnUnpackBegin(uint64_t) override { ::Sleep(INFINITE); }
};

} // namespace

TEST(PackageUnpacker, WorksWithoutAReceiverAndFillsTheResultIndex)
{
    const std::string first(100000, 'a');
    const std::string second = "second file";
    FileIndex published;
    published.Append(EntryFor(L"out\\first.bin", first, 0x01D0000000000000ULL));
    published.Append(EntryFor(L"out\\deep\\second.bin", second, 0x01D0000000001000ULL));
    MakePackage("game_full.zip", published, first + second);

    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FileIndex result;
    EXPECT_TRUE(UnpackGamePackage(L"game_full.zip", nullptr, stop.Get(), result));
    EXPECT_EQ(ReadBytes(L"out\\first.bin"), first);
    EXPECT_EQ(ReadBytes(L"out\\deep\\second.bin"), second);
    EXPECT_EQ(LastWriteTime(L"out\\first.bin"), 0x01D0000000000000ULL);
    EXPECT_EQ(LastWriteTime(L"out\\deep\\second.bin"), 0x01D0000000001000ULL);
    ASSERT_EQ(result.Entries().size(), 2u);
    EXPECT_EQ(result.Entries()[1].name, L"out\\deep\\second.bin");
    EXPECT_TRUE(result.HasHashes());
    EXPECT_TRUE(result.ChecksumPresent());
}

TEST(PackageUnpacker, AStopSignalledBeforehandFailsAndLeavesTheCodecUsable)
{
    const std::string content(3000000, 'z');
    FileIndex published;
    published.Append(EntryFor(L"stopped.bin", content, 0x01D0000000000000ULL));
    MakePackage("stopped_full.zip", published, content);

    UniqueHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    FileIndex result;
    EXPECT_FALSE(UnpackGamePackage(L"stopped_full.zip", nullptr, stop.Get(), result));

    ::ResetEvent(stop.Get());
    EXPECT_TRUE(UnpackGamePackage(L"stopped_full.zip", nullptr, stop.Get(), result));
    EXPECT_EQ(ReadBytes(L"stopped.bin"), content);
    EXPECT_TRUE(::DeleteFileW(L"stopped_full.zip"));
}

TEST(PackageUnpacker, AStopEndsBothThreadsWellWithinTheOwnersWait)
{
    FileIndex published;
    published.Append(EntryFor(L"hung.bin", "content", 0x01D0000000000000ULL));
    MakePackage("hung_full.zip", published, "content");

    HangingReceiver receiver;
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    FileIndex result;
    DWORD start = ::GetTickCount();
    EXPECT_FALSE(UnpackGamePackage(L"hung_full.zip", &receiver, stop.Get(), result));
    // The job's owner gives its worker 20 s after a stop.
    EXPECT_LT(::GetTickCount() - start, 10000u);
}

TEST(PackageUnpacker, AMissingPackageFails)
{
    UniqueHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    FileIndex result;
    EXPECT_FALSE(UnpackGamePackage(L"missing_full.zip", nullptr, stop.Get(), result));
    EXPECT_TRUE(result.Entries().empty());
}
