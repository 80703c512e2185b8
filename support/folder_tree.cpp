#include "support/folder_tree.h"

#include <vector>

#include "support/win_handles.h"

namespace {

struct ListedEntry {
    std::wstring path;
    DWORD attributes;
};

// Listed first and deleted after, so the listing never sees its own deletions.
std::vector<ListedEntry> ListFolder(const std::wstring& folder)
{
    std::vector<ListedEntry> entries;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find)
        return entries;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back({folder + L"\\" + name, found.dwFileAttributes});
    } while (::FindNextFileW(find.Get(), &found));
    return entries;
}

} // namespace

void DeleteListedEntry(const std::wstring& path, DWORD attributes)
{
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A link's attributes are left alone: they may be its target's.
    if (!link && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (folder && !link) {
        for (const ListedEntry& entry : ListFolder(path))
            DeleteListedEntry(entry.path, entry.attributes);
    }
    if (folder)
        ::RemoveDirectoryW(path.c_str());
    else
        ::DeleteFileW(path.c_str());
}
