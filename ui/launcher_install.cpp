#include "ui/launcher_install.h"

#include <windows.h>

#include "services/install_state.h"
#include "services/launcher_switches.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/folder_path.h"
#include "support/module_path.h"
#include "support/process_start.h"
#include "ui/graphics_preset.h"
#include "ui/setup_exception.h"
#include "ui/stored_language.h"
#include "ui/uninstall_entry.h"

namespace {

std::wstring FolderCreationPrefix(const std::wstring& folder)
{
    return LangText(IDS_DIRECTORY_CREATION_ERROR) + L" \"" + folder + L"\"\r\n";
}

// The typed folder as a full path without trailing separator (a drive root
// keeps its own); created with all missing parents.
std::wstring CreateInstallFolder(const std::wstring& typed)
{
    std::wstring folder = FullPath(typed);
    if (folder.empty())
        throw win_exception(ERROR_INVALID_PARAMETER, FolderCreationPrefix(typed));
    while (folder.size() > 3 && folder.back() == L'\\')
        folder.pop_back();
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
    std::wstring folder = CreateInstallFolder(choice.folder);

    std::wstring running = ModuleFilePath();
    std::wstring launcher = InFolder(folder, ModuleFileName());
    bool copied = !SamePathNoCase(launcher, running);
    if (copied) {
        if (!::CopyFileW(running.c_str(), launcher.c_str(), FALSE))
            throw win_exception(::GetLastError());
        ::SetFileAttributesW(launcher.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    SetInstallPath(folder);
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
