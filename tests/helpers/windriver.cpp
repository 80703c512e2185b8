// Test driver for the launcher under Wine. Reads one command per line on
// standard input and answers on standard output, so tests can start processes
// with an exact command line, watch and operate their windows, and read or
// write the registry. Strings travel as hexadecimal UTF-8, so Wine's argument
// quoting never touches them.

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/helpers/utf8_text.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

HKEY Root(const std::string& name)
{
    return name == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::map<DWORD, HANDLE> g_processes;

struct WindowList {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param)
{
    WindowList* list = reinterpret_cast<WindowList*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == list->pid && ::IsWindowVisible(hwnd))
        list->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> VisibleWindows(DWORD pid)
{
    WindowList list{pid, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&list));
    return list.windows;
}

std::string Title(HWND hwnd)
{
    wchar_t title[512] = {};
    ::GetWindowTextW(hwnd, title, 512);
    return Hex(Utf8(title));
}

std::string HandleText(HWND hwnd)
{
    return std::to_string(reinterpret_cast<uintptr_t>(hwnd));
}

HWND ParseHwnd(const std::string& text)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(text)));
}

void Start(std::istringstream& in)
{
    std::string exeHex, tailHex, cwdHex;
    in >> exeHex >> tailHex >> cwdHex;
    std::wstring exe = WideFromHex(exeHex);
    std::wstring line;
    bool hasLine = tailHex != "-";
    if (hasLine)
        line = std::wstring(::PathFindFileNameW(exe.c_str())) + L" " + WideFromHex(tailHex);
    std::wstring cwd = cwdHex.empty() ? std::wstring() : WideFromHex(cwdHex);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(exe.c_str(), hasLine ? buffer.data() : nullptr, nullptr, nullptr, FALSE, 0, nullptr,
                          cwd.empty() ? nullptr : cwd.c_str(), &startup, &info)) {
        std::cout << "error " << ::GetLastError() << std::endl;
        return;
    }
    ::CloseHandle(info.hThread);
    g_processes[info.dwProcessId] = info.hProcess;
    std::cout << "pid " << info.dwProcessId << std::endl;
}

void WaitWindow(std::istringstream& in)
{
    DWORD pid = 0, ms = 0;
    in >> pid >> ms;
    DWORD started = ::GetTickCount();
    do {
        std::vector<HWND> windows = VisibleWindows(pid);
        if (!windows.empty()) {
            std::cout << "window " << HandleText(windows[0]) << " " << Title(windows[0]) << std::endl;
            return;
        }
        auto it = g_processes.find(pid);
        if (it != g_processes.end() && ::WaitForSingleObject(it->second, 0) == WAIT_OBJECT_0)
            break;
        ::Sleep(50);
    } while (::GetTickCount() - started < ms);
    std::cout << "none" << std::endl;
}

void FindWindowByTitle(std::istringstream& in)
{
    std::string titleHex;
    DWORD ms = 0;
    in >> titleHex >> ms;
    std::wstring title = WideFromHex(titleHex);
    DWORD started = ::GetTickCount();
    do {
        HWND hwnd = ::FindWindowW(nullptr, title.c_str());
        if (hwnd && ::IsWindowVisible(hwnd)) {
            std::cout << "window " << HandleText(hwnd) << std::endl;
            return;
        }
        ::Sleep(50);
    } while (::GetTickCount() - started < ms);
    std::cout << "none" << std::endl;
}

struct ExeWindowSearch {
    std::wstring exe;
    HWND found;
};

BOOL CALLBACK MatchExeWindow(HWND hwnd, LPARAM param)
{
    ExeWindowSearch* search = reinterpret_cast<ExeWindowSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (!::IsWindowVisible(hwnd))
        return TRUE;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return TRUE;
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    bool same = ::QueryFullProcessImageNameW(process, 0, image, &length) && lstrcmpiW(image, search->exe.c_str()) == 0;
    ::CloseHandle(process);
    if (!same)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

// A visible window of any process running this executable, also one the
// driver did not start.
void ExeWindow(std::istringstream& in)
{
    std::string exeHex;
    DWORD ms = 0;
    in >> exeHex >> ms;
    ExeWindowSearch search{WideFromHex(exeHex), nullptr};
    DWORD started = ::GetTickCount();
    do {
        ::EnumWindows(MatchExeWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            std::cout << "window " << HandleText(search.found) << " " << Title(search.found) << std::endl;
            return;
        }
        ::Sleep(50);
    } while (::GetTickCount() - started < ms);
    std::cout << "none" << std::endl;
}

// Ends the process of a window, which the driver may not have started.
void KillWindow(std::istringstream& in)
{
    std::string hwnd;
    in >> hwnd;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(ParseHwnd(hwnd), &pid);
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process) {
        ::TerminateProcess(process, 99);
        ::WaitForSingleObject(process, 5000);
        ::CloseHandle(process);
    }
    std::cout << "ok" << std::endl;
}

