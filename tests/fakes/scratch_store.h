#pragma once
// A settings store on a key of its own below HKEY_CURRENT_USER, empty at the
// start and deleted at the end.

#include <windows.h>
#include <shlwapi.h>
#include <string>

#include "services/settings_store.h"

class CScratchStore {
public:
    explicit CScratchStore(const std::wstring& keyPath) : keyPath_(keyPath)
    {
        ::SHDeleteKeyW(HKEY_CURRENT_USER, keyPath_.c_str());
        store.Open(keyPath_);
    }
    ~CScratchStore() { ::SHDeleteKeyW(HKEY_CURRENT_USER, keyPath_.c_str()); }

    // The stored text, "-" when there is none (which stays stored).
    std::wstring Text(const std::wstring& name) { return store.GetText(name, L"-"); }

    CSettingsStore store;

private:
    std::wstring keyPath_;
};
