#include "support/system_message.h"

namespace {

const DWORD kMessageChars = 1024;

bool IsTrailingBlank(wchar_t c)
{
    return c == L'\r' || c == L'\n' || c == L' ';
}

} // namespace

std::wstring SystemMessageText(DWORD code)
{
    wchar_t buffer[kMessageChars];
    // Inserts stay unexpanded: some texts hold "%1" and no arguments are given.
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                    buffer, kMessageChars, nullptr);
    while (length > 0 && IsTrailingBlank(buffer[length - 1]))
        --length;
    return std::wstring(buffer, length);
}
