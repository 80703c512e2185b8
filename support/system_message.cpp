#include "support/system_message.h"

#include "support/text_utils.h"

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

std::wstring ErrorCodeText(DWORD code)
{
    std::wstring text = FormatString(L"Code: 0x%08X", code);
    std::wstring system = SystemMessageText(code);
    if (!system.empty())
        text += L"\r\n" + system;
    return text;
}
