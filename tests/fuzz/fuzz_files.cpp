#include "fuzz_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

MemoryFile::MemoryFile(const char* label) : fd_(memfd_create(label, 0))
{
    if (fd_ < 0) {
        std::perror("memfd_create");
        std::abort();
    }
    name_ = "/proc/self/fd/" + std::to_string(fd_);
}

void MemoryFile::Clear()
{
    if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0)
        std::abort();
}

void MemoryFile::Assign(const uint8_t* data, size_t size)
{
    Clear();
    while (size > 0) {
        ssize_t put = write(fd_, data, size);
        if (put <= 0)
            std::abort();
        data += put;
        size -= static_cast<size_t>(put);
    }
}

std::vector<uint8_t> MemoryFile::Contents() const
{
    std::vector<uint8_t> bytes(static_cast<size_t>(lseek(fd_, 0, SEEK_END)));
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t got = pread(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (got <= 0)
            std::abort();
        done += static_cast<size_t>(got);
    }
    return bytes;
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
