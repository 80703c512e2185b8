// A stand-in for the game, built as Tarnhold.exe: what the launcher sees of
// the real one. Each start is counted in "starts.log" in the current folder
// (the launcher's). Then, by the first word of "standin.txt" there:
//   (none)   signals the launcher's event, shows a window for a few seconds, ends;
//   "crash"  writes a crash log "Errors\<time> Error.txt" and ends with code 3;
//   "silent" never signals and runs until it is ended.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The launcher names the event after the product key of its language.
const wchar_t kLaunchEvent[] = L"Tarnhold";
const DWORD kShownMs = 5000;
const UINT_PTR kEndTimer = 1;

std::string Mode()
{
    char mode[32] = {};
    if (FILE* file = _wfopen(L"standin.txt", L"r")) {
        if (std::fscanf(file, "%31s", mode) != 1)
            mode[0] = '\0';
        std::fclose(file);
    }
    return mode;
}

void CountStart()
{
    if (FILE* log = _wfopen(L"starts.log", L"a")) {
        std::fprintf(log, "started %lu\n", ::GetCurrentProcessId());
        std::fclose(log);
    }
}

int WriteCrashLog()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t name[MAX_PATH];
    swprintf(name, MAX_PATH, L"Errors\\%04u-%02u-%02u %02u-%02u-%02u Error.txt", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    ::CreateDirectoryW(L"Errors", nullptr);
    if (FILE* log = _wfopen(name, L"w")) {
        std::fprintf(log, "Unhandled exception in the stand-in game\n");
        std::fclose(log);
    }
    return 3;
}

void SignalLauncher()
{
    HANDLE launched = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, kLaunchEvent);
    if (launched) {
        ::SetEvent(launched);
        ::CloseHandle(launched);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        RECT area;
        ::GetClientRect(window, &area);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        ::DrawTextW(dc, L"Tarnhold: the stand-in game is running", -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ::EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
    case WM_CLOSE:
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

int ShowForAWhile(HINSTANCE instance)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_DESKTOP + 1);
    windowClass.lpszClassName = L"TarnholdStandIn";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowW(windowClass.lpszClassName, L"Tarnhold (stand-in game)",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, 640, 400, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return 1;
    ::SetTimer(window, kEndTimer, kShownMs, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    CountStart();
    const std::string mode = Mode();
    if (mode == "crash")
        return WriteCrashLog();
    if (mode == "silent") {
        ::Sleep(INFINITE);
        return 0;
    }
    SignalLauncher();
    return ShowForAWhile(instance);
}
