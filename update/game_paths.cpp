#include "update/game_paths.h"

const wchar_t kDataSourcesName[] = L"datasources.txt";
const wchar_t kServerIndexName[] = L"fileindex.dat";
const wchar_t kCachedIndexName[] = L"cachedindex.dat";
const wchar_t kPackageSuffix[] = L".zip";
const wchar_t kFullPackageSuffix[] = L"_full.zip";

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// A folder part that Windows would read as "", "." or "..".
bool IsDotsAndBlanksOnly(const std::wstring& name, size_t begin, size_t end)
{
    for (size_t i = begin; i < end; ++i) {
        if (name[i] != L'.' && name[i] != L' ')
            return false;
    }
    return true;
}

} // namespace

std::wstring GamePath(const std::wstring& gameFolder, const std::wstring& name)
{
    if (gameFolder.empty())
        return name;
    return gameFolder + L"\\" + name;
}

std::wstring PackageName(const std::wstring& name)
{
    return name + kPackageSuffix;
}

std::wstring FullPackageName(const std::wstring& productKeyWord)
{
    return productKeyWord + kFullPackageSuffix;
}

std::wstring RequestPath(const std::wstring& serverDirectory, const std::wstring& name)
{
    std::wstring path = serverDirectory;
    if (!path.empty())
        path += L'/';
    for (wchar_t c : name)
        path += (c == L' ' || c == L'+') ? L'_' : c;
    return path;
}

bool IsSafeEntryName(const std::wstring& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return false;
    if (name.find(L':') != std::wstring::npos)
        return false;
    size_t begin = 0;
    for (;;) {
        size_t end = begin;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (IsDotsAndBlanksOnly(name, begin, end))
            return false;
        if (end == name.size())
            return true;
        begin = end + 1;
    }
}
