#include "tools/publisher/publish_error.h"

namespace {

const DWORD kMessageChars = 1024;

} // namespace

std::wstring SystemErrorText(DWORD code)
{
    wchar_t message[kMessageChars] = L"";
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                    message, kMessageChars, nullptr);
    std::wstring text(message, length);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        text = L"error " + std::to_wstring(code);
    return text;
}

void ThrowLastError(const std::wstring& text)
{
    DWORD code = ::GetLastError();
    throw PublishError(text + L": " + SystemErrorText(code));
}
