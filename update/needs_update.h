#pragma once
// The rule that decides whether a file of the server's index must be fetched.

#include <atomic>
#include <string>

#include "update/file_index.h"

// A cached entry of the same name decides alone: the entry needs update when
// the sizes (all 64 bits) or the digests differ.
bool CachedEntryDiffers(const IndexEntry& entry, const IndexEntry& cached);

// The file in the game folder: missing, or of another size (low 32 bits), or,
// for an entry of size other than 0, of another digest. Hashing failures
// throw std::runtime_error (see FileDigest), also once *stop is set.
bool FileNeedsUpdate(const IndexEntry& entry, const std::wstring& gameFolder,
                     const std::atomic<bool>* stop = nullptr);

// With a cached index that knows the name, the cached entry; otherwise the
// file on disk.
bool EntryNeedsUpdate(const IndexEntry& entry, const FileIndex* cachedIndex, const std::wstring& gameFolder);
