#include "tools/publisher/publish_error.h"

#include "support/system_message.h"

std::wstring SystemErrorText(DWORD code)
{
    std::wstring text = SystemMessageText(code);
    return text.empty() ? L"error " + std::to_wstring(code) : text;
}

void ThrowLastError(const std::wstring& text)
{
    DWORD code = ::GetLastError();
    throw PublishError(text + L": " + SystemErrorText(code));
}
