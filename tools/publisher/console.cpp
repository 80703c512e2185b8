#include "tools/publisher/console.h"

#include <windows.h>

namespace {

void WriteLine(DWORD stream, const std::wstring& line)
{
    HANDLE output = ::GetStdHandle(stream);
    std::wstring text = line + L"\r\n";
    DWORD mode = 0;
    DWORD wrote = 0;
    if (::GetConsoleMode(output, &mode)) {
        ::WriteConsoleW(output, text.c_str(), static_cast<DWORD>(text.size()), &wrote, nullptr);
        return;
    }
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
    ::WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
}

} // namespace

void PrintLine(const std::wstring& line)
{
    WriteLine(STD_OUTPUT_HANDLE, line);
}

void PrintErrorLine(const std::wstring& line)
{
    WriteLine(STD_ERROR_HANDLE, line);
}

bool OutputIsTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void RedrawLine(const std::wstring& text)
{
    std::wstring line = L"\r" + text + L"\x1b[K";
    DWORD wrote = 0;
    ::WriteConsoleW(::GetStdHandle(STD_OUTPUT_HANDLE), line.c_str(), static_cast<DWORD>(line.size()), &wrote, nullptr);
}
