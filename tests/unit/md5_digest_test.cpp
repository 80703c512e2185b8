// The MD5 digest object and the whole-file digest.

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/win_handles.h"
#include "test_files.h"
#include "update/file_digest.h"
#include "update/md5_digest.h"

namespace {

std::string HexOf(const Md5Hash& digest)
{
    return ToHex(digest.data(), digest.size());
}

std::string DigestOf(const std::string& text)
{
    CMd5Digest digest;
    digest.Update(text.data(), text.size());
    return HexOf(digest.Digest());
}

std::string PatternBytes(size_t size)
{
    std::string bytes(size, '\0');
    uint32_t state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245 + 12345;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string FileDigestFailure(const std::wstring& path)
{
    try {
        FileDigest(path);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace

TEST(Md5Digest, MatchesTheReferenceVectors)
{
    const struct {
        std::string input;
        const char* md5;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DigestOf(c.input), c.md5) << "input \"" << c.input << "\"";
}

TEST(Md5Digest, PiecewiseUpdatesEqualOneUpdate)
{
    CMd5Digest digest;
    digest.Update("message ", 8);
    digest.Update("", 0);
    digest.Update("digest", 6);
    EXPECT_EQ(HexOf(digest.Digest()), "f96b697d7cb7938d525a2f31aaf161d0");
}

TEST(Md5Digest, AnUpdateAfterTakingTheDigestStartsANewHash)
{
    CMd5Digest digest;
    digest.Update("a", 1);
    EXPECT_EQ(HexOf(digest.Digest()), "0cc175b9c0f1b6a831c399e269772661");
    digest.Update("b", 1);
    EXPECT_EQ(HexOf(digest.Digest()), DigestOf("b"));
}

TEST(Md5Digest, NothingGivenIsTheDigestOfTheEmptyInput)
{
    CMd5Digest digest;
    EXPECT_EQ(HexOf(digest.Digest()), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(FileDigest, EqualsTheDigestOfTheWholeContentAtEverySize)
{
    const size_t kMiB = 1024 * 1024;
    const size_t sizes[] = {0, 1, 3, 65535, 65536, 65537, kMiB - 1, kMiB, kMiB + 1, 3 * kMiB + 7};
    for (size_t size : sizes) {
        std::string content = PatternBytes(size);
        WriteBytes(L"content.bin", content);
        EXPECT_EQ(HexOf(FileDigest(L"content.bin")), DigestOf(content)) << "size " << size;
    }
}

TEST(FileDigest, NamesTheFileAndTheErrorWhenItCannotBeOpened)
{
    EXPECT_EQ(FileDigestFailure(L"missing.bin"), "File 'missing.bin' open error: 2");
}

// The digest denies writers while it reads; a file another process is
// writing cannot be opened at all.
TEST(FileDigest, AFileHeldOpenForWritingByAnotherProcessGivesTheOpenError)
{
    WriteBytes(L"held.bin", "abc");
    const char* buildDir = std::getenv("TARNHOLD_BUILD_DIR");
    ASSERT_NE(buildDir, nullptr);

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueHandle childInput, feedInput, readOutput, childOutput;
    ASSERT_TRUE(::CreatePipe(childInput.Receive(), feedInput.Receive(), &inherit, 0));
    ASSERT_TRUE(::CreatePipe(readOutput.Receive(), childOutput.Receive(), &inherit, 0));
    ::SetHandleInformation(feedInput.Get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(readOutput.Get(), HANDLE_FLAG_INHERIT, 0);

    wchar_t heldPath[MAX_PATH];
    ::GetFullPathNameW(L"held.bin", MAX_PATH, heldPath, nullptr);
    std::wstring commandLine =
        L"\"" + WinePathOf(buildDir) + L"\\file_holder.exe\" \"" + std::wstring(heldPath) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.Get();
    startup.hStdOutput = childOutput.Get();
    startup.hStdError = childOutput.Get();
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                 &started));
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    childInput.Reset();
    childOutput.Reset();

    std::string said;
    char c;
    DWORD got = 0;
    while (said.find('\n') == std::string::npos && ::ReadFile(readOutput.Get(), &c, 1, &got, nullptr) && got == 1)
        said += c;
    ASSERT_EQ(said.substr(0, 7), "holding") << said;

    EXPECT_EQ(FileDigestFailure(L"held.bin"), "File 'held.bin' open error: 13");

    feedInput.Reset();
    EXPECT_EQ(::WaitForSingleObject(process.Get(), INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(HexOf(FileDigest(L"held.bin")), "900150983cd24fb0d6963f7d28e17f72");
}
