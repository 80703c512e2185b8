#include "update/needs_update.h"

#include <windows.h>

#include "update/file_digest.h"
#include "update/game_paths.h"

bool CachedEntryDiffers(const IndexEntry& entry, const IndexEntry& cached)
{
    return cached.size != entry.size || cached.md5 != entry.md5;
}

bool FileNeedsUpdate(const IndexEntry& entry, const std::wstring& gameFolder, const std::atomic<bool>* stop)
{
    const std::wstring path = GamePath(gameFolder, entry.name);
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
    return FileDigest(path, stop) != entry.md5;
}

bool EntryNeedsUpdate(const IndexEntry& entry, const FileIndex* cachedIndex, const std::wstring& gameFolder)
{
    const IndexEntry* cached = cachedIndex ? cachedIndex->Find(entry.name) : nullptr;
    return cached ? CachedEntryDiffers(entry, *cached) : FileNeedsUpdate(entry, gameFolder);
}
