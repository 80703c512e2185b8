#pragma once
// In-memory files for the fuzz targets: the codec opens files by name, so each
// buffer is a memfd reached through /proc/self/fd. Created once, emptied per
// input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class MemoryFile {
public:
    explicit MemoryFile(const char* label);
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    int Descriptor() const { return fd_; }
    // A name that opens this file anew.
    const char* Name() const { return name_.c_str(); }
    void Clear();
    void Assign(const uint8_t* data, size_t size);
    std::vector<uint8_t> Contents() const;

private:
    int fd_;
    std::string name_;
};

// True when `text` is one of the texts CZipException may carry.
bool IsCodecFailureText(const char* text);