void Windows(std::istringstream& in)
{
    DWORD pid = 0;
    in >> pid;
    for (HWND hwnd : VisibleWindows(pid))
        std::cout << "window " << HandleText(hwnd) << " " << (::IsIconic(hwnd) ? 1 : 0) << " " << Title(hwnd)
                  << std::endl;
    std::cout << "end" << std::endl;
}

void Wait(std::istringstream& in)
{
    DWORD pid = 0, ms = 0;
    in >> pid >> ms;
    auto it = g_processes.find(pid);
    if (it == g_processes.end()) {
        std::cout << "unknown" << std::endl;
        return;
    }
    if (::WaitForSingleObject(it->second, ms) != WAIT_OBJECT_0) {
        std::cout << "running" << std::endl;
        return;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(it->second, &code);
    std::cout << "exit " << code << std::endl;
}

void Kill(std::istringstream& in)
{
    DWORD pid = 0;
    in >> pid;
    auto it = g_processes.find(pid);
    if (it != g_processes.end()) {
        ::TerminateProcess(it->second, 99);
        ::WaitForSingleObject(it->second, 5000);
    }
    std::cout << "ok" << std::endl;
}

void RegSet(std::istringstream& in)
{
    std::string root, keyHex, nameHex, valueHex, type;
    in >> root >> keyHex >> nameHex >> valueHex >> type;
    HKEY key = nullptr;
    LONG status = ::RegCreateKeyExW(Root(root), WideFromHex(keyHex).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    &key, nullptr);
    if (status == ERROR_SUCCESS) {
        // Raw bytes with a type number, or a text stored with its terminator.
        std::string raw = Unhex(valueHex);
        if (type.empty()) {
            std::wstring text = Wide(raw);
            status = ::RegSetValueExW(key, WideFromHex(nameHex).c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else {
            status = ::RegSetValueExW(key, WideFromHex(nameHex).c_str(), 0, static_cast<DWORD>(std::stoul(type)),
                                      reinterpret_cast<const BYTE*>(raw.data()), static_cast<DWORD>(raw.size()));
        }
        ::RegCloseKey(key);
    }
    std::cout << (status == ERROR_SUCCESS ? "ok" : "error") << std::endl;
}

void RegGet(std::istringstream& in)
{
    std::string root, keyHex, nameHex;
    in >> root >> keyHex >> nameHex;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(Root(root), WideFromHex(keyHex).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        std::cout << "missing" << std::endl;
        return;
    }
    DWORD type = 0, size = 0;
    std::wstring name = WideFromHex(nameHex);
    LONG status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::string data(size, '\0');
    if (status == ERROR_SUCCESS && size)
        status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        std::cout << "missing" << std::endl;
        return;
    }
    std::cout << "value " << type << " " << (data.empty() ? "-" : Hex(data)) << std::endl;
}

void RegDel(std::istringstream& in)
{
    std::string root, keyHex;
    in >> root >> keyHex;
    ::SHDeleteKeyW(Root(root), WideFromHex(keyHex).c_str());
    std::cout << "ok" << std::endl;
}

void RegKey(std::istringstream& in)
{
    std::string root, keyHex;
    in >> root >> keyHex;
    HKEY key = nullptr;
    bool exists = ::RegOpenKeyExW(Root(root), WideFromHex(keyHex).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists)
        ::RegCloseKey(key);
    std::cout << "exists " << (exists ? 1 : 0) << std::endl;
}

void Command(std::istringstream& in)
{
    std::string hwnd;
    int id = 0;
    in >> hwnd >> id;
    ::PostMessageW(ParseHwnd(hwnd), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    std::cout << "ok" << std::endl;
}


// A control of a window by its id; 0 names the window itself.
HWND Control(const std::string& hwnd, int id)
{
    HWND window = ParseHwnd(hwnd);
    return id ? ::GetDlgItem(window, id) : window;
}

// What a player reads and does on a control: its text, its state and place,
// the items of a list, a click, typed text, and any message with numbers.
void ControlCommand(const std::string& command, std::istringstream& in)
{
    std::string hwnd;
    int id = 0;
    in >> hwnd >> id;
    HWND control = Control(hwnd, id);
    if (!control) {
        std::cout << "missing" << std::endl;
        return;
    }
    if (command == "text") {
        // Sent, not GetWindowText: across processes that reads a copy an
        // edit control does not keep up to date.
        LRESULT length = ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
        std::wstring text(length + 1, L'\0');
        text.resize(::SendMessageW(control, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0])));
        std::cout << "text " << (text.empty() ? "-" : Hex(Utf8(text))) << std::endl;
    } else if (command == "settext") {
        std::string textHex;
        in >> textHex;
        std::wstring text = WideFromHex(textHex);
        ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        std::cout << "ok" << std::endl;
    } else if (command == "state") {
        RECT rect = {};
        ::GetWindowRect(control, &rect);
        std::cout << "state " << (::IsWindowEnabled(control) ? 1 : 0) << " " << (::IsWindowVisible(control) ? 1 : 0)
                  << " " << rect.left << " " << rect.top << " " << rect.right << " " << rect.bottom << std::endl;
    } else if (command == "items") {
        // Combo box items, the selected index first.
        LRESULT count = ::SendMessageW(control, CB_GETCOUNT, 0, 0);
        std::cout << "items " << ::SendMessageW(control, CB_GETCURSEL, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring item(::SendMessageW(control, CB_GETLBTEXTLEN, i, 0) + 1, L'\0');
            item.resize(::SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0])));
            std::cout << " " << (item.empty() ? "-" : Hex(Utf8(item)));
        }
        std::cout << std::endl;
    } else if (command == "press") {
        // Posted: a click that opens a modal dialog must not hold the driver.
        ::PostMessageW(control, BM_CLICK, 0, 0);
        std::cout << "ok" << std::endl;
    } else {
        unsigned long message = 0;
        long long wParam = 0, lParam = 0;
        in >> message >> wParam >> lParam;
        LRESULT result = ::SendMessageW(control, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
        std::cout << "result " << static_cast<long long>(result) << std::endl;
    }
}

} // namespace

