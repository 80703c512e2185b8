#pragma once
#include <string>

// Starts another executable with "<file name> <tail>" as command line (no
// command line without a tail) and does not wait for it.
bool StartProcess(const std::wstring& programPath, const wchar_t* tail = nullptr);
