#pragma once
// Which processes hold a file open, so the player can be told who keeps a
// game file from being replaced.

#include <windows.h>

#include <string>
#include <vector>

struct FileHolder {
    DWORD processId = 0;
    std::wstring name;       // the application's friendly name where known, else the executable's file name
    std::wstring imagePath;  // the executable's full path where it can be read, else empty
};

// The processes other than this one that hold the file open; empty when none
// is found or the system cannot tell. Asks the Restart Manager first and,
// where it is missing or finds nobody, looks through the system's handle table.
std::vector<FileHolder> FindFileHolders(const std::wstring& path);
