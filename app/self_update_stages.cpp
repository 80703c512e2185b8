#include "app/self_update_stages.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/command_line.h"
#include "app/process_start.h"
#include "support/module_path.h"

const wchar_t kCopySuffix[] = L".copy.exe";

namespace {

const int kDeleteAttempts = 100;
const DWORD kDeleteRetryMs = 100;
// The old launcher may take a while to stop its download thread and close.
const DWORD kReplaceRetryMs = 50;
const DWORD kReplaceTimeoutMs = 5 * 60 * 1000;
const int kCopyAttempts = 100;

bool g_launcherUpdated = false;
bool g_selfUpdateClosing = false;

void DeleteWithRetries(const std::wstring& path)
{
    if (path.empty() || path.size() >= MAX_PATH || ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        if (::DeleteFileW(path.c_str()))
            return;
        ::Sleep(kDeleteRetryMs);
    }
}

} // namespace

void RunCopyToOriginalAndRestart()
{
    wchar_t launcherPath[MAX_PATH];
    lstrcpynW(launcherPath, ModuleFilePath().c_str(), MAX_PATH);
    ::PathRemoveExtensionW(launcherPath);
    ::PathRemoveExtensionW(launcherPath);

    // The old launcher holds its file until its process has ended.
    DWORD started = ::GetTickCount();
    while (!::DeleteFileW(launcherPath) && ::GetFileAttributesW(launcherPath) != INVALID_FILE_ATTRIBUTES) {
        if (::GetTickCount() - started > kReplaceTimeoutMs)
            return;
        ::Sleep(kReplaceRetryMs);
    }
    // The launcher file is gone now: a passing failure must not leave the
    // player without one.
    std::wstring self = ModuleFilePath();
    for (int attempt = 0; !::CopyFileW(self.c_str(), launcherPath, TRUE); ++attempt) {
        if (attempt == kCopyAttempts)
            return;
        ::Sleep(kDeleteRetryMs);
    }
    StartProcess(launcherPath, kSwitchDeleteCopyExe);
}

void RunDeleteCopyExe()
{
    DeleteWithRetries(ModuleFilePath() + kCopySuffix);
    g_launcherUpdated = true;
}

void DeleteDownloadedExe(const std::wstring& path)
{
    DeleteWithRetries(path);
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
