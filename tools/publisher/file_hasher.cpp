#include "tools/publisher/file_hasher.h"

#include <windows.h>

#include "support/win_handles.h"
#include "tools/publisher/publish_error.h"

namespace {

const DWORD kChunkSize = 1024 * 1024;

} // namespace

CFileHasher::CFileHasher() : chunk_(kChunkSize)
{
}

Md5Hash CFileHasher::Of(const std::wstring& path)
{
    // Shared for reading only: a file another process writes is refused.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        ThrowLastError(L"cannot read " + path);
    // The digest of nothing yet, so an empty file gives the empty input's.
    digest_.Update(nullptr, 0);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk_.data(), kChunkSize, &got, nullptr))
            ThrowLastError(L"cannot read " + path);
        if (got == 0)
            break;
        digest_.Update(chunk_.data(), got);
    }
    return digest_.Digest();
}
