#pragma once
// MD5 digests of many files with one digest provider: acquiring a provider
// per file (as the launcher's FileDigest does for its few files) costs tens
// of milliseconds under Wine, which for thousands of files outweighs the
// hashing itself.

#include <string>
#include <vector>

#include "update/md5_digest.h"

class CFileHasher {
public:
    CFileHasher();
    // The digest of a file's content; throws PublishError when it cannot be
    // read.
    Md5Hash Of(const std::wstring& path);

private:
    CMd5Digest digest_;
    std::vector<char> chunk_;
};
