#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include "services/settings_store.h"

namespace {

const wchar_t kTestKey[] = L"Software\\TarnholdTests\\Settings";

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::SHDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
        ASSERT_TRUE(store.Open(kTestKey));
    }
    void TearDown() override { ::SHDeleteKeyW(HKEY_CURRENT_USER, kTestKey); }

    // The raw registry value: type and text, or type 0 when missing.
    std::pair<DWORD, std::wstring> Raw(const std::wstring& subKey, const std::wstring& name)
    {
        std::wstring path = std::wstring(kTestKey) + L"\\" + subKey;
        wchar_t buffer[512] = {};
        DWORD type = 0;
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        if (::SHGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), &type, buffer, &size) != ERROR_SUCCESS)
            return {0, L""};
        return {type, buffer};
    }

    void Put(const std::wstring& subKey, const std::wstring& name, DWORD type, const void* data, DWORD size)
    {
        std::wstring path = std::wstring(kTestKey) + L"\\" + subKey;
        ASSERT_EQ(::SHSetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), type, data, size), ERROR_SUCCESS);
    }

    void PutText(const std::wstring& subKey, const std::wstring& name, const std::wstring& text)
    {
        Put(subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    CSettingsStore store;
};

TEST_F(SettingsStoreTest, MissingValuesAreWrittenWithTheirDefault)
{
    EXPECT_TRUE(store.GetBool(L"Debug\\OneFileDownload", true));
    EXPECT_EQ(store.GetInt(L"Debug\\HttpPreference", 0), 0);
    EXPECT_FALSE(store.GetBool(L"Debug/HashCheck", false));
    EXPECT_EQ(store.GetUnsigned(L"Engine/Graphics/Width", 1024u), 1024u);
    EXPECT_FLOAT_EQ(store.GetFloat(L"Engine/Graphics/Gamma", 1.25f), 1.25f);
    EXPECT_EQ(store.GetText(L"Sound/SoundEnabled", L"1"), L"1");

    EXPECT_EQ(Raw(L"Debug", L"OneFileDownload"), std::make_pair(DWORD(REG_SZ), std::wstring(L"1")));
    EXPECT_EQ(Raw(L"Debug", L"HttpPreference"), std::make_pair(DWORD(REG_SZ), std::wstring(L"0")));
    EXPECT_EQ(Raw(L"Debug", L"HashCheck"), std::make_pair(DWORD(REG_SZ), std::wstring(L"0")));
    EXPECT_EQ(Raw(L"Engine\\Graphics", L"Width"), std::make_pair(DWORD(REG_SZ), std::wstring(L"1024")));
    EXPECT_EQ(Raw(L"Engine\\Graphics", L"Gamma"), std::make_pair(DWORD(REG_SZ), std::wstring(L"1.250000")));
}

TEST_F(SettingsStoreTest, SlashAndBackslashNameTheSameValue)
{
    store.SetInt(L"Debug/HttpPreference", 2);
    EXPECT_EQ(store.GetInt(L"Debug\\HttpPreference", 0), 2);
}

TEST_F(SettingsStoreTest, NumericTextsNeedExactlyOneToken)
{
    struct Case {
        const wchar_t* stored;
        int expected;
    };
    const Case cases[] = {
        {L" 2 ", 2}, {L"2", 2}, {L"-7", -7}, {L"\t5\t", 5}, {L"2a", 0}, {L"2 3", 0},
        {L"", 0},    {L"   ", 0}, {L"x", 0},  {L"99999999999", 0}, {L"0x10", 0},
    };
    for (const Case& c : cases) {
        PutText(L"Debug", L"HttpPreference", c.stored);
        EXPECT_EQ(store.GetInt(L"Debug\\HttpPreference", 0), c.expected) << c.stored;
        // A text that does not parse stays as it is.
        EXPECT_EQ(Raw(L"Debug", L"HttpPreference").second, c.stored);
    }
}

TEST_F(SettingsStoreTest, UnsignedAndFloatForms)
{
    PutText(L"Engine\\Graphics", L"Width", L" 1600 ");
    EXPECT_EQ(store.GetUnsigned(L"Engine/Graphics/Width", 800u), 1600u);
    PutText(L"Engine\\Graphics", L"Width", L"-1");
    EXPECT_EQ(store.GetUnsigned(L"Engine/Graphics/Width", 800u), 800u);
    PutText(L"Engine\\Graphics", L"Width", L"4294967296");
    EXPECT_EQ(store.GetUnsigned(L"Engine/Graphics/Width", 800u), 800u);

    PutText(L"Engine\\Graphics", L"Gamma", L"0.75");
    EXPECT_FLOAT_EQ(store.GetFloat(L"Engine/Graphics/Gamma", 1.0f), 0.75f);
    for (const wchar_t* bad : {L"0.75x", L"nan", L"inf", L"0x1p3", L"1 2", L"", L"1e39", L"-1e39"}) {
        PutText(L"Engine\\Graphics", L"Gamma", bad);
        EXPECT_FLOAT_EQ(store.GetFloat(L"Engine/Graphics/Gamma", 1.0f), 1.0f) << bad;
    }
    store.SetFloat(L"Engine/Graphics/Gamma", 2.5f);
    EXPECT_EQ(Raw(L"Engine\\Graphics", L"Gamma").second, L"2.500000");
    store.SetUnsignedLong(L"Engine/Graphics/Colour", 4294967295ul);
    EXPECT_EQ(Raw(L"Engine\\Graphics", L"Colour").second, L"4294967295");
}

TEST_F(SettingsStoreTest, BoolReadsTheFirstCharacter)
{
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"1", true}, {L"0", false}, {L"10", true}, {L"01", false}, {L"", true}, {L"yes", true}, {L" 0", true},
    };
    for (const auto& c : cases) {
        PutText(L"Debug", L"HashCheckAfterCrash", c.first);
        EXPECT_EQ(store.GetBool(L"Debug/HashCheckAfterCrash", true), c.second) << c.first;
    }
}

