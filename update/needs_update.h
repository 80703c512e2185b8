#pragma once
// The rule that decides whether a file of the server's index must be fetched.

#include <string>

#include "update/file_index.h"

// With a cached index that knows the name, only the cached entry is compared
// (size, then digest); the disk is not touched. Otherwise the file in the game
// folder is: missing, or of another size (low 32 bits), or, for an entry of
// size other than 0, of another digest. Hashing failures throw
// std::runtime_error (see FileDigest).
bool EntryNeedsUpdate(const IndexEntry& entry, const FileIndex* cachedIndex, const std::wstring& gameFolder);
