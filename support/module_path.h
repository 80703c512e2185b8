#pragma once
#include <string>

// Full path of the running executable, its folder (no trailing separator) and
// its file name.
std::wstring ModuleFilePath();
std::wstring ModuleFolder();
std::wstring ModuleFileName();

// The full form of a path, relative to the current folder or full; empty when
// it cannot be made or is longer than 259 characters.
std::wstring FullPath(const std::wstring& path);

// True when both name the same file path, ignoring case.
bool SamePathNoCase(const std::wstring& a, const std::wstring& b);
// True when the path, relative to the current folder or full, names the
// running executable, which cannot be overwritten.
bool IsModuleFile(const std::wstring& path);
