#pragma once
// Index bytes from memory in reads of at most `step` bytes, as a pipe hands
// them over in pieces.

#include "update/file_index.h"

#include <algorithm>
#include <cstring>

class ChunkedInput final : public IndexInput {
public:
    ChunkedInput(const uint8_t* data, size_t size, unsigned step) : data_(data), left_(size), step_(step) {}

    int ReadSome(void* buffer, unsigned size) override
    {
        size_t part = std::min<size_t>({size, step_, left_});
        if (part == 0)
            return 0;
        std::memcpy(buffer, data_, part);
        data_ += part;
        left_ -= part;
        return static_cast<int>(part);
    }

    size_t Left() const { return left_; }

private:
    const uint8_t* data_;
    size_t left_;
    unsigned step_;
};

// The read step an input's first byte chooses: 1 to 127 bytes, 0 for 64 KiB.
inline unsigned ReadStep(uint8_t selector)
{
    return (selector & 0x7F) ? (selector & 0x7F) : 65536;
}
