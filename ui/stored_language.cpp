#include "ui/stored_language.h"

#include "services/registry_keys.h"
#include "services/string_table.h"
#include "support/registry_text.h"
#include "support/win_handles.h"

namespace {

const wchar_t kLanguageValue[] = L"Language";
const DWORD kStoredLanguageMaxBytes = 256;

} // namespace

WORD ReadStoredLanguage()
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, GameKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return kLanguageRussian;

    // Stored without its terminator; keep room for one of our own.
    wchar_t value[kStoredLanguageMaxBytes / sizeof(wchar_t) + 1] = {};
    DWORD type = 0;
    DWORD size = kStoredLanguageMaxBytes;
    if (::RegQueryValueExW(key.Get(), kLanguageValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return kLanguageRussian;
    value[size / sizeof(wchar_t)] = L'\0';

    // A code of no row gives the first row.
    int index = FindLanguageIndexByCode(value);
    return LanguageIdAt(index >= 0 ? index : 0);
}

void StoreLanguage()
{
    // The code is stored without its terminator.
    const wchar_t* code = CurrentLanguageCode();
    SetRegBytes(HKEY_CURRENT_USER, GameKeyPath(), kLanguageValue, code,
                static_cast<DWORD>(lstrlenW(code) * sizeof(wchar_t)));
}
