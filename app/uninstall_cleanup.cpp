#include "app/uninstall_cleanup.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <cwchar>

#include "app/command_line.h"
#include "support/process_start.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/known_folders.h"
#include "support/module_path.h"
#include "support/win_handles.h"

namespace {

const DWORD kSettleDelayMs = 100;
const wchar_t kCleanupCopyName[] = L"oguninst.exe";

void WaitForProcessEnd(DWORD processId)
{
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (process)
        ::WaitForSingleObject(process.Get(), INFINITE);
}

bool IsNamedMakerFolder(const wchar_t* folder)
{
    return std::wcscmp(::PathFindFileNameW(folder), LoadLangString(IDS_MAKER_FOLDER)) == 0;
}

void RemoveEmptyFolders(const wchar_t* filePath)
{
    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, filePath, MAX_PATH);
    // A launcher installed into the desktop or the documents leaves them.
    if (!::PathRemoveFileSpecW(folder) || IsSystemFolder(folder) || !::PathIsDirectoryEmptyW(folder) ||
        !::RemoveDirectoryW(folder))
        return;
    if (!::PathRemoveFileSpecW(folder))
        return;
    if (IsNamedMakerFolder(folder) && ::PathIsDirectoryEmptyW(folder))
        ::RemoveDirectoryW(folder);
}

} // namespace

void RunDeleteFileCleanup(const std::wstring& argument)
{
    // Only the form the uninstaller writes is acted on: a path in quotes.
    if (argument.empty() || argument[0] != L'"')
        return;
    size_t closing = argument.find(L'"', 1);
    if (closing == std::wstring::npos)
        return;
    std::wstring path = argument.substr(1, closing - 1);
    if (path.empty() || path.size() >= MAX_PATH)
        return;

    const wchar_t* rest = argument.c_str() + closing + 1;
    while (*rest == L' ')
        ++rest;
    size_t pidLength = std::wcslen(kSwitchPid);
    if (std::wcsncmp(rest, kSwitchPid, pidLength) == 0) {
        const wchar_t* digits = rest + pidLength;
        if (*digits >= L'0' && *digits <= L'9')
            WaitForProcessEnd(static_cast<DWORD>(std::wcstoul(digits, nullptr, 10)));
    }

    ::Sleep(kSettleDelayMs);
    ::DeleteFileW(path.c_str());
    RemoveEmptyFolders(path.c_str());
    ::MoveFileExW(ModuleFilePath().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void HandOverToCleanup()
{
    wchar_t folder[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(L"TEMP", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
            return;
    }
    wchar_t copyPath[MAX_PATH];
    if (!::PathCombineW(copyPath, folder, kCleanupCopyName))
        return;
    std::wstring self = ModuleFilePath();
    if (!::CopyFileW(self.c_str(), copyPath, FALSE))
        return;

    std::wstring tail = kSwitchDeleteFile;
    tail += L'"';
    tail += self;
    tail += L"\" ";
    tail += kSwitchPid;
    tail += std::to_wstring(::GetCurrentProcessId());
    StartProcess(copyPath, tail.c_str());
    ::Sleep(kSettleDelayMs);
}
