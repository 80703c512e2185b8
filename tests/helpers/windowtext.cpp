// Prints the texts of a window of another process and of its child windows,
// one per line as "<control id> <hexadecimal UTF-8>", so tests can read what a
// message box says.
//
//   windowtext.exe HWND

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

const UINT kTextTimeoutMs = 5000;
const size_t kTextChars = 4096;

void PrintText(HWND window)
{
    wchar_t text[kTextChars] = {};
    DWORD_PTR length = 0;
    // WM_GETTEXT, not GetWindowText: across processes only the message reads a control's text.
    ::SendMessageTimeoutW(window, WM_GETTEXT, kTextChars, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          kTextTimeoutMs, &length);
    std::string utf8(4 * kTextChars, '\0');
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(bytes > 0 ? static_cast<size_t>(bytes - 1) : 0);
    std::printf("%d ", ::GetDlgCtrlID(window));
    for (unsigned char c : utf8)
        std::printf("%02x", c);
    std::printf("\n");
}

BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
    PrintText(child);
    return TRUE;
}

} // namespace

int main()
{
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!args)
        return 2;
    std::wstring handle = count == 2 ? args[1] : L"";
    ::LocalFree(args);
    if (handle.empty()) {
        std::fprintf(stderr, "usage: windowtext HWND\n");
        return 2;
    }
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(handle)));
    if (!::IsWindow(window))
        return 1;
    PrintText(window);
    ::EnumChildWindows(window, PrintChild, 0);
    return 0;
}
