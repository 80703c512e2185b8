#include "ui/sound_library_check.h"

#include <objbase.h>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/user_prompt.h"
#include "support/win_handles.h"

namespace {

const CLSID kDebugEngine = {0xE224ECD5, 0x3970, 0x4A39, {0xAD, 0x36, 0x5D, 0xB1, 0x39, 0xE8, 0x92, 0x45}};
const CLSID kReleaseEngine = {0x248D8A3B, 0x6256, 0x44D3, {0xA0, 0x18, 0x2A, 0xC9, 0x6C, 0x45, 0x9F, 0x47}};
const IID kEngineInterface = {0xB1EE676A, 0xD9CD, 0x4D2A, {0x89, 0xA8, 0xFA, 0x53, 0xEB, 0x9E, 0x48, 0x0B}};

// Developers select the debug engine with a machine-wide switch.
bool DebugEngineSelected()
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\XACT", 0, KEY_QUERY_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    DWORD value = 0;
    DWORD size = sizeof(value);
    return ::RegQueryValueExW(key.Get(), L"DebugEngine", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                              &size) == ERROR_SUCCESS &&
           size == sizeof(value) && value != 0;
}

bool CanCreateEngine(const CLSID& engineClass)
{
    ComPtr<IUnknown> engine;
    return SUCCEEDED(::CoCreateInstance(engineClass, nullptr, CLSCTX_INPROC_SERVER, kEngineInterface,
                                        engine.ReceiveVoid()));
}

} // namespace

void CheckSoundLibrary(HWND owner)
{
    if ((DebugEngineSelected() && CanCreateEngine(kDebugEngine)) || CanCreateEngine(kReleaseEngine))
        return;
    std::wstring text = LangText(IDS_DIRECTX_SOUND_NOTICE);
    if (::MessageBoxW(owner, text.c_str(), LoadLangString(IDS_PRODUCT_NAME), MB_ICONINFORMATION | MB_OKCANCEL) ==
        IDOK)
        CDesktopPrompt().OpenAddress(LangText(IDS_DIRECTX_URL));
}
