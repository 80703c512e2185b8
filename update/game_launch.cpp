#include "update/game_launch.h"

#include <windows.h>

#include "services/string_ids.h"
#include "services/string_table.h"
#include "support/system_message.h"
#include "telemetry/report_client.h"
#include "update/game_paths.h"
#include "update/launcher_window.h"

namespace {

const wchar_t kCrashLogPattern[] = L"Errors\\* Error.txt";

void ShowError(ILauncherWindow& window, const std::wstring& text, const std::wstring& caption)
{
    ::MessageBoxW(window.GetWindowHandle(), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

} // namespace

bool GameCrashLogExists()
{
    WIN32_FIND_DATAW found;
    UniqueFindHandle search(::FindFirstFileW(kCrashLogPattern, &found));
    return search.Valid();
}

void CGameLaunch::Launch(ILauncherWindow& window, CReportClient& reports)
{
    if (process_ || signal_)
        return;
    reports.SendGameStart();

    const std::wstring path = GamePath(LoadLangString(IDS_GAME_FOLDER), LoadLangString(IDS_GAME_EXE));
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::wstring text = LoadLangString(IDS_GAME_EXE_NOT_FOUND);
        ShowError(window, text, LoadLangString(IDS_GAME_LAUNCH_FAILED));
        return;
    }

    signal_.Reset(::CreateEventW(nullptr, TRUE, FALSE, LoadLangString(IDS_PRODUCT_KEY)));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &started)) {
        std::wstring text = std::wstring(LoadLangString(IDS_GAME_LAUNCH_FAILED)) + L"\r\n" +
                            ErrorCodeText(::GetLastError());
        ShowError(window, text, LoadLangString(IDS_PRODUCT_NAME));
        signal_.Reset();
        return;
    }
    process_.Reset(started.hProcess);
    ::CloseHandle(started.hThread);
}

bool CGameLaunch::ShouldClose(double elapsedSeconds)
{
    if (!process_ && !signal_)
        return false;
    watched_ += elapsedSeconds;
    // Only the handles held take part; the event first.
    HANDLE handles[2];
    DWORD count = 0;
    if (signal_)
        handles[count++] = signal_.Get();
    if (process_)
        handles[count++] = process_.Get();
    DWORD waited = ::WaitForMultipleObjects(count, handles, FALSE, 0);
    return waited < WAIT_OBJECT_0 + count || watched_ > kMaxWatchSeconds;
}
