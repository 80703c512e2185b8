#include "app/self_update_stages.h"

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <cwchar>

#include "app/command_line.h"
#include "support/process_start.h"
#include "support/module_path.h"
#include "support/text_utils.h"
#include "support/win_handles.h"

const wchar_t kCopySuffix[] = L".copy.exe";

namespace {

// A process that has just ended may hold its file a while longer on a busy
// machine: up to 30 s.
const int kDeleteAttempts = 300;
// The downloaded launcher's process ends right after starting the installed
// one: 10 s, so that a file that stays does not keep the window away long.
const int kDownloadedExeAttempts = 100;
const DWORD kDeleteRetryMs = 100;
// The old launcher may take a while to stop its download thread and close.
const DWORD kReplaceRetryMs = 50;
const DWORD kReplaceTimeoutMs = 5 * 60 * 1000;
const int kCopyAttempts = 100;
const wchar_t kIncomingSuffix[] = L".new";

// Set on one thread, read on another (the update worker, the UI thread).
std::atomic<bool> g_launcherUpdated{false};
std::atomic<bool> g_selfUpdateClosing{false};

// Nobody runs the file: it opens for writing with no sharing at all.
bool LauncherHasEnded(const std::wstring& launcherPath)
{
    UniqueHandle file(::CreateFileW(launcherPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return file || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

// A folder or a read-only file is never deleted, so it is not tried.
void DeleteWithRetries(const std::wstring& path, int attempts)
{
    if (path.empty() || path.size() >= MAX_PATH)
        return;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        return;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (::DeleteFileW(path.c_str()))
            return;
        ::Sleep(kDeleteRetryMs);
    }
}

} // namespace

void RunCopyToOriginalAndRestart()
{
    // Only a copy names the launcher it replaces: any other file, started
    // with this switch by mistake, must not delete a neighbour.
    const std::wstring self = ModuleFilePath();
    const std::wstring name = ::PathFindFileNameW(self.c_str());
    const size_t suffixLength = std::wcslen(kCopySuffix);
    if (name.size() <= suffixLength || !EqualsNoCase(name.substr(name.size() - suffixLength), kCopySuffix))
        return;
    const std::wstring launcherPath = self.substr(0, self.size() - suffixLength);

    // The new launcher goes in under a name of its own first and then is
    // renamed over the working one, so that a launcher file exists at every
    // moment: a copy that fails (an antivirus holding the file) leaves the
    // old launcher in place.
    const std::wstring incoming = launcherPath + kIncomingSuffix;
    for (int attempt = 0; !::CopyFileW(self.c_str(), incoming.c_str(), FALSE); ++attempt) {
        if (attempt == kCopyAttempts)
            return;
        ::Sleep(kDeleteRetryMs);
    }
    // The old launcher holds its file until its process has ended: it cannot
    // be opened alone, nor replaced, until then.
    const DWORD started = ::GetTickCount();
    while (!LauncherHasEnded(launcherPath) ||
           !::MoveFileExW(incoming.c_str(), launcherPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        if (::GetTickCount() - started > kReplaceTimeoutMs) {
            ::DeleteFileW(incoming.c_str());
            return;
        }
        ::Sleep(kReplaceRetryMs);
    }
    StartProcess(launcherPath, kSwitchDeleteCopyExe);
}

void RunDeleteCopyExe()
{
    DeleteWithRetries(ModuleFilePath() + kCopySuffix, kDeleteAttempts);
    g_launcherUpdated = true;
}

void DeleteDownloadedExe(const std::wstring& path)
{
    DeleteWithRetries(path, kDownloadedExeAttempts);
}

bool LauncherWasUpdated()
{
    return g_launcherUpdated;
}

bool IsSelfUpdateClosing()
{
    return g_selfUpdateClosing;
}

void SetSelfUpdateClosing()
{
    g_selfUpdateClosing = true;
}
