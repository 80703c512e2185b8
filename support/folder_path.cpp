#include "support/folder_path.h"

#include <shlwapi.h>
#include <string>
#include <vector>

DWORD CreateFolderPath(const wchar_t* path)
{
    wchar_t current[MAX_PATH];
    if (lstrlenW(path) >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    lstrcpynW(current, path, MAX_PATH);

    // A relative path whose top folder is missing strips down to nothing:
    // that is the current folder, which exists.
    std::vector<std::wstring> missing;
    while (current[0] != L'\0' && !::PathFileExistsW(current)) {
        missing.emplace_back(::PathFindFileNameW(current));
        if (!::PathRemoveFileSpecW(current))
            return ERROR_INVALID_PARAMETER;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!::PathAppendW(current, it->c_str()))
            return ERROR_FILENAME_EXCED_RANGE;
        if (!::CreateDirectoryW(current, nullptr))
            return ::GetLastError();
    }
    return 0;
}
