#pragma once
#include <windows.h>
#include <string>

// The system message table's text for a Win32 error code (language 0, at most
// 1024 characters), without the line break the table ends its texts with, so
// it can stand inside a sentence. Empty when the system has no text.
std::wstring SystemMessageText(DWORD code);
