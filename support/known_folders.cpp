#include "support/known_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "support/module_path.h"
#include "support/win_handles.h"

namespace {

const int kSharedFolders[] = {
    CSIDL_PROFILE,          CSIDL_DESKTOPDIRECTORY,        CSIDL_PERSONAL,
    CSIDL_MYMUSIC,          CSIDL_MYPICTURES,              CSIDL_MYVIDEO,
    CSIDL_FAVORITES,        CSIDL_APPDATA,                 CSIDL_LOCAL_APPDATA,
    CSIDL_COMMON_APPDATA,   CSIDL_STARTMENU,               CSIDL_PROGRAMS,
    CSIDL_STARTUP,          CSIDL_TEMPLATES,               CSIDL_SENDTO,
    CSIDL_RECENT,           CSIDL_NETHOOD,                 CSIDL_PRINTHOOD,
    CSIDL_INTERNET_CACHE,   CSIDL_COOKIES,                 CSIDL_HISTORY,
    CSIDL_WINDOWS,          CSIDL_SYSTEM,                  CSIDL_SYSTEMX86,
    CSIDL_FONTS,            CSIDL_PROGRAM_FILES,           CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_STARTMENU,        CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_MUSIC,     CSIDL_COMMON_PICTURES,         CSIDL_COMMON_VIDEO,
    CSIDL_ADMINTOOLS,       CSIDL_COMMON_ADMINTOOLS,
};

std::wstring WithoutTrailingSeparator(std::wstring path)
{
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

bool IsRoot(const std::wstring& path)
{
    return ::PathIsRootW(path.c_str()) || ::PathIsRootW((path + L"\\").c_str());
}

// The folder as the file system names it once links and junctions are
// followed (a redirected Documents, or a link of Wine's to a Unix folder);
// the full path when it cannot be opened.
std::wstring ResolvedPath(const std::wstring& full)
{
    UniqueHandle folder(::CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    wchar_t resolved[MAX_PATH];
    DWORD length = folder ? ::GetFinalPathNameByHandleW(folder.Get(), resolved, MAX_PATH, VOLUME_NAME_DOS) : 0;
    if (length == 0 || length >= MAX_PATH)
        return full;
    std::wstring path(resolved, length);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return WithoutTrailingSeparator(L"\\\\" + path.substr(8));
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return WithoutTrailingSeparator(path.substr(4));
    return WithoutTrailingSeparator(path);
}

// True when `folder` is `known` or one of the folders above it.
bool HoldsOrIs(const std::wstring& folder, const std::wstring& known)
{
    if (known.empty() || known.size() < folder.size())
        return false;
    if (known.size() > folder.size() && known[folder.size()] != L'\\')
        return false;
    return SamePathNoCase(known.substr(0, folder.size()), folder);
}

// Compared both as written and as resolved.
bool HoldsOrIsFolder(const std::wstring& full, const std::wstring& resolved, const std::wstring& known)
{
    std::wstring knownFull = WithoutTrailingSeparator(FullPath(known));
    if (knownFull.empty())
        return false;
    return HoldsOrIs(full, knownFull) || HoldsOrIs(resolved, ResolvedPath(knownFull));
}

std::wstring DownloadsFolder()
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &path)))
        result = path;
    ::CoTaskMemFree(path);
    return result;
}

std::wstring TempFolder()
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(path, length);
}

} // namespace

std::wstring KnownFolderPath(int csidl)
{
    wchar_t path[MAX_PATH];
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

bool IsSystemFolder(const std::wstring& folder)
{
    std::wstring full = WithoutTrailingSeparator(FullPath(folder));
    // A path that cannot be made full is not one we may empty either.
    if (full.empty())
        return true;
    std::wstring resolved = ResolvedPath(full);
    if (IsRoot(full) || IsRoot(resolved))
        return true;
    for (int csidl : kSharedFolders) {
        if (HoldsOrIsFolder(full, resolved, KnownFolderPath(csidl)))
            return true;
    }
    return HoldsOrIsFolder(full, resolved, DownloadsFolder()) || HoldsOrIsFolder(full, resolved, TempFolder());
}
