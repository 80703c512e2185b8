#pragma once
#include <windows.h>

// Creates every missing folder of the path, top-most first. Returns 0 (also
// when the path already existed) or the Win32 error code of the first failure;
// folders created before a failure stay. A relative path starts at the
// current folder.
DWORD CreateFolderPath(const wchar_t* path);
