#include "tools/publisher/tree_files.h"

#include <shlwapi.h>

#include <algorithm>

#include <vector>

#include "support/folder_path.h"
#include "support/win_handles.h"
#include "tools/publisher/publish_error.h"

std::wstring FullPathOf(const std::wstring& path)
{
    DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::vector<wchar_t> buffer(needed);
    DWORD length = ::GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
    std::wstring full(buffer.data(), length);
    // Keep the backslash of a drive root ("C:\").
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    return full;
}

bool PathsOverlap(const std::wstring& folder, const std::wstring& inner)
{
    auto within = [](const std::wstring& outer, const std::wstring& path) {
        std::wstring prefix = outer.back() == L'\\' ? outer : outer + L"\\";
        return ::CompareStringOrdinal(path.c_str(), static_cast<int>(std::min(path.size(), prefix.size())),
                                      prefix.c_str(), static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL ||
               ::CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), outer.c_str(),
                                      static_cast<int>(outer.size()), TRUE) == CSTR_EQUAL;
    };
    return within(folder, inner) || within(inner, folder);
}

bool IsFolder(const std::wstring& path)
{
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveTree(const std::wstring& path)
{
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    // A linked folder is removed as a link; what it points to stays.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str())
                                                       : ::DeleteFileW(path.c_str());
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                RemoveTree(path + L"\\" + name);
        } while (::FindNextFileW(find.Get(), &found));
    }
    find.Reset();
    return ::RemoveDirectoryW(path.c_str()) != 0;
}

bool StatFile(const std::wstring& path, uint64_t& size, uint64_t& fileTime)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    fileTime = static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

void CreateParentFolders(const std::wstring& filePath)
{
    std::wstring folder = filePath.substr(0, filePath.find_last_of(L'\\'));
    DWORD error = CreateFolderPath(folder.c_str());
    if (error != 0)
        throw PublishError(L"cannot create the folder " + folder + L": " + SystemErrorText(error));
}

void MoveIntoPlace(const std::wstring& from, const std::wstring& to)
{
    if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        ThrowLastError(L"cannot rename " + from + L" to " + to);
}

void WriteAll(HANDLE file, const char* data, size_t size, const std::wstring& path)
{
    const size_t kWriteChunk = 1024 * 1024;
    while (size != 0) {
        DWORD wrote = 0;
        DWORD chunk = static_cast<DWORD>(std::min(size, kWriteChunk));
        if (!::WriteFile(file, data, chunk, &wrote, nullptr) || wrote == 0)
            ThrowLastError(L"cannot write " + path);
        data += wrote;
        size -= wrote;
    }
}

void LinkOrCopy(const std::wstring& existing, const std::wstring& link)
{
    CreateParentFolders(link);
    if (!::CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) &&
        !::CopyFileW(existing.c_str(), link.c_str(), FALSE))
        ThrowLastError(L"cannot link or copy " + existing + L" to " + link);
}
