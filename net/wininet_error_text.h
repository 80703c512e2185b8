#pragma once
// One readable line for a failed WinINet call: the row number names the
// failing step of the client, the code is the thread's last error.

#include <windows.h>
#include <string>

struct WinInetErrorRow {
    DWORD code;
    const wchar_t* name;
};

// The WinINet error codes with their names as the SDK's header spells them,
// for codes the system has no text for.
extern const WinInetErrorRow kWinInetErrorNames[];
extern const int kWinInetErrorNameCount;

// The name of the first row with the code, or null when no row has it.
const wchar_t* WinInetErrorName(DWORD code);

// The server's own text for an extended error when it has one; otherwise the
// launcher's "WinInet Error in row" message with the code and the system's
// text for it, or the code's name when the system has none, or nothing.
std::wstring WinInetErrorText(int row, DWORD code);
