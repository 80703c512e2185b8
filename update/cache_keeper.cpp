#include "update/cache_keeper.h"

#include <cstring>

#include "update/game_paths.h"

namespace {

const char kWritingRecord = 'W';
const char kPackageRecord = 'P';
const size_t kRecordHead = 1 + 4;
const uint32_t kSaveEveryMs = 2000;

class MemoryInput : public IndexInput {
public:
    MemoryInput(const char* data, size_t size) : data_(data), left_(size) {}
    int ReadSome(void* buffer, unsigned size) override
    {
        const size_t count = size < left_ ? size : left_;
        std::memcpy(buffer, data_, count);
        data_ += count;
        left_ -= count;
        return static_cast<int>(count);
    }

private:
    const char* data_;
    size_t left_;
};

uint32_t Get32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

bool SameContent(const IndexEntry& a, const IndexEntry& b)
{
    return a.size == b.size && a.md5 == b.md5;
}

} // namespace

// Records: kind, length, and an index of one entry with its checksum, so a
// record cut by a kill is known as such and ends the journal.
// An empty string when the entry cannot be written.
std::string CCacheKeeper::Record(char kind, const IndexEntry& entry)
{
    FileIndex one;
    one.Append(entry);
    std::string image;
    if (!one.Serialize(image))
        return std::string();
    std::string record(1, kind);
    const uint32_t length = static_cast<uint32_t>(image.size());
    for (int shift = 0; shift < 32; shift += 8)
        record += static_cast<char>((length >> shift) & 0xFF);
    return record + image;
}

bool CCacheKeeper::Append(char kind, const IndexEntry& entry)
{
    const std::string record = Record(kind, entry);
    return !record.empty() && files_.AppendJournal(record);
}

bool CCacheKeeper::Load(std::optional<IndexEntry>& packageInFlight)
{
    index_.Clear();
    unvouched_.clear();
    package_.reset();
    const bool found = files_.ReadIndex(index_);
    const std::string journal = files_.ReadJournal();
    for (size_t at = 0; journal.size() - at >= kRecordHead;) {
        const char kind = journal[at];
        const uint32_t length = Get32(journal.data() + at + 1);
        if (journal.size() - at - kRecordHead < length)
            break;
        MemoryInput input(journal.data() + at + kRecordHead, length);
        FileIndex one;
        if (!one.ReadFrom(input, true) || one.Entries().size() != 1)
            break;
        if (kind == kWritingRecord)
            unvouched_.insert(EntryNameKey(one.Entries().front().name));
        else if (kind == kPackageRecord)
            packageInFlight = one.Entries().front();
        at += kRecordHead + length;
    }
    // Noted until the pass starts another: a run killed before it dated the
    // package still leaves it resumable.
    package_ = packageInFlight;
    vouchedStale_ = true;
    if (found || !journal.empty())
        Save();
    return found;
}

const FileIndex& CCacheKeeper::Vouched()
{
    if (!vouchedStale_)
        return unvouched_.empty() ? index_ : vouched_;
    vouchedStale_ = false;
    if (unvouched_.empty())
        return index_;
    vouched_ = FileIndex();
    for (const IndexEntry& entry : index_.Entries()) {
        if (unvouched_.count(EntryNameKey(entry.name)) == 0)
            vouched_.Append(entry);
    }
    return vouched_;
}

bool CCacheKeeper::Vouches(const IndexEntry& entry)
{
    if (unvouched_.count(EntryNameKey(entry.name)) != 0)
        return false;
    const IndexEntry* known = index_.Find(entry.name);
    return known && SameContent(*known, entry);
}

void CCacheKeeper::Unvouch(const std::wstring& name)
{
    IndexEntry entry;
    entry.name = name;
    unvouched_.insert(EntryNameKey(name));
    vouchedStale_ = true;
    dirty_ = true;
    // No record (a full disk): the cached index itself must say so before
    // the file is touched.
    if (!Append(kWritingRecord, entry))
        Save();
}

void CCacheKeeper::Vouch(const IndexEntry& entry)
{
    index_.AddOrReplace(entry);
    unvouched_.erase(EntryNameKey(entry.name));
    vouchedStale_ = true;
    dirty_ = true;
}

void CCacheKeeper::Adopt(const FileIndex& index)
{
    index_ = index;
    unvouched_.clear();
    vouchedStale_ = true;
    Save();
}

void CCacheKeeper::NotePackage(const IndexEntry& package)
{
    package_ = package;
    Append(kPackageRecord, package);
}

void CCacheKeeper::SaveIfDue(uint32_t now)
{
    if (dirty_ && now - lastSave_ >= kSaveEveryMs) {
        Save();
        lastSave_ = now;
    }
}

// The journal is emptied only once the index holds what it said, and in the
// same step as the package being downloaded is noted again: a kill between
// the two would cost that package's resume.
void CCacheKeeper::Save()
{
    const FileIndex& vouched = Vouched();
    if (!files_.WriteIndex(vouched))
        return;
    if (&vouched != &index_)
        index_ = vouched;
    unvouched_.clear();
    vouchedStale_ = true;
    dirty_ = false;
    files_.ResetJournal(package_ ? Record(kPackageRecord, *package_) : std::string());
}

void CCacheKeeper::Complete(const FileIndex& serverIndex)
{
    bool all = true;
    for (const IndexEntry& entry : serverIndex.Entries()) {
        if (IsSafeEntryName(entry.name) && !Vouches(entry)) {
            all = false;
            break;
        }
    }
    package_.reset();
    if (all) {
        index_ = serverIndex;
        unvouched_.clear();
        vouchedStale_ = true;
    }
    Save();
    files_.RemoveJournal();
}
