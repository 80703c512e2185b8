#pragma once
// DEFLATE segments of published files, kept beside the served tree and named
// by content (MD5 and size), so a file is compressed once and every later
// publish of the same content reuses its segment.

#include <cstdint>
#include <set>
#include <string>

#include "update/md5_digest.h"

class CSegmentCache {
public:
    explicit CSegmentCache(std::wstring folder);

    const std::wstring& Folder() const { return folder_; }
    std::wstring PathOf(const Md5Hash& md5, uint64_t size) const;
    bool Has(const Md5Hash& md5, uint64_t size) const;
    // Deletes every segment, and every unfinished one, not named in keep.
    void KeepOnly(const std::set<std::wstring>& keep) const;

private:
    std::wstring folder_;
};
