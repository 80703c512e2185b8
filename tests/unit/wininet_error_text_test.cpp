#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "net/wininet_error_text.h"
#include "support/system_message.h"
#include "support/text_utils.h"

namespace {

void AppendCodes(std::vector<DWORD>& codes, DWORD first, DWORD last)
{
    for (DWORD code = first; code <= last; ++code)
        codes.push_back(code);
}

TEST(WinInetErrorNames, HoldNinetyThreeCodesInTableOrder)
{
    std::vector<DWORD> expected;
    AppendCodes(expected, 12001, 12034);
    AppendCodes(expected, 12036, 12050);
    AppendCodes(expected, 12052, 12057);
    AppendCodes(expected, 12110, 12112);
    AppendCodes(expected, 12130, 12138);
    AppendCodes(expected, 12150, 12156);
    AppendCodes(expected, 12160, 12162);
    expected.push_back(12168);
    AppendCodes(expected, 12157, 12159);
    AppendCodes(expected, 12163, 12167);
    AppendCodes(expected, 12169, 12175);

    ASSERT_EQ(kWinInetErrorNameCount, 93);
    ASSERT_EQ(expected.size(), 93u);
    for (int i = 0; i < kWinInetErrorNameCount; ++i)
        EXPECT_EQ(kWinInetErrorNames[i].code, expected[i]) << "row " << i;
}

TEST(WinInetErrorNames, SpellTheNamesOfTheSdkHeader)
{
    const struct {
        DWORD code;
        const wchar_t* name;
    } rows[] = {
        {12001, L"ERROR_INTERNET_OUT_OF_HANDLES"},
        {12002, L"ERROR_INTERNET_TIMEOUT"},
        {12007, L"ERROR_INTERNET_NAME_NOT_RESOLVED"},
        {12029, L"ERROR_INTERNET_CANNOT_CONNECT"},
        {12030, L"ERROR_INTERNET_CONNECTION_ABORTED"},
        {12031, L"ERROR_INTERNET_CONNECTION_RESET"},
        {12110, L"ERROR_FTP_TRANSFER_IN_PROGRESS"},
        {12130, L"ERROR_GOPHER_PROTOCOL_ERROR"},
        {12152, L"ERROR_HTTP_INVALID_SERVER_RESPONSE"},
        {12168, L"ERROR_HTTP_REDIRECT_NEEDS_CONFIRMATION"},
        {12157, L"ERROR_INTERNET_SECURITY_CHANNEL_ERROR"},
        {12174, L"ERROR_INTERNET_LOGIN_FAILURE_DISPLAY_ENTITY_BODY"},
        {12175, L"ERROR_INTERNET_DECODING_FAILED"},
    };
    for (const auto& row : rows) {
        ASSERT_NE(WinInetErrorName(row.code), nullptr) << row.code;
        EXPECT_STREQ(WinInetErrorName(row.code), row.name);
    }
    EXPECT_STREQ(kWinInetErrorNames[0].name, L"ERROR_INTERNET_OUT_OF_HANDLES");
    EXPECT_STREQ(kWinInetErrorNames[92].name, L"ERROR_INTERNET_DECODING_FAILED");
}

TEST(WinInetErrorNames, CodesOutsideTheTableHaveNoName)
{
    for (DWORD code : {0u, 5u, 12000u, 12035u, 12051u, 12058u, 12113u, 12139u, 12149u, 12176u})
        EXPECT_EQ(WinInetErrorName(code), nullptr) << code;
}

TEST(WinInetErrorText, UnknownCodeEndsWithAnEmptyText)
{
    EXPECT_EQ(WinInetErrorText(271, 99999), L"Ошибка WinInet в строке 271. 99999 ");
}

TEST(WinInetErrorText, TakesTheSystemTextFirstThenTheName)
{
    std::wstring system = SystemMessageText(ERROR_INVALID_PARAMETER);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(WinInetErrorText(86, ERROR_INVALID_PARAMETER), L"Ошибка WinInet в строке 86. 87 " + system);

    std::wstring detail = SystemMessageText(12029);
    if (detail.empty())
        detail = L"ERROR_INTERNET_CANNOT_CONNECT";
    EXPECT_EQ(WinInetErrorText(191, 12029), L"Ошибка WinInet в строке 191. 12029 " + detail);
}

TEST(SystemMessageText, HasNoLineBreakAtItsEnd)
{
    std::wstring text = SystemMessageText(ERROR_ACCESS_DENIED);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\n');
    EXPECT_NE(text.back(), L'\r');
    EXPECT_EQ(SystemMessageText(0x2FFFFFFF), L"");
}

} // namespace
