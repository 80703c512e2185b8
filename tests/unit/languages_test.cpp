#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>
#include <string>
#include <thread>

#include "services/registry_keys.h"
#include "services/string_table.h"
#include "ui/resources/resource.h"
#include "ui/stored_language.h"

namespace {

class LanguagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCurrentLanguage(kLanguageRussian);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyPath().c_str());
    }
    void TearDown() override
    {
        SetCurrentLanguage(kLanguageRussian);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyPath().c_str());
    }
};

TEST_F(LanguagesTest, StringsComeInTheCurrentLanguage)
{
    EXPECT_STREQ(LoadLangString(IDS_ALL_FILES_UP_TO_DATE), L"Все файлы последней версии");
    EXPECT_STREQ(LoadLangString(IDS_PRODUCT_KEY), L"Tarnhold");
    EXPECT_STREQ(LoadLangString(IDS_FILE_UPDATED), L"Обновлен файл ");
    SetCurrentLanguage(kLanguageEnglish);
    EXPECT_STREQ(LoadLangString(IDS_ALL_FILES_UP_TO_DATE), L"All files are up to date");
    EXPECT_STREQ(LoadLangString(IDS_PRODUCT_KEY), L"Tarnhold Brisvane");
    EXPECT_STREQ(LoadLangString(IDS_COUNT_FROM), L" from ");
}

TEST_F(LanguagesTest, LanguageWithoutResourcesFallsBackToNeutral)
{
    SetCurrentLanguage(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    EXPECT_STREQ(LoadLangString(IDS_PRODUCT_NAME), L"Tarnhold");
    EXPECT_NE(LoadLangString(IDS_ALL_FILES_UP_TO_DATE)[0], L'\0');
    EXPECT_TRUE(FindLangResource(RT_DIALOG, IDD_LANGUAGE));
}

TEST_F(LanguagesTest, LoadsShareOneBuffer)
{
    const wchar_t* first = LoadLangString(IDS_PRODUCT_NAME);
    const wchar_t* second = LoadLangString(IDS_MAKER_FOLDER);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, L"Orvix Games");
    EXPECT_STREQ(LoadLangString(IDS_LAST + 1), L"");
}

TEST_F(LanguagesTest, LoadsOnAnotherThreadLeaveThisThreadsTextAlone)
{
    const wchar_t* mine = LoadLangString(IDS_PRODUCT_NAME);
    std::wstring theirs;
    std::thread other([&theirs] { theirs = LoadLangString(IDS_MAKER_FOLDER); });
    other.join();
    EXPECT_STREQ(mine, L"Tarnhold");
    EXPECT_EQ(theirs, L"Orvix Games");
}

TEST_F(LanguagesTest, TableHoldsRussianOnly)
{
    ASSERT_EQ(LanguageCount(), 1);
    EXPECT_EQ(LanguageIdAt(0), kLanguageRussian);
    EXPECT_STREQ(LanguageAt(0).code, L"Russian");
    EXPECT_EQ(FindLanguageIndex(kLanguageEnglish), -1);
    SetCurrentLanguage(kLanguageEnglish);
    EXPECT_STREQ(CurrentLanguageCode(), L"Russian");
}

TEST_F(LanguagesTest, CodesMatchExactly)
{
    EXPECT_EQ(FindLanguageIndexByCode(L"Russian"), 0);
    for (const wchar_t* other : {L"russian", L"Rus\x00ADsian", L""})
        EXPECT_EQ(FindLanguageIndexByCode(other), -1) << other;
}

TEST_F(LanguagesTest, StoreWritesTheCurrentRowsCode)
{
    SetCurrentLanguage(kLanguageEnglish);
    StoreLanguage();
    wchar_t value[64] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - sizeof(wchar_t);
    ASSERT_EQ(::SHGetValueW(HKEY_CURRENT_USER, GameKeyPath().c_str(), L"Language", &type, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(value, L"Russian");
}

TEST_F(LanguagesTest, DialogTemplatesExistInBothLanguages)
{
    for (WORD language : {kLanguageRussian, kLanguageEnglish}) {
        SetCurrentLanguage(language);
        for (UINT id : {IDD_LAUNCHER, IDD_SETUP, IDD_OPTIONS, IDD_LANGUAGE, IDD_REFUSAL_POLL})
            EXPECT_TRUE(FindLangResource(RT_DIALOG, id)) << id << " in " << language;
    }
}

} // namespace
