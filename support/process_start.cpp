#include "support/process_start.h"

#include <windows.h>
#include <shlwapi.h>

#include "support/win_handles.h"

namespace {

const size_t kMaxCommandLineChars = 511;

} // namespace

bool StartProcess(const std::wstring& programPath, const wchar_t* tail)
{
    // Quoted, so that a name with blanks ("TarnholdLauncher (1).exe") ends
    // where the started launcher looks for its switches.
    std::wstring line = L"\"";
    line += ::PathFindFileNameW(programPath.c_str());
    line += L'"';
    if (tail) {
        line += L' ';
        line += tail;
    }
    // A cut tail would change its meaning; refuse it instead.
    if (line.size() > kMaxCommandLineChars)
        return false;
    wchar_t commandLine[kMaxCommandLineChars + 1] = {};
    lstrcpynW(commandLine, line.c_str(), kMaxCommandLineChars + 1);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(programPath.c_str(), commandLine, nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info))
        return false;
    UniqueHandle thread(info.hThread);
    UniqueHandle process(info.hProcess);
    return true;
}
