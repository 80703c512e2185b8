#include "update/file_index.h"

#include <optional>

#include "support/text_utils.h"

namespace {

const uint32_t kIndexVersion = 2;
const size_t kRecordHeadSize = 8 + 4 + 4 + 2;
const size_t kMaxNameBytes = 0xFFFF;

// {6D2E91C4-7B0A-4F3E-9C85-2A1D4E7F0B63} in binary GUID layout.
const uint8_t kChecksumSalt[16] = {0xC4, 0x91, 0x2E, 0x6D, 0x0A, 0x7B, 0x3E, 0x4F,
                                   0x9C, 0x85, 0x2A, 0x1D, 0x4E, 0x7F, 0x0B, 0x63};

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
    // The conversion would stand U+FFFD in for each ill-formed byte, three
    // bytes each when written back: a name the publisher never wrote, and one
    // that could outgrow the length field of the launcher's own index.
    if (WideToUtf8(entry.name) != name)
        return false;
    return reader.ReadCounted(entry.md5.data(), entry.md5.size());
}

} // namespace

bool FileIndex::ReadFrom(IndexInput& input, bool verify)
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
