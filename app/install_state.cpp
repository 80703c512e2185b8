#include "app/install_state.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include "services/registry_keys.h"
#include "support/module_path.h"
#include "support/win_handles.h"
#include "services/string_table.h"

namespace {

const wchar_t kInstallPathValue[] = L"InstallPath";
const wchar_t kMachineIdValue[] = L"HWID";
const DWORD kMachineIdChars = 128;

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

void WriteValue(HKEY root, const std::wstring& keyPath, const wchar_t* name, const void* data, DWORD bytes)
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.Receive(), nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExW(key.Get(), name, 0, REG_SZ, static_cast<const BYTE*>(data), bytes);
}

void WriteText(HKEY root, const std::wstring& keyPath, const wchar_t* name, const std::wstring& text)
{
    WriteValue(root, keyPath, name, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Finds the folder record, migrating it from the older layout when needed.
bool FindInstallPath(RegText& value)
{
    if (ReadInstallPath(HKEY_CURRENT_USER, SettingsKeyPath(), value))
        return true;
    if (ReadInstallPath(HKEY_CURRENT_USER, LegacyKeyPath(), value)) {
        WriteValue(HKEY_CURRENT_USER, SettingsKeyPath(), kInstallPathValue, value.text, value.bytes);
        ::SHDeleteKeyW(HKEY_CURRENT_USER, LegacyMakerKeyPath().c_str());
        ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, LegacyMakerKeyPath().c_str());
        return true;
    }
    if (ReadInstallPath(HKEY_LOCAL_MACHINE, LegacyKeyPath(), value)) {
        WriteValue(HKEY_CURRENT_USER, SettingsKeyPath(), kInstallPathValue, value.text, value.bytes);
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
    wchar_t fullPath[MAX_PATH];
    DWORD length = ::GetFullPathNameW(candidate, MAX_PATH, fullPath, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return false;
    return SamePathNoCase(fullPath, ModuleFilePath());
}

void SetInstallPath(const std::wstring& folder)
{
    WriteText(HKEY_CURRENT_USER, SettingsKeyPath(), kInstallPathValue, folder);
    StoreLanguage();
}

std::wstring GetMachineId()
{
    wchar_t text[kMachineIdChars + 1] = {};
    bool valid = false;
    {
        UniqueRegKey key;
        DWORD type = 0;
        DWORD size = kMachineIdChars * sizeof(wchar_t);
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, MakerKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.Receive()) ==
                ERROR_SUCCESS &&
            ::RegQueryValueExW(key.Get(), kMachineIdValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            text[size / sizeof(wchar_t)] = L'\0';
            IID parsed;
            valid = SUCCEEDED(::IIDFromString(text, &parsed));
        }
    }
    if (!valid) {
        GUID guid;
        if (FAILED(::CoCreateGuid(&guid)))
            return std::wstring();
        ::StringFromGUID2(guid, text, kMachineIdChars);
        WriteText(HKEY_CURRENT_USER, MakerKeyPath(), kMachineIdValue, text);
    }
    return text;
}
