#include "ui/uninstall_entry.h"

#include <windows.h>
#include <shlwapi.h>

#include "services/launcher_switches.h"
#include "services/registry_keys.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/registry_text.h"

namespace {

// The entry's texts go without their terminator.
void PutText(const wchar_t* name, const std::wstring& text)
{
    SetRegBytes(HKEY_CURRENT_USER, UninstallKeyPath(), name, text.c_str(),
                static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

void PutFlag(const wchar_t* name)
{
    DWORD one = 1;
    ::SHSetValueW(HKEY_CURRENT_USER, UninstallKeyPath().c_str(), name, REG_DWORD, &one, sizeof(one));
}

// Deployments that have no such page leave its entry a placeholder character.
void PutAddressIfGiven(const wchar_t* name, UINT entry)
{
    std::wstring address = LangText(entry);
    if (address.size() > 1)
        PutText(name, address);
}

} // namespace

void WriteUninstallEntry(const std::wstring& launcherPath)
{
    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, launcherPath.c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(folder);

    PutText(L"DisplayName", LangText(IDS_PRODUCT_NAME));
    PutText(L"DisplayIcon", launcherPath + L",0");
    PutText(L"InstallLocation", folder);
    PutText(L"UninstallString", L"\"" + launcherPath + L"\" " + kSwitchUninstall);
    PutFlag(L"NoModify");
    PutFlag(L"NoRepair");
    PutText(L"Publisher", LangText(IDS_PUBLISHER));
    PutText(L"URLInfoAbout", LangText(IDS_ABOUT_URL));
    PutAddressIfGiven(L"HelpLink", IDS_SUPPORT_URL);
    PutAddressIfGiven(L"URLUpdateInfo", IDS_DOWNLOAD_URL);
}

void DeleteUninstallEntry()
{
    ::SHDeleteKeyW(HKEY_CURRENT_USER, UninstallKeyPath().c_str());
}
