#include "memory_streams.h"

#include "check_failure.h"
#include "support/gzip/gzip_member.h"
#include "support/gzip/zip_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

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

} // namespace

size_t MemoryInput::Take(void* buffer, size_t size)
{
    size_t part = std::min({size, step_, left_});
    if (part == 0)
        return 0;
    std::memcpy(buffer, data_, part);
    data_ += part;
    left_ -= part;
    return part;
}

long MemoryInput::Read(uint8_t* buffer, size_t size)
{
    return static_cast<long>(Take(buffer, size));
}

int MemoryInput::ReadSome(void* buffer, unsigned size)
{
    return static_cast<int>(Take(buffer, size));
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

bool UnpackFuzzInput(const uint8_t* data, size_t size, const char* name, MemorySink& sink)
{
    if (size == 0)
        return false;
    zip_engine::SetInputRefillLimit(data[0] == 0 ? zip_engine::kInputBufferSize : data[0]);
    zip_engine::SetHeaderName(name);
    MemoryInput source(data + 1, size - 1);
    try {
        return zip_engine::UnzipMember(source, sink) == 0;
    } catch (const CZipException& e) {
        if (!IsCodecFailureText(e.Text()))
            FailCheck("codec failure text check", e.Text());
        return false;
    }
}
