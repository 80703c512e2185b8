#include "ui/launcher_install.h"

#include <windows.h>
#include <shlwapi.h>
#include <cwctype>

#include "services/install_state.h"
#include "services/launcher_switches.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/folder_path.h"
#include "support/module_path.h"
#include "support/process_start.h"
#include "support/text_utils.h"
#include "support/win_handles.h"
#include "ui/graphics_preset.h"
#include "ui/setup_exception.h"
#include "ui/stored_language.h"
#include "ui/uninstall_entry.h"

namespace {

std::wstring FolderCreationPrefix(const std::wstring& folder)
{
    return LangText(IDS_DIRECTORY_CREATION_ERROR) + L" \"" + folder + L"\"\r\n";
}

// A drive letter with its root ("C:\\...") or a share ("\\\\server\\share"):
// "Games" or "C:Games" would resolve against the folder the launcher was
// downloaded to.
bool IsFullFolderPath(const std::wstring& typed)
{
    if (typed.size() >= 2 && typed[0] == L'\\' && typed[1] == L'\\')
        return true;
    return typed.size() >= 3 && std::iswalpha(typed[0]) && typed[1] == L':' && (typed[2] == L'\\' || typed[2] == L'/');
}

// True when the folder holds nothing but a file of the launcher's name (a
// launcher installed where it runs).
bool HoldsOnlyTheLauncher(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW((folder + (folder.back() == L'\\' ? L"*" : L"\\*")).c_str(), &found));
    if (!find)
        return false;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L".." && !EqualsNoCase(name, ModuleFileName()))
            return false;
    } while (::FindNextFileW(find.Get(), &found));
    return true;
}

// Uninstallation may empty only a folder that is the launcher's own: one it
// creates now, one it finds empty, or the folder of an installation already
// recorded as its own.
bool WillOwnFolder(const std::wstring& folder)
{
    if (::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    if (SamePathNoCase(RecordedInstallFolder(), folder) && IsInstallFolderOwned())
        return true;
    return HoldsOnlyTheLauncher(folder);
}

// The typed folder as a full path without trailing separator (a drive root
// keeps its own); created with all missing parents.
std::wstring CreateInstallFolder(const std::wstring& typed, bool& owned)
{
    if (!IsFullFolderPath(typed))
        throw setup_exception(FormatString(LangText(IDS_FOLDER_NOT_FULL_PATH).c_str(), typed.c_str()));
    std::wstring folder = FullPath(typed);
    if (folder.empty())
        throw win_exception(ERROR_INVALID_PARAMETER, FolderCreationPrefix(typed));
    while (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
    owned = WillOwnFolder(folder);
    DWORD error = CreateFolderPath(folder.c_str());
    if (error != 0)
        throw win_exception(error, FolderCreationPrefix(folder));
    return folder;
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name)
{
    return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

} // namespace

InstalledLauncher InstallLauncher(const InstallChoice& choice)
{
    bool owned = false;
    std::wstring folder = CreateInstallFolder(choice.folder, owned);

    std::wstring running = ModuleFilePath();
    std::wstring launcher = InFolder(folder, ModuleFileName());
    bool copied = !SamePathNoCase(launcher, running);
    if (copied) {
        if (!::CopyFileW(running.c_str(), launcher.c_str(), FALSE))
            throw win_exception(::GetLastError());
        ::SetFileAttributesW(launcher.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    SetInstallPath(folder);
    SetInstallFolderOwned(owned);
    StoreLanguage();
    ApplyDefaultQuality();

    CreateShortcuts(choice.shortcuts, launcher, folder);
    WriteUninstallEntry(launcher);

    // The installed launcher deletes the downloaded one once it may.
    return {launcher, copied ? kSwitchDeleteDownloadedExe + running : std::wstring()};
}

void StartInstalledLauncher(const InstalledLauncher& launcher)
{
    StartProcess(launcher.path, launcher.tail.empty() ? nullptr : launcher.tail.c_str());
}
