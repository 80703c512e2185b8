#include "services/install_state.h"

#include <windows.h>
#include <shlwapi.h>

#include "services/registry_keys.h"
#include "support/module_path.h"
#include "support/registry_text.h"
#include "support/win_handles.h"

namespace {

const wchar_t kInstallPathValue[] = L"InstallPath";
const wchar_t kFolderOwnedValue[] = L"InstallFolderOwned";
const wchar_t kOwnedText[] = L"1";

struct RegText {
    wchar_t text[MAX_PATH] = {};
    DWORD bytes = 0;
};

// Reads a REG_SZ of at most 259 characters; anything else counts as missing.
bool ReadInstallPath(HKEY root, const std::wstring& keyPath, RegText& value)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof(value.text) - sizeof(wchar_t);
    if (::RegQueryValueExW(key.Get(), kInstallPathValue, nullptr, &type, reinterpret_cast<BYTE*>(value.text),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value.bytes = size;
    value.text[size / sizeof(wchar_t)] = L'\0';
    return true;
}

// Finds the folder record, migrating it from the older layout when needed.
bool FindInstallPath(RegText& value)
{
    if (ReadInstallPath(HKEY_CURRENT_USER, SettingsKeyPath(), value))
        return true;
    if (ReadInstallPath(HKEY_CURRENT_USER, LegacyKeyPath(), value)) {
        SetRegBytes(HKEY_CURRENT_USER, SettingsKeyPath(), kInstallPathValue, value.text, value.bytes);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, LegacyMakerKeyPath().c_str());
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, LegacyMakerKeyPath().c_str());
        return true;
    }
    if (ReadInstallPath(HKEY_LOCAL_MACHINE, LegacyKeyPath(), value)) {
        SetRegBytes(HKEY_CURRENT_USER, SettingsKeyPath(), kInstallPathValue, value.text, value.bytes);
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, LegacyMakerKeyPath().c_str());
        return true;
    }
    return false;
}

} // namespace

bool IsInstalledHere()
{
    RegText folder;
    if (!FindInstallPath(folder))
        return false;

    wchar_t candidate[MAX_PATH];
    if (!::PathCombineW(candidate, folder.text, ModuleFileName().c_str()))
        return false;
    if (::GetFileAttributesW(candidate) == INVALID_FILE_ATTRIBUTES)
        return false;
    return IsModuleFile(candidate);
}

std::wstring RecordedInstallFolder()
{
    RegText folder;
    if (!FindInstallPath(folder))
        return std::wstring();
    std::wstring full = FullPath(folder.text);
    // A drive root keeps its separator, as the launcher's own folder does.
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    return full;
}

void SetInstallPath(const std::wstring& folder)
{
    SetRegText(HKEY_CURRENT_USER, SettingsKeyPath(), kInstallPathValue, folder);
}

bool IsInstallFolderOwned()
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    wchar_t text[2] = {};
    DWORD type = 0;
    DWORD size = sizeof(text);
    return ::RegQueryValueExW(key.Get(), kFolderOwnedValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
               ERROR_SUCCESS &&
           type == REG_SZ && text[0] == kOwnedText[0];
}

void SetInstallFolderOwned(bool owned)
{
    SetRegText(HKEY_CURRENT_USER, SettingsKeyPath(), kFolderOwnedValue, owned ? kOwnedText : L"0");
}
