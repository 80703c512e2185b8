#pragma once
// MD5 of a whole file's content, read in bounded chunks so that files of any
// size can be hashed in a 32-bit process.

#include <atomic>
#include <string>

#include "update/md5_digest.h"

// Opens the file read-only and denies writers while it is read. A file that
// cannot be opened throws std::runtime_error with
// "File '<path>' open error: <errno>"; provider failures throw as CMd5Digest
// does; a failed read throws std::runtime_error naming the file. Once *stop
// is set it throws std::runtime_error "stopped" at the next chunk.
Md5Hash FileDigest(const std::wstring& path, const std::atomic<bool>* stop = nullptr);
