#include "support/module_path.h"

#include <windows.h>
#include <shlwapi.h>

std::wstring ModuleFilePath()
{
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(path, length);
}

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH];
    lstrcpynW(path, ModuleFilePath().c_str(), MAX_PATH);
    ::PathRemoveFileSpecW(path);
    return path;
}

std::wstring ModuleFileName()
{
    std::wstring path = ModuleFilePath();
    return ::PathFindFileNameW(path.c_str());
}

bool SamePathNoCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t full[MAX_PATH];
    DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(full, length);
}

bool IsModuleFile(const std::wstring& path)
{
    std::wstring full = FullPath(path);
    return !full.empty() && SamePathNoCase(full, ModuleFilePath());
}
