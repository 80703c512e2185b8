#include "update/file_digest.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "support/text_utils.h"

namespace {

// Large enough that the provider call overhead vanishes, small enough to be
// allocated next to a game's working set.
const unsigned kChunkSize = 1024 * 1024;
const size_t kOpenMessageChars = 512;

[[noreturn]] void ThrowFileError(const char* format, const std::wstring& path, int code)
{
    char text[kOpenMessageChars];
    std::snprintf(text, sizeof(text), format, WideToAnsi(path).c_str(), code);
    throw std::runtime_error(text);
}

} // namespace

Md5Hash FileDigest(const std::wstring& path, const std::atomic<bool>* stop)
{
    UniqueCrtFile file;
    int error = ::_wsopen_s(file.Receive(), path.c_str(), _O_RDONLY | _O_BINARY, _SH_DENYWR, _S_IREAD);
    if (error != 0)
        ThrowFileError("File '%s' open error: %d", path, error);

    CMd5Digest digest;
    std::vector<char> chunk(kChunkSize);
    for (;;) {
        if (stop && stop->load(std::memory_order_relaxed))
            throw std::runtime_error("stopped");
        int count = ::_read(file.Get(), chunk.data(), kChunkSize);
        if (count < 0)
            ThrowFileError("File '%s' read error: %d", path, errno);
        if (count == 0)
            break;
        digest.Update(chunk.data(), static_cast<size_t>(count));
    }
    return digest.Digest();
}
