#pragma once
// Packages on disk that a download may continue. A package is dated with its
// entry's file time whenever its transfer is interrupted; a package carrying
// any other time is left from something else and is fetched anew.

#include <windows.h>

#include <cstdint>
#include <string>

// The size (low 32 bits) of the package when it exists and its last-write
// time equals the entry's file time; otherwise 0.
DWORD ValidPartialSize(const std::wstring& packagePath, uint64_t fileTime);