int main()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "start") {
            Start(in);
        } else if (command == "waitwindow") {
            WaitWindow(in);
        } else if (command == "findwindow") {
            FindWindowByTitle(in);
        } else if (command == "exewindow") {
            ExeWindow(in);
        } else if (command == "killwindow") {
            KillWindow(in);
        } else if (command == "windows") {
            Windows(in);
        } else if (command == "wait") {
            Wait(in);
        } else if (command == "kill") {
            Kill(in);
        } else if (command == "minimize" || command == "close" || command == "iconic") {
            std::string hwnd;
            in >> hwnd;
            HWND window = ParseHwnd(hwnd);
            if (command == "minimize")
                ::ShowWindow(window, SW_MINIMIZE);
            else if (command == "close")
                ::PostMessageW(window, WM_CLOSE, 0, 0);
            if (command == "iconic")
                std::cout << "iconic " << (::IsIconic(window) ? 1 : 0) << std::endl;
            else
                std::cout << "ok" << std::endl;
        } else if (command == "click") {
            Command(in);
        } else if (command == "regset") {
            RegSet(in);
        } else if (command == "regget") {
            RegGet(in);
        } else if (command == "regkey") {
            RegKey(in);
        } else if (command == "regdel") {
            RegDel(in);
        } else if (command == "text" || command == "settext" || command == "state" || command == "items" ||
                   command == "press" || command == "send") {
            ControlCommand(command, in);
        } else if (command == "quit") {
            break;
        } else {
            std::cout << "unknown" << std::endl;
        }
    }
    for (auto& entry : g_processes)
        ::CloseHandle(entry.second);
    return 0;
}
