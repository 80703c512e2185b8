#pragma once
// Writes of REG_SZ values. Failures are ignored: every caller treats the
// registry as best effort.

#include <windows.h>
#include <string>

// The text with its terminator into an open key.
void SetRegText(HKEY key, const wchar_t* name, const std::wstring& text);
// Exactly these bytes as REG_SZ, into the key below root, created as needed.
void SetRegBytes(HKEY root, const std::wstring& keyPath, const wchar_t* name, const void* data, DWORD bytes);
// The text with its terminator, into the key below root, created as needed.
void SetRegText(HKEY root, const std::wstring& keyPath, const wchar_t* name, const std::wstring& text);
