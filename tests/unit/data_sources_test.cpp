// The server list "datasources.txt" and its server lines.

#include <gtest/gtest.h>

#include "test_files.h"
#include "update/data_sources.h"

TEST(DataSources, KeepsServerLinesInOrderAndSkipsEverythingElse)
{
    WriteBytes(L"datasources.txt",
               "alpha.example\r\n"
               "\n"
               "\r\n"
               "#comment\n"
               " #not a comment\n"
               "beta.example/pub\r\n"
               "  spaced  \n"
               "cr.example\r\r\n"
               "tab\t.example\n"
               "caf\xe9\n"
               "login:8080\n"
               "/pub\n"
               "10.0.0.7/pub/deep\n"
               "last.example");
    std::vector<std::wstring> expected = {L"alpha.example", L"beta.example/pub", L"10.0.0.7/pub/deep",
                                          L"last.example"};
    EXPECT_EQ(ReadDataSources(L"datasources.txt"), expected);
}

TEST(DataSources, AMissingOrEmptyFileGivesNoServers)
{
    EXPECT_TRUE(ReadDataSources(L"missing.txt").empty());
    WriteBytes(L"empty.txt", "");
    EXPECT_TRUE(ReadDataSources(L"empty.txt").empty());
    WriteBytes(L"comments.txt", "# one\n#two\r\n\r\n");
    EXPECT_TRUE(ReadDataSources(L"comments.txt").empty());
    WriteBytes(L"portal.txt", "<!DOCTYPE html>\n<html>\nLogin\n<form action=\"http://portal/\">\n</html>\n");
    EXPECT_TRUE(ReadDataSources(L"portal.txt").empty());
}

TEST(DataSources, AServerLineSplitsAtItsFirstSlash)
{
    const struct {
        const wchar_t* line;
        const wchar_t* host;
        const wchar_t* directory;
    } cases[] = {
        {L"mirror.example", L"mirror.example", L"tarnhold2"},
        {L"mirror.example/pub", L"mirror.example", L"pub"},
        {L"mirror.example/pub/deep", L"mirror.example", L"pub/deep"},
        {L"mirror.example/", L"mirror.example", L""},
        {L" #mirror", L" #mirror", L"tarnhold2"},
    };
    for (const auto& c : cases) {
        ServerAddress address = SplitServerLine(c.line, L"tarnhold2");
        EXPECT_EQ(address.host, c.host);
        EXPECT_EQ(address.directory, c.directory);
    }
}
