#include "update/file_index.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "support/file_replace.h"
#include "support/text_utils.h"
#include "support/win_handles.h"

// A source of index bytes: a CRT descriptor or a Win32 handle.
class IndexInput {
public:
    virtual ~IndexInput() = default;
    // Some bytes, 0 at the end, negative on an error.
    virtual int ReadSome(void* buffer, unsigned size) = 0;
};

namespace {

const uint32_t kIndexVersion = 2;
const size_t kRecordHeadSize = 8 + 4 + 4 + 2;
const size_t kMaxNameBytes = 0xFFFF;
const unsigned kReadAheadBytes = 65536;

// {6D2E91C4-7B0A-4F3E-9C85-2A1D4E7F0B63} in binary GUID layout.
const uint8_t kChecksumSalt[16] = {0xC4, 0x91, 0x2E, 0x6D, 0x0A, 0x7B, 0x3E, 0x4F,
                                   0x9C, 0x85, 0x2A, 0x1D, 0x4E, 0x7F, 0x0B, 0x63};

class DescriptorInput : public IndexInput {
public:
    explicit DescriptorInput(int descriptor) : descriptor_(descriptor) {}
    int ReadSome(void* buffer, unsigned size) override { return ::_read(descriptor_, buffer, size); }

private:
    int descriptor_;
};

class HandleInput : public IndexInput {
public:
    explicit HandleInput(HANDLE handle) : handle_(handle) {}
    int ReadSome(void* buffer, unsigned size) override
    {
        DWORD got = 0;
        if (!::ReadFile(handle_, buffer, size, &got, nullptr))
            return -1;
        return static_cast<int>(got);
    }

private:
    HANDLE handle_;
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

// Reads exact counts, feeding the bytes to the checksum when one is taken.
class IndexReader {
public:
    IndexReader(IndexInput& input, CMd5Digest* checksum) : input_(input), checksum_(checksum) {}

    // Loops until the count has arrived; the end or an error gives fewer.
    size_t ReadUpTo(void* buffer, size_t size)
    {
        auto* bytes = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        while (done < size) {
            int got = input_.ReadSome(bytes + done, static_cast<unsigned>(size - done));
            if (got <= 0)
                break;
            done += static_cast<size_t>(got);
        }
        return done;
    }

