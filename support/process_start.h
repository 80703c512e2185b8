#pragma once
#include <string>

// Starts another executable with "\"<file name>\" <tail>" as command line
// (just the quoted name without a tail) and does not wait for it.
bool StartProcess(const std::wstring& programPath, const wchar_t* tail = nullptr);
