#include "update/game_paths.h"

#include <algorithm>

#include "support/text_utils.h"

const wchar_t kDataSourcesName[] = L"datasources.txt";
const wchar_t kServerIndexName[] = L"fileindex.dat";
const wchar_t kCachedIndexName[] = L"cachedindex.dat";
const wchar_t kPackageJournalName[] = L"downloading.dat";
const wchar_t kPackageSuffix[] = L".zip";
const wchar_t kFullPackageSuffix[] = L"_full.zip";

namespace {

const wchar_t* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL"};

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

// A folder part that Windows opens as a device: its text before the first
// dot, without trailing blanks, is a device name.
bool IsDeviceName(const std::wstring& name, size_t begin, size_t end)
{
    size_t stemEnd = std::min(name.find(L'.', begin), end);
    while (stemEnd > begin && name[stemEnd - 1] == L' ')
        --stemEnd;
    std::wstring stem = ToUpper(name.substr(begin, stemEnd - begin));
    for (const wchar_t* device : kDeviceNames) {
        if (stem == device)
            return true;
    }
    bool numbered = stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0;
    return numbered && stem.size() == 4 && stem[3] >= L'1' && stem[3] <= L'9';
}

bool IsControl(wchar_t c)
{
    return c < L' ';
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

std::wstring CarriedName(const std::wstring& packageName)
{
    const size_t suffix = std::char_traits<wchar_t>::length(kPackageSuffix);
    return packageName.size() >= suffix ? packageName.substr(0, packageName.size() - suffix) : packageName;
}

std::wstring FullPackageName(const std::wstring& productKeyWord)
{
    return productKeyWord + kFullPackageSuffix;
}

std::wstring ServedName(const std::wstring& name)
{
    std::wstring served = name;
    for (wchar_t& c : served) {
        if (IsSeparator(c))
            c = L'/';
        else if (c == L' ' || c == L'+')
            c = L'_';
    }
    return served;
}

std::wstring RequestPath(const std::wstring& serverDirectory, const std::wstring& name)
{
    std::wstring path = serverDirectory;
    if (!path.empty())
        path += L'/';
    std::string served = WideToUtf8(ServedName(name));
    for (size_t begin = 0;;) {
        size_t slash = served.find('/', begin);
        std::string folder = UrlEncode(served.substr(begin, slash - begin).c_str());
        path.append(folder.begin(), folder.end());
        if (slash == std::string::npos)
            return path;
        path += L'/';
        begin = slash + 1;
    }
}

bool IsSafeEntryName(const std::wstring& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return false;
    if (name.find(L':') != std::wstring::npos || std::any_of(name.begin(), name.end(), IsControl))
        return false;
    size_t begin = 0;
    for (;;) {
        size_t end = begin;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (IsDotsAndBlanksOnly(name, begin, end) || IsDeviceName(name, begin, end))
            return false;
        if (end == name.size())
            return true;
        begin = end + 1;
    }
}
