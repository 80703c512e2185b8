#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include "support/folder_path.h"
#include "support/random.h"
#include "support/text_utils.h"

namespace {

using Pieces = std::vector<std::wstring>;

TEST(UrlEncode, EncodesReservedAndHighBytesKeepsTheRest)
{
    EXPECT_EQ(UrlEncode("a b&c=d/\xC3\xA9"), "a%20b%26c%3Dd%2F%C3%A9");
    EXPECT_EQ(UrlEncode("-._*'()"), "-._*'()");
    EXPECT_EQ(UrlEncode("~{|}\x7F"), "%7E%7B%7C%7D%7F");
    EXPECT_EQ(UrlEncode(" \"<>%\\^[]`+$,@:;/!#?=&"),
              "%20%22%3C%3E%25%5C%5E%5B%5D%60%2B%24%2C%40%3A%3B%2F%21%23%3F%3D%26");
    EXPECT_EQ(UrlEncode("\t\r\n"), "%09%0D%0A");
    EXPECT_EQ(UrlEncode("AZaz09{8856F961-340A}"), "AZaz09%7B8856F961-340A%7D");
    EXPECT_EQ(UrlEncode(""), "");
}

TEST(ReplaceAll, ContinuesAfterTheInsertedText)
{
    std::wstring text = L"a  b";
    ReplaceAll(text, L" ", L"%20");
    EXPECT_EQ(text, L"a%20%20b");

    std::wstring grows = L"xax";
    ReplaceAll(grows, L"a", L"aa");
    EXPECT_EQ(grows, L"xaax");

    std::wstring none = L"abc";
    ReplaceAll(none, L"z", L"y");
    EXPECT_EQ(none, L"abc");
}

TEST(ReplaceChar, ChangesEveryUnit)
{
    std::wstring text = L"a\\b\\c d";
    ReplaceChar(&text[0], &text[0] + text.size(), L'\\', L'/');
    EXPECT_EQ(text, L"a/b/c d");
}

TEST(Trim, RemovesBlanksAndTabsOnly)
{
    EXPECT_EQ(Trim(L" \t \t"), L"");
    EXPECT_EQ(Trim(L""), L"");
    EXPECT_EQ(Trim(L"\t a b \t"), L"a b");
    EXPECT_EQ(Trim(L"\na\r"), L"\na\r");
}

TEST(Split, SkipsDelimitersAtThePositionKeepsBlankPieces)
{
    EXPECT_EQ(Split(L"/a/ b //c/", L"/"), (Pieces{L"a", L"b", L"c"}));
    EXPECT_EQ(Split(L" /a", L"/"), (Pieces{L"", L"a"}));
    EXPECT_EQ(Split(L"", L"/"), Pieces{});
    EXPECT_EQ(Split(L"Software\\OrvixGames\\Tarnhold", L"/"), (Pieces{L"Software\\OrvixGames\\Tarnhold"}));
}

TEST(SplitAny, FirstListedDelimiterThatOccursDecides)
{
    EXPECT_EQ(SplitAny(L"Debug\\HW", {L"/", L"\\"}), (Pieces{L"Debug", L"HW"}));
    EXPECT_EQ(SplitAny(L"Engine/Graphics/Width", {L"/", L"\\"}), (Pieces{L"Engine", L"Graphics", L"Width"}));
    // "/" occurs later in the text but is listed first, so it cuts first.
    EXPECT_EQ(SplitAny(L"a\\b/c", {L"/", L"\\"}), (Pieces{L"a\\b", L"c"}));
    EXPECT_EQ(SplitAny(L"//a// b /", {L"/", L"\\"}), (Pieces{L"a", L"b"}));
    EXPECT_EQ(SplitAny(L"Game", {L"/", L"\\"}), (Pieces{L"Game"}));
}

TEST(FormatString, FormatsWideTextAndKeepsTheLimit)
{
    EXPECT_EQ(FormatString(L"%s-%d-%.0f%%", L"\x0444\x0430\x0439\x043B", 42, 99.6), L"\x0444\x0430\x0439\x043B-42-100%");
    EXPECT_EQ(FormatString(L"%f", 0.5), L"0.500000");
    std::wstring long9999(9999, L'x');
    EXPECT_EQ(FormatString(L"%s", long9999.c_str()), long9999);
    std::wstring tooLong(12000, L'y');
    EXPECT_EQ(FormatString(L"%s", tooLong.c_str()).size(), 9999u);
}

TEST(CaseHandling, ComparesAndUpperCases)
{
    EXPECT_TRUE(EqualsNoCase(L"DataSources.TXT", L"datasources.txt"));
    EXPECT_FALSE(EqualsNoCase(L"datasources.txt", L"datasources.txt2"));
    EXPECT_EQ(ToUpper(L"{8856f961-340a-11d0-a96b-00c04fd705a2}"), L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
}

TEST(CodePages, ConvertAtTheBoundaries)
{
    EXPECT_EQ(WideToAnsi(L""), "");
    EXPECT_EQ(AnsiToWide(""), L"");
    EXPECT_EQ(WideToAnsi(L"Tarnhold 2.exe"), "Tarnhold 2.exe");
    EXPECT_EQ(AnsiToWide("Tarnhold 2.exe"), L"Tarnhold 2.exe");
    // Characters outside the code page become its default character, one byte each.
    std::wstring chinese = L"\x4E2D\x6587";
    EXPECT_EQ(WideToAnsi(chinese).size(), 2u);
    EXPECT_EQ(AnsiToUtf8("abc"), "abc");
    EXPECT_EQ(AnsiToUtf8(""), "");
}

TEST(CodePages, DoubleByteCodePagesComeOutWhole)
{
    const struct {
        const wchar_t* text;
        UINT codePage;
        std::string bytes;
    } cases[] = {
        {L"\x65E5\x672C.exe", 932, "\x93\xFA\x96\x7B.exe"},
        {L"a\x4E2D", 936, "a\xD6\xD0"},
        {L"\xE9", CP_UTF8, "\xC3\xA9"},
        {L"abc", 12345, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WideToCodePage(c.text, c.codePage), c.bytes) << c.codePage;
}

class CreateFolderPathTest : public ::testing::Test {
protected:
    std::wstring Base()
    {
        wchar_t current[MAX_PATH];
        ::GetCurrentDirectoryW(MAX_PATH, current);
        return current;
    }
};

TEST_F(CreateFolderPathTest, CreatesMissingFoldersTopFirst)
{
    std::wstring path = Base() + L"\\one\\two\\\x0442\x0440\x0438";
    EXPECT_EQ(CreateFolderPath(path.c_str()), 0u);
    EXPECT_TRUE(::PathIsDirectoryW(path.c_str()));
}

TEST_F(CreateFolderPathTest, ExistingFolderCreatesNothing)
{
    std::wstring path = Base();
    EXPECT_EQ(CreateFolderPath(path.c_str()), 0u);
}

TEST_F(CreateFolderPathTest, FileInTheWayGivesItsError)
{
    std::wstring file = Base() + L"\\blocker";
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::CloseHandle(h);
    std::wstring below = file + L"\\inner\\deeper";
    EXPECT_NE(CreateFolderPath(below.c_str()), 0u);
}

TEST_F(CreateFolderPathTest, RelativePathsStartAtTheCurrentFolder)
{
    for (const wchar_t* path : {L"data\\new", L"top", L"data\\new\\deeper", L""}) {
        EXPECT_EQ(CreateFolderPath(path), 0u) << path;
        EXPECT_TRUE(::PathIsDirectoryW((Base() + L"\\" + path).c_str()));
    }
}

TEST_F(CreateFolderPathTest, TooLongPathFails)
{
    std::wstring tooLong = Base() + L"\\" + std::wstring(300, L'a');
    EXPECT_NE(CreateFolderPath(tooLong.c_str()), 0u);
}

TEST(Random, SeededSequenceIsTheMultiplyWithCarryOne)
{
    SeedRandom(12345);
    EXPECT_DOUBLE_EQ(NextRandom(), 3147636056.0 / 4294967296.0);
    EXPECT_DOUBLE_EQ(NextRandom(), 2162146925.0 / 4294967296.0);
    EXPECT_DOUBLE_EQ(NextRandom(), 2585283672.0 / 4294967296.0);

    SeedRandom(1);
    for (int i = 0; i < 10000; ++i) {
        double value = NextRandom();
        ASSERT_GE(value, 0.0);
        ASSERT_LT(value, 1.0);
    }
}

} // namespace
