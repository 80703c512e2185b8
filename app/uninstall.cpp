#include "app/uninstall.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/instance_lock.h"
#include "app/uninstall_cleanup.h"
#include "app/uninstall_folder.h"
#include "services/registry_keys.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/module_path.h"
#include "support/text_utils.h"
#include "support/win_handles.h"
#include "ui/shortcuts.h"
#include "ui/uninstall_entry.h"

namespace {

// A launcher the player has just closed may still be stopping its update run.
const DWORD kClosingLauncherWaitMs = 20000;

// Only a key without values and subkeys goes.
void DeleteKeyIfEmpty(const std::wstring& path)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS)
        return;
    DWORD subkeys = 0;
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0)
        return;
    key.Reset();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

int Ask(const std::wstring& text, UINT type)
{
    return ::MessageBoxW(nullptr, text.c_str(), LangText(IDS_PRODUCT_NAME).c_str(), type);
}

} // namespace

void RunUninstall()
{
    if (Ask(LangText(IDS_UNINSTALL_CONFIRM), MB_ICONQUESTION | MB_YESNO) != IDYES)
        return;
    // Nothing goes while a launcher of this executable runs: its update run
    // would write into the emptied folder, and its file cannot be deleted.
    CInstanceLock lock;
    for (DWORD wait = 0; !lock.Acquire(wait); wait = kClosingLauncherWaitMs) {
        if (Ask(LangText(IDS_UNINSTALL_LAUNCHER_RUNNING), MB_ICONWARNING | MB_RETRYCANCEL) != IDRETRY)
            return;
    }

    std::wstring folder = ModuleFolder();
    FolderRemoval removal = ChooseFolderRemoval(folder);

    ::SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyPath().c_str());
    // The maker key keeps the machine identifier, and other games' keys.
    DeleteKeyIfEmpty(MakerKeyPath());
    DeleteUninstallEntry();
    RemoveShortcuts();
    RemoveFolderContents(folder, removal);
    HandOverToCleanup();

    if (removal == FolderRemoval::WholeContents)
        Ask(LangText(IDS_UNINSTALL_COMPLETE), MB_OK);
    else
        Ask(FormatString(LangText(IDS_UNINSTALL_FOLDER_KEPT).c_str(), folder.c_str()), MB_OK);
}
