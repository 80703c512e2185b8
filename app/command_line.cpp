#include "app/command_line.h"

#include <cwchar>

namespace {

bool IsBlankOrControl(wchar_t c)
{
    return c == L' ' || (c > 0 && c < L' ');
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix)
{
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

} // namespace

const wchar_t* CommandTail(const wchar_t* commandLine)
{
    const wchar_t* p = commandLine;
    bool quoted = false;
    for (; *p; ++p) {
        if (*p == L'"')
            quoted = !quoted;
        else if (!quoted && IsBlankOrControl(*p))
            break;
    }
    while (*p && IsBlankOrControl(*p))
        ++p;
    return p;
}

StartRequest ParseStartRequest(const wchar_t* tail)
{
    StartRequest request;
    if (StartsWith(tail, kSwitchDeleteDownloadedExe)) {
        request.mode = StartMode::DeleteDownloadedExe;
        request.argument = tail + std::wcslen(kSwitchDeleteDownloadedExe);
    } else if (std::wcscmp(tail, kSwitchCopyToOriginalAndRestart) == 0) {
        request.mode = StartMode::CopyToOriginalAndRestart;
    } else if (std::wcscmp(tail, kSwitchDeleteCopyExe) == 0) {
        request.mode = StartMode::DeleteCopyExe;
    } else if (StartsWith(tail, kSwitchUninstall)) {
        request.mode = StartMode::Uninstall;
        request.argument = tail + std::wcslen(kSwitchUninstall);
    } else if (StartsWith(tail, kSwitchDeleteFile)) {
        request.mode = StartMode::DeleteFile;
        request.argument = tail + std::wcslen(kSwitchDeleteFile);
    }
    return request;
}