    bool ReadCounted(void* buffer, size_t size)
    {
        if (ReadUpTo(buffer, size) != size)
            return false;
        if (checksum_)
            checksum_->Update(buffer, size);
        return true;
    }

private:
    IndexInput& input_;
    CMd5Digest* checksum_;
};

uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void Put16(std::string& out, uint16_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void Put32(std::string& out, uint32_t value)
{
    Put16(out, static_cast<uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<uint16_t>(value >> 16));
}

bool ReadRecord(IndexReader& reader, IndexEntry& entry)
{
    uint8_t head[kRecordHeadSize];
    if (!reader.ReadCounted(head, sizeof(head)))
        return false;
    entry.fileTime = static_cast<uint64_t>(Get32(head)) | static_cast<uint64_t>(Get32(head + 4)) << 32;
    entry.size = Get32(head + 8);
    entry.packageSize = Get32(head + 12);
    size_t nameBytes = static_cast<size_t>(head[16]) | static_cast<size_t>(head[17]) << 8;
    std::string name(nameBytes, '\0');
    if (nameBytes != 0 && !reader.ReadCounted(&name[0], nameBytes))
        return false;
    entry.name = Utf8ToWide(name);
    return reader.ReadCounted(entry.md5.data(), entry.md5.size());
}

const size_t kUtf16Units = 0x10000;
const size_t kFirstSurrogate = 0xD800;
const size_t kLastSurrogate = 0xDFFF;

bool IsSurrogate(size_t unit)
{
    return unit >= kFirstSurrogate && unit <= kLastSurrogate;
}

// The system's upper-case mapping of every UTF-16 unit, taken once. The
// mapping is the file system's (no linguistic casing), as the ordinal
// comparison uses; surrogates stay as they are, since that comparison does
// not join them into pairs while the mapping of a string would.
const std::vector<wchar_t>& UpperCaseTable()
{
    static const std::vector<wchar_t> table = [] {
        std::vector<wchar_t> units(kUtf16Units);
        for (size_t unit = 0; unit < kUtf16Units; ++unit)
            units[unit] = IsSurrogate(unit) ? L' ' : static_cast<wchar_t>(unit);
        std::vector<wchar_t> upper(kUtf16Units);
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, units.data(), static_cast<int>(kUtf16Units),
                        upper.data(), static_cast<int>(kUtf16Units), nullptr, nullptr, 0);
        for (size_t unit = kFirstSurrogate; unit <= kLastSurrogate; ++unit)
            upper[unit] = static_cast<wchar_t>(unit);
        return upper;
    }();
    return table;
}

} // namespace

bool SameEntryName(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring EntryNameKey(const std::wstring& name)
{
    const std::vector<wchar_t>& upper = UpperCaseTable();
    std::wstring key(name.size(), L'\0');
    for (size_t i = 0; i < name.size(); ++i)
        key[i] = upper[static_cast<size_t>(name[i])];
    return key;
}

bool FileIndex::ReadFromFile(const std::wstring& path)
{
    UniqueCrtFile file(::_wopen(path.c_str(), _O_RDONLY | _O_BINARY));
    if (!file)
        return false;
    DescriptorInput descriptor(file.Get());
    ReadAheadInput input(descriptor);
    return Read(input, true);
}

bool FileIndex::ReadFromDescriptor(int descriptor, bool verify)
{
    DescriptorInput input(descriptor);
    return Read(input, verify);
}

bool FileIndex::ReadFromHandle(HANDLE handle, bool verify)
{
    HandleInput input(handle);
    return Read(input, verify);
}

bool FileIndex::Read(IndexInput& input, bool verify)
{
    hasHashes_ = false;
    checksumPresent_ = false;
    checksumCorrect_ = false;

    // The checksum is taken over the bytes as they are read, so the input
    // need not be seekable.
    std::optional<CMd5Digest> checksum;
    if (verify) {
        checksum.emplace();
        checksum->Update(kChecksumSalt, sizeof(kChecksumSalt));
    }
    IndexReader reader(input, verify ? &*checksum : nullptr);

    uint8_t word[4];
    if (!reader.ReadCounted(word, sizeof(word)) || Get32(word) != kIndexVersion)
        return false;
    hasHashes_ = true;

    Clear();
    if (!reader.ReadCounted(word, sizeof(word)))
        return false;
    // The count only bounds the loop: entries are kept as they arrive, so a
    // damaged count costs no more memory than the data that is really there.
    uint32_t count = Get32(word);
    for (uint32_t i = 0; i < count; ++i) {
        IndexEntry entry;
        if (!ReadRecord(reader, entry))
            return false;
        PushBack(std::move(entry));
    }

    Md5Hash stored;
    if (reader.ReadUpTo(stored.data(), stored.size()) != stored.size())
        return true;
    checksumPresent_ = true;
    if (!verify)
        return true;
    checksumCorrect_ = checksum->Digest() == stored;
    return checksumCorrect_;
}

bool FileIndex::Serialize(std::string& image) const
{
    image.clear();
    Put32(image, kIndexVersion);
    Put32(image, static_cast<uint32_t>(entries_.size()));
    for (const IndexEntry& entry : entries_) {
        std::string name = WideToUtf8(entry.name);
        if (name.size() > kMaxNameBytes)
            return false;
        Put32(image, static_cast<uint32_t>(entry.fileTime & 0xFFFFFFFF));
        Put32(image, static_cast<uint32_t>(entry.fileTime >> 32));
        Put32(image, static_cast<uint32_t>(entry.size & 0xFFFFFFFF));
        Put32(image, static_cast<uint32_t>(entry.packageSize & 0xFFFFFFFF));
        Put16(image, static_cast<uint16_t>(name.size()));
        image += name;
        image.append(reinterpret_cast<const char*>(entry.md5.data()), entry.md5.size());
    }
    CMd5Digest checksum;
    checksum.Update(kChecksumSalt, sizeof(kChecksumSalt));
    checksum.Update(image.data(), image.size());
    Md5Hash value = checksum.Digest();
    image.append(reinterpret_cast<const char*>(value.data()), value.size());
    return true;
}

int FileIndex::WriteToFile(const std::wstring& path) const
{
    std::string image;
    if (!Serialize(image))
        return -1;
    return WriteFileReplacing(path, image.data(), image.size()) ? 0 : -1;
}

const IndexEntry* FileIndex::Find(const std::wstring& name) const
{
    auto found = firstPositions_.find(EntryNameKey(name));
    return found == firstPositions_.end() ? nullptr : &entries_[found->second];
}

void FileIndex::AddOrReplace(const IndexEntry& entry)
{
    auto found = firstPositions_.find(EntryNameKey(entry.name));
    if (found == firstPositions_.end())
        PushBack(entry);
    else
        entries_[found->second] = entry;
}

void FileIndex::Append(const IndexEntry& entry)
{
    PushBack(entry);
}

void FileIndex::Remove(const std::wstring& name)
{
    auto found = firstPositions_.find(EntryNameKey(name));
    if (found == firstPositions_.end())
        return;
    std::vector<IndexEntry> rest;
    rest.swap(entries_);
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(found->second));
    firstPositions_.clear();
    for (IndexEntry& entry : rest)
        PushBack(std::move(entry));
}

void FileIndex::Clear()
{
    entries_.clear();
    firstPositions_.clear();
}

// A later entry of a name already listed keeps the first one's position.
void FileIndex::PushBack(IndexEntry entry)
{
    firstPositions_.emplace(EntryNameKey(entry.name), entries_.size());
    entries_.push_back(std::move(entry));
}

uint64_t FileIndex::TotalSize() const
{
    uint64_t total = 0;
    for (const IndexEntry& entry : entries_)
        total += entry.size;
    return total;
}
