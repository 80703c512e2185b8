#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include "services/install_state.h"
#include "services/machine_id.h"
#include "services/registry_keys.h"
#include "services/string_table.h"
#include "support/module_path.h"
#include "support/text_utils.h"

namespace {

class InstallStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCurrentLanguage(kLanguageRussian);
        Clean();
    }
    void TearDown() override { Clean(); }

    static void Clean()
    {
        ::SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyPath().c_str());
        ::SHDeleteKeyW(HKEY_CURRENT_USER, LegacyMakerKeyPath().c_str());
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, LegacyMakerKeyPath().c_str());
        ::SHDeleteValueW(HKEY_CURRENT_USER, MakerKeyPath().c_str(), L"HWID");
    }

    static void PutText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& text)
    {
        ASSERT_EQ(::SHSetValueW(root, key.c_str(), name, REG_SZ, text.c_str(),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    static std::wstring GetText(HKEY root, const std::wstring& key, const wchar_t* name)
    {
        wchar_t value[512] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        if (::SHGetValueW(root, key.c_str(), name, nullptr, value, &size) != ERROR_SUCCESS)
            return L"<missing>";
        return value;
    }

    static bool KeyExists(HKEY root, const std::wstring& key)
    {
        HKEY handle = nullptr;
        if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(handle);
        return true;
    }
};

TEST_F(InstallStateTest, InstalledOnlyWhenTheRecordedFolderHoldsThisExecutable)
{
    EXPECT_FALSE(IsInstalledHere());

    PutText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath", ModuleFolder());
    EXPECT_TRUE(IsInstalledHere());

    PutText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath", ToUpper(ModuleFolder()));
    EXPECT_TRUE(IsInstalledHere());

    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    PutText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath", current);
    EXPECT_FALSE(IsInstalledHere());

    PutText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath", std::wstring(400, L'a'));
    EXPECT_FALSE(IsInstalledHere());

    DWORD number = 1;
    ::SHSetValueW(HKEY_CURRENT_USER, SettingsKeyPath().c_str(), L"InstallPath", REG_DWORD, &number, sizeof(number));
    EXPECT_FALSE(IsInstalledHere());
}

TEST_F(InstallStateTest, LegacyRecordUnderCurrentUserMovesAndBothLegacyKeysGo)
{
    PutText(HKEY_CURRENT_USER, LegacyKeyPath(), L"InstallPath", ModuleFolder());
    PutText(HKEY_LOCAL_MACHINE, LegacyKeyPath(), L"InstallPath", L"C:\\Elsewhere");

    EXPECT_TRUE(IsInstalledHere());
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath"), ModuleFolder());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, LegacyMakerKeyPath()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LegacyMakerKeyPath()));
}

TEST_F(InstallStateTest, LegacyRecordUnderLocalMachineMovesEvenForAnotherFolder)
{
    PutText(HKEY_LOCAL_MACHINE, LegacyKeyPath(), L"InstallPath", L"C:\\Games\\Tarnhold");

    EXPECT_FALSE(IsInstalledHere());
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath"), L"C:\\Games\\Tarnhold");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, LegacyMakerKeyPath()));
}

TEST_F(InstallStateTest, SetInstallPathRecordsTheFolder)
{
    EXPECT_EQ(RecordedInstallFolder(), L"");
    SetInstallPath(ModuleFolder());
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, SettingsKeyPath(), L"InstallPath"), ModuleFolder());
    EXPECT_EQ(RecordedInstallFolder(), ModuleFolder());
    EXPECT_TRUE(IsInstalledHere());
}

TEST_F(InstallStateTest, MachineIdIsCreatedOnceAndCorruptOnesReplaced)
{
    std::wstring first = GetMachineId();
    ASSERT_EQ(first.size(), 38u);
    EXPECT_EQ(first.front(), L'{');
    EXPECT_EQ(first.back(), L'}');
    EXPECT_EQ(ToUpper(first), first);
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, MakerKeyPath(), L"HWID"), first);
    EXPECT_EQ(GetMachineId(), first);

    PutText(HKEY_CURRENT_USER, MakerKeyPath(), L"HWID", L"not a guid");
    std::wstring replaced = GetMachineId();
    EXPECT_NE(replaced, first);
    EXPECT_EQ(replaced.size(), 38u);
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, MakerKeyPath(), L"HWID"), replaced);

    PutText(HKEY_CURRENT_USER, MakerKeyPath(), L"HWID", std::wstring(500, L'{'));
    EXPECT_EQ(GetMachineId().size(), 38u);
}

} // namespace
