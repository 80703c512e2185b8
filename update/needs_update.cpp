#include "update/needs_update.h"

#include <windows.h>

#include "update/file_digest.h"
#include "update/game_paths.h"

namespace {

bool FileOnDiskNeedsUpdate(const IndexEntry& entry, const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    // Sizes are compared before anything is read, so a file of the wrong
    // size costs no hashing.
    if (data.nFileSizeLow != entry.size)
        return true;
    if (entry.size == 0)
        return false;
    return FileDigest(path) != entry.md5;
}

} // namespace

bool EntryNeedsUpdate(const IndexEntry& entry, const FileIndex* cachedIndex, const std::wstring& gameFolder)
{
    if (cachedIndex) {
        if (const IndexEntry* cached = cachedIndex->Find(entry.name))
            return cached->size != entry.size || cached->md5 != entry.md5;
    }
    return FileOnDiskNeedsUpdate(entry, GamePath(gameFolder, entry.name));
}
