#include "services/machine_id.h"

#include <windows.h>
#include <objbase.h>

#include "services/registry_keys.h"
#include "support/registry_text.h"
#include "support/win_handles.h"

namespace {

const wchar_t kMachineIdValue[] = L"HWID";
const DWORD kMachineIdChars = 128;

// The stored identifier when it is a GUID in registry form.
bool ReadMachineId(wchar_t (&text)[kMachineIdChars + 1])
{
    UniqueRegKey key;
    DWORD type = 0;
    DWORD size = kMachineIdChars * sizeof(wchar_t);
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, MakerKeyPath().c_str(), 0, KEY_QUERY_VALUE, key.Receive()) !=
            ERROR_SUCCESS ||
        ::RegQueryValueExW(key.Get(), kMachineIdValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    text[size / sizeof(wchar_t)] = L'\0';
    IID parsed;
    return SUCCEEDED(::IIDFromString(text, &parsed));
}

} // namespace

std::wstring GetMachineId()
{
    wchar_t text[kMachineIdChars + 1] = {};
    if (ReadMachineId(text))
        return text;
    GUID guid;
    if (FAILED(::CoCreateGuid(&guid)))
        return std::wstring();
    ::StringFromGUID2(guid, text, kMachineIdChars);
    SetRegText(HKEY_CURRENT_USER, MakerKeyPath(), kMachineIdValue, text);
    return text;
}
