#include "ui/launcher_page.h"

#include "support/text_utils.h"

std::wstring LauncherPageAddress(const std::wstring& newsPage, const std::wstring& machineId)
{
    std::wstring address = newsPage;
    if (address.find(L'?') == std::wstring::npos)
        address += L'?';
    else if (address.back() != L'?')
        address += L'&';
    address += L"guid=";
    address += AnsiToWide(UrlEncode(WideToAnsi(machineId).c_str()));
    return address;
}
