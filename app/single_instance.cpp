#include "app/single_instance.h"

#include <windows.h>
#include <psapi.h>
#include <cwchar>
#include <string>

#include "app/instance_lock.h"
#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/module_path.h"
#include "support/win_handles.h"

namespace {

const int kTitleChars = 256;
const DWORD kLockPollMs = 100;
// Longer than a closing launcher may take to stop its update run.
const DWORD kGiveWayMs = 30000;

struct Search {
    std::wstring productName;
    std::wstring modulePath;
    HWND found = nullptr;
};

bool RunsSameExecutable(HWND window, const std::wstring& modulePath)
{
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return false;
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameExW(process.Get(), nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    return SamePathNoCase(std::wstring(path, length), modulePath);
}

BOOL CALLBACK CheckWindow(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    wchar_t title[kTitleChars] = {};
    ::GetWindowTextW(window, title, kTitleChars);
    if (std::wcsncmp(title, search->productName.c_str(), search->productName.size()) != 0)
        return TRUE;
    if (!RunsSameExecutable(window, search->modulePath))
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

bool ActivateRunningInstance()
{
    Search search;
    search.productName = LoadLangString(IDS_PRODUCT_NAME);
    search.modulePath = ModuleFilePath();
    if (search.productName.empty())
        return false;
    ::EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found)
        return false;

    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (::GetWindowPlacement(search.found, &placement) && placement.showCmd == SW_SHOWMINIMIZED)
        ::ShowWindow(search.found, SW_RESTORE);
    ::SetForegroundWindow(search.found);
    ::BringWindowToTop(search.found);
    return true;
}

bool BecomeTheOnlyInstance(CInstanceLock& lock)
{
    const DWORD started = ::GetTickCount();
    while (!lock.Acquire(kLockPollMs)) {
        if (ActivateRunningInstance() || ::GetTickCount() - started > kGiveWayMs)
            return false;
    }
    return true;
}