TEST_F(SettingsStoreTest, NamesWithoutSubKeyAreNeverTouched)
{
    EXPECT_EQ(store.GetText(L"Game", L"fallback"), L"fallback");
    store.SetText(L"Game", L"x");
    store.SetText(L"/", L"x");
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    DWORD values = 0;
    DWORD subKeys = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr);
    ::RegCloseKey(key);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(subKeys, 0u);
}

TEST_F(SettingsStoreTest, WrongTypeAndAbsurdLengthGiveTheDefaultAndStayUntouched)
{
    DWORD number = 5;
    Put(L"Debug", L"HttpPreference", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(store.GetInt(L"Debug\\HttpPreference", 0), 0);
    DWORD type = 0;
    std::wstring path = std::wstring(kTestKey) + L"\\Debug";
    DWORD size = sizeof(number);
    ASSERT_EQ(::SHGetValueW(HKEY_CURRENT_USER, path.c_str(), L"HttpPreference", &type, &number, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));

    std::wstring huge(200000, L'7');
    PutText(L"Debug", L"Huge", huge);
    EXPECT_EQ(store.GetInt(L"Debug\\Huge", 3), 3);

    // Stored without a terminator: still read as the text it holds.
    const wchar_t unterminated[] = {L'4', L'2'};
    Put(L"Debug", L"Raw", REG_SZ, unterminated, sizeof(unterminated));
    EXPECT_EQ(store.GetInt(L"Debug\\Raw", 0), 42);
}

TEST(SettingsStoreClosed, ReadsGiveDefaultsWhenTheKeyCouldNotOpen)
{
    CSettingsStore store;
    EXPECT_EQ(store.GetInt(L"Debug\\HttpPreference", 7), 7);
    store.SetInt(L"Debug\\HttpPreference", 1);
    EXPECT_EQ(store.GetText(L"Debug\\X", L"d"), L"d");
}

} // namespace
