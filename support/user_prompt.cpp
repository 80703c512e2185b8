#include "support/user_prompt.h"

#include <shellapi.h>

int CDesktopPrompt::ShowMessage(const std::wstring& text, const std::wstring& caption, UINT type)
{
    return ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), type);
}

void CDesktopPrompt::OpenAddress(const std::wstring& address)
{
    ::ShellExecuteW(nullptr, nullptr, address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
