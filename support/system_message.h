#pragma once
#include <windows.h>
#include <string>

// The system message table's text for a Win32 error code (language 0, at most
// 1024 characters), without the line break the table ends its texts with, so
// it can stand inside a sentence. Empty when the system has no text.
std::wstring SystemMessageText(DWORD code);

// "Code: 0x%08X" with the code and, when the system has a text for it, "\r\n"
// and that text.
std::wstring ErrorCodeText(DWORD code);
