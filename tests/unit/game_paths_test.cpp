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

TEST(GamePaths, RequestPathsReplaceBlanksAndPlusSigns)
{
    const struct {
        const wchar_t* directory;
        const wchar_t* name;
        const wchar_t* path;
    } cases[] = {
        {L"tarnhold2", L"datasources.txt", L"tarnhold2/datasources.txt"},
        {L"tarnhold2", L"data\\a b+c.bin.zip", L"tarnhold2/data\\a_b_c.bin.zip"},
        {L"pub/deep", L"x.zip", L"pub/deep/x.zip"},
        {L"", L"x y.zip", L"x_y.zip"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RequestPath(c.directory, c.name), c.path);
}

TEST(GamePaths, OnlyNamesBelowTheGameFolderAreSafe)
{
    const struct {
        const wchar_t* name;
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsSafeEntryName(c.name), c.safe) << std::string(c.name, c.name + wcslen(c.name));
}
