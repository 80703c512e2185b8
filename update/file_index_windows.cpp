// The index on files, descriptors and handles; the format itself is read and
// written in file_index.cpp.
#include "update/file_index.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>

#include "support/file_replace.h"
#include "support/win_handles.h"

namespace {

const unsigned kReadAheadBytes = 65536;

class DescriptorInput : public IndexInput {
public:
    explicit DescriptorInput(int descriptor) : descriptor_(descriptor) {}
    int ReadSome(void* buffer, unsigned size) override { return ::_read(descriptor_, buffer, size); }

private:
    int descriptor_;
};

// Takes the source in large blocks, since a record is read field by field.
// Only for a source read to its end: it takes more than the index.
class ReadAheadInput : public IndexInput {
public:
    explicit ReadAheadInput(IndexInput& source) : source_(source), block_(kReadAheadBytes) {}
    int ReadSome(void* buffer, unsigned size) override
    {
        if (next_ == end_) {
            int got = source_.ReadSome(block_.data(), kReadAheadBytes);
            if (got <= 0)
                return got;
            next_ = 0;
            end_ = static_cast<unsigned>(got);
        }
        unsigned count = std::min(size, end_ - next_);
        std::memcpy(buffer, block_.data() + next_, count);
        next_ += count;
        return static_cast<int>(count);
    }

private:
    IndexInput& source_;
    std::vector<char> block_;
    unsigned next_ = 0;
    unsigned end_ = 0;
};

} // namespace

bool FileIndex::ReadFromFile(const std::wstring& path)
{
    UniqueCrtFile file(::_wopen(path.c_str(), _O_RDONLY | _O_BINARY));
    if (!file)
        return false;
    DescriptorInput descriptor(file.Get());
    ReadAheadInput input(descriptor);
    return ReadFrom(input, true);
}

bool FileIndex::ReadFromDescriptor(int descriptor, bool verify)
{
    DescriptorInput input(descriptor);
    return ReadFrom(input, verify);
}

int HandleIndexInput::ReadSome(void* buffer, unsigned size)
{
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, size, &got, nullptr))
        return -1;
    return static_cast<int>(got);
}

int FileIndex::WriteToFile(const std::wstring& path) const
{
    std::string image;
    if (!Serialize(image))
        return -1;
    return WriteFileReplacing(path, image.data(), image.size()) ? 0 : -1;
}
