#include "memory_streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

long MemorySource::Read(uint8_t* buffer, size_t size)
{
    size_t part = std::min(size, left_);
    if (part == 0)
        return 0;
    std::memcpy(buffer, data_, part);
    data_ += part;
    left_ -= part;
    return static_cast<long>(part);
}

long MemorySink::Write(const uint8_t* data, size_t size)
{
    if (size > limit_ - count_) {
        errno = EFBIG;
        return -1;
    }
    if (kept_)
        kept_->insert(kept_->end(), data, data + size);
    count_ += size;
    return static_cast<long>(size);
}

bool IsCodecFailureText(const char* text)
{
    static const char* const kTexts[] = {
        "problem with zipping/unzipping operation : 1",
        "problem while unzipping file",
        "problem while zipping file",
        "unable to open source file",
        "unable to create target file",
        "target name must be different than source name",
    };
    for (const char* known : kTexts)
        if (std::strcmp(text, known) == 0)
            return true;
    return false;
}
