#pragma once
// A settings store on a key of its own below HKEY_CURRENT_USER, empty at the
// start and deleted at the end, whose whole content can be read back.

#include <windows.h>
#include <shlwapi.h>
#include <map>
#include <string>

#include "services/settings_store.h"
#include "support/win_handles.h"

class CScratchStore {
public:
    explicit CScratchStore(const std::wstring& keyPath) : keyPath_(keyPath)
    {
        ::SHDeleteKeyW(HKEY_CURRENT_USER, keyPath_.c_str());
        store.Open(keyPath_);
    }
    ~CScratchStore() { ::SHDeleteKeyW(HKEY_CURRENT_USER, keyPath_.c_str()); }

    // Every text below the key, named as the store names it ("Sub/Key/Value").
    std::map<std::wstring, std::wstring> Values() const
    {
        std::map<std::wstring, std::wstring> values;
        Collect(keyPath_, L"", values);
        return values;
    }

    CSettingsStore store;

private:
    static void Collect(const std::wstring& path, const std::wstring& prefix, std::map<std::wstring, std::wstring>& values)
    {
        UniqueRegKey key;
        ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.Receive());
        wchar_t name[256], text[256];
        DWORD nameChars = 256, bytes = sizeof(text) - sizeof(wchar_t);
        for (DWORD i = 0; ::RegEnumValueW(key.Get(), i, name, &nameChars, nullptr, nullptr,
                                          reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS; ++i) {
            text[bytes / sizeof(wchar_t)] = L'\0';
            values[prefix + name] = text;
            nameChars = 256, bytes = sizeof(text) - sizeof(wchar_t);
        }
        nameChars = 256;
        for (DWORD i = 0; ::RegEnumKeyExW(key.Get(), i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) ==
                          ERROR_SUCCESS; ++i, nameChars = 256)
            Collect(path + L"\\" + name, prefix + name + L"/", values);
    }

    std::wstring keyPath_;
};
