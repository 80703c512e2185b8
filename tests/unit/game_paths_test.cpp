// Names and paths of the update files: local paths, request paths and the
// check that keeps index names below the game folder.

#include <gtest/gtest.h>

#include "update/game_paths.h"

TEST(GamePaths, LocalPathsJoinTheGameFolderWithABackslash)
{
    EXPECT_EQ(GamePath(L".", L"fileindex.dat"), L".\\fileindex.dat");
    EXPECT_EQ(GamePath(L"", L"fileindex.dat"), L"fileindex.dat");
    EXPECT_EQ(GamePath(L"C:\\Games\\Tarnhold", L"data\\a.bin"), L"C:\\Games\\Tarnhold\\data\\a.bin");
}

TEST(GamePaths, PackageNamesAppendZip)
{
    EXPECT_EQ(PackageName(kServerIndexName), L"fileindex.dat.zip");
    EXPECT_EQ(PackageName(L"data\\a b.bin"), L"data\\a b.bin.zip");
    EXPECT_EQ(FullPackageName(L"tarnhold2"), L"tarnhold2_full.zip");
}

TEST(GamePaths, RequestPathsUseSlashesAndPercentEncodeTheUtf8OfServedNames)
{
    const struct {
        const wchar_t* directory;
        const wchar_t* name;
        const wchar_t* path;
    } cases[] = {
        {L"tarnhold2", L"datasources.txt", L"tarnhold2/datasources.txt"},
        {L"tarnhold2", L"data\\a b+c.bin.zip", L"tarnhold2/data/a_b_c.bin.zip"},
        {L"tarnhold2", L"data/\x5730\x56FE.txt.zip", L"tarnhold2/data/%E5%9C%B0%E5%9B%BE.txt.zip"},
        {L"", L"\x0434\\100% #1.zip", L"%D0%B4/100%25_%231.zip"},
        {L"pub/deep", L"x.zip", L"pub/deep/x.zip"},
        {L"", L"x y.zip", L"x_y.zip"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestPath(c.directory, c.name), c.path);
}

TEST(GamePaths, OnlyNamesBelowTheGameFolderAreSafe)
{
    const struct {
        std::wstring name;
        bool safe;
    } cases[] = {
        {L"Tarnhold.exe", true},
        {L"data\\maps\\a.map", true},
        {L"data/maps/a.map", true},
        {L"..data\\a..b", true},
        {L".hidden", true},
        {L"", false},
        {L"..", false},
        {L"..\\escape.bin", false},
        {L"data\\..\\..\\escape.bin", false},
        {L"data/../escape.bin", false},
        {L"data\\.. \\escape.bin", false},
        {L"data\\. .\\x.bin", false},
        {L"data\\...\\x.bin", false},
        {L"data\\.\\x.bin", false},
        {L"data\\\\x.bin", false},
        {L"data\\", false},
        {L"\\Windows\\x.bin", false},
        {L"/etc/x.bin", false},
        {L"\\\\server\\share\\x.bin", false},
        {L"\\\\?\\C:\\x.bin", false},
        {L"C:\\x.bin", false},
        {L"C:x.bin", false},
        {L"data\\x.bin:stream", false},
        {std::wstring(L"a\0.bin", 6), false}, {L"data\\a\tb.bin", false}, {L"a\x1F", false},
        {L"NUL", false}, {L"data\\nul.txt", false}, {L"Con", false}, {L"aux.a.b", false}, {L"prn .txt", false},
        {L"COM1", false}, {L"data/lpt9.log/x.bin", false},
        {L"console.txt", true}, {L"nul_.txt", true}, {L"COM.txt", true}, {L"lpt10.log", true}, {L"\x0434.bin", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << std::string(c.name.begin(), c.name.end());
}
